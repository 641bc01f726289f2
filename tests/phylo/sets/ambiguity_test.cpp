#include <phylo/sets/ambiguity.hpp>

#include <gtest/gtest.h>

#include <string>

using phylo::sets::ambiguity_code;
using phylo::sets::character_set;

namespace {

char code_of(const phylo::sets::c_set& table, std::string_view states) {
    const auto found = table.find(character_set(states));
    return found == table.end() ? '\0' : found->second;
}

} // namespace

TEST(AmbiguityCode, FullTableInItsOrder) {
    const auto table = ambiguity_code();
    const std::pair<const char*, char> expected[] = {
        {"-", '-'},    {"a", 'a'},    {"c", 'c'},    {"g", 'g'},    {"t", 't'},    {"a-", '?'},
        {"ac", 'm'},   {"ag", 'r'},   {"at", 'w'},   {"c-", '?'},   {"cg", 's'},   {"ct", 'y'},
        {"g-", '?'},   {"gt", 'k'},   {"t-", '?'},   {"ac-", '?'},  {"acg", 'v'},  {"act", 'h'},
        {"ag-", '?'},  {"agt", 'd'},  {"at-", '?'},  {"cg-", '?'},  {"cgt", 'b'},  {"ct-", '?'},
        {"gt-", '?'},  {"acg-", '?'}, {"acgt", 'n'}, {"act-", '?'}, {"agt-", '?'}, {"cgt-", '?'},
        {"acgt-", '?'},
    };
    EXPECT_EQ(table.size(), 31u);
    for (const auto& [states, code] : expected) EXPECT_EQ(code_of(table, states), code) << states;
}

// Every subset of {a, c, g, t, -}, derived from the IUPAC rule rather than listed.
TEST(AmbiguityCode, EverySubsetFollowsTheRule) {
    const auto table = ambiguity_code();
    const std::string iupac = " acmgrsvtwyhkdbn"; // by bit mask a = 1, c = 2, g = 4, t = 8
    for (unsigned mask = 0; mask < 32; ++mask) {
        std::string key;
        for (unsigned bit = 0; bit < 5; ++bit)
            if (mask & (1u << bit)) key += "acgt-"[bit];
        const unsigned bases = mask & 15u;
        const char expected = mask == 0 ? '\0' : mask < 16 ? iupac[bases] : bases == 0 ? '-' : '?';
        EXPECT_EQ(code_of(table, key), expected) << "key '" << key << "'";
    }
}

TEST(AmbiguityCode, OnlyLowerCaseStatesAreKeysAndEveryCallIsFresh) {
    auto table = ambiguity_code();
    EXPECT_EQ(code_of(table, "ga"), 'r');
    EXPECT_EQ(code_of(table, "-tgca"), '?');
    for (const char* absent : {"A", "n", "?", "au"}) EXPECT_FALSE(table.contains(character_set(absent))) << absent;
    EXPECT_THROW((void)table.at(character_set("A")), std::out_of_range);
    table.erase(character_set("ag"));
    EXPECT_EQ(code_of(ambiguity_code(), "ag"), 'r');
}
