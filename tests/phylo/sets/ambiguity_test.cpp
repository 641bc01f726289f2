#include <phylo/sets/ambiguity.hpp>

#include <gtest/gtest.h>

#include <string_view>

using phylo::sets::ambiguity_code;
using phylo::sets::character_set;

namespace {

char code_of(const phylo::sets::c_set& table, std::string_view states) {
    const auto found = table.find(character_set(states));
    return found == table.end() ? '\0' : found->second;
}

} // namespace

TEST(AmbiguityCode, FullTable) {
    auto table = ambiguity_code();
    const std::pair<const char*, char> expected[] = {
        {"-", '-'},     {"a", 'a'},    {"c", 'c'},    {"g", 'g'},    {"t", 't'},    {"a-", '?'},
        {"ac", 'm'},    {"ag", 'r'},   {"at", 'w'},   {"c-", '?'},   {"cg", 's'},   {"ct", 'y'},
        {"g-", '?'},    {"gt", 'k'},   {"t-", '?'},   {"ac-", '?'},  {"acg", 'v'},  {"act", 'h'},
        {"ag-", '?'},   {"agt", 'd'},  {"at-", '?'},  {"cg-", '?'},  {"cgt", 'b'},  {"ct-", '?'},
        {"gt-", '?'},   {"acg-", '?'}, {"acgt", 'n'}, {"act-", '?'}, {"agt-", '?'}, {"cgt-", '?'},
        {"acgt-", '?'},
    };
    EXPECT_EQ(table.size(), 31u);
    for (const auto& [states, code] : expected) EXPECT_EQ(code_of(table, states), code) << states;
    // Keys are sets, so order and repeats do not matter; only lower-case states are keys.
    EXPECT_EQ(code_of(table, "-tgcaa"), '?');
    for (const char* absent : {"", "A", "n", "?", "au"})
        EXPECT_EQ(code_of(table, absent), '\0') << absent;
    // Every call builds a fresh table.
    table.erase(character_set("ag"));
    EXPECT_EQ(code_of(ambiguity_code(), "ag"), 'r');
}
