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
        {"-", '-'},    {"a", 'a'},    {"c", 'c'},    {"g", 'g'},    {"t", 't'},
        {"a-", '?'},   {"ac", 'm'},   {"ag", 'r'},   {"at", 'w'},   {"c-", '?'},
        {"cg", 's'},   {"ct", 'y'},   {"g-", '?'},   {"gt", 'k'},   {"t-", '?'},
        {"ac-", '?'},  {"acg", 'v'},  {"act", 'h'},  {"ag-", '?'},  {"agt", 'd'},
        {"at-", '?'},  {"cg-", '?'},  {"cgt", 'b'},  {"ct-", '?'},  {"gt-", '?'},
        {"acg-", '?'}, {"acgt", 'n'}, {"act-", '?'}, {"agt-", '?'}, {"cgt-", '?'},
        {"acgt-", '?'},
    };
    EXPECT_EQ(table.size(), 31u);
    for (const auto& [states, code] : expected) EXPECT_EQ(code_of(table, states), code) << states;
}

// Every subset of {a, c, g, t, -}, derived from the IUPAC rule rather than listed.
TEST(AmbiguityCode, EverySubsetFollowsTheRule) {
    const auto table = ambiguity_code();
    const std::string states = "acgt-";
    // IUPAC letters indexed by the bit mask of the bases a = 1, c = 2, g = 4, t = 8.
    const std::string iupac = " acmgrsvtwyhkdbn";
    for (unsigned mask = 0; mask < 32; ++mask) {
        std::string key;
        for (unsigned bit = 0; bit < 5; ++bit)
            if (mask & (1u << bit)) key += states[bit];
        const unsigned bases = mask & 15u;
        const bool gap = (mask & 16u) != 0;
        const char expected = mask == 0 ? '\0' : !gap ? iupac[bases] : bases == 0 ? '-' : '?';
        EXPECT_EQ(code_of(table, key), expected) << "key '" << key << "'";
    }
}

TEST(AmbiguityCode, KeysAreUnorderedAndLowerCaseOnly) {
    const auto table = ambiguity_code();
    EXPECT_EQ(code_of(table, "ga"), 'r');
    EXPECT_EQ(code_of(table, "tgca"), 'n');
    EXPECT_EQ(code_of(table, "-tgca"), '?');
    EXPECT_EQ(code_of(table, "aag"), 'r'); // a state seen twice is still one member
    EXPECT_FALSE(table.contains(character_set("A")));
    EXPECT_FALSE(table.contains(character_set("n")));
    EXPECT_FALSE(table.contains(character_set("?")));
    EXPECT_FALSE(table.contains(character_set("au")));
    EXPECT_FALSE(table.contains(character_set()));
    EXPECT_THROW((void)table.at(character_set("A")), std::out_of_range);
}

TEST(AmbiguityCode, EveryCallBuildsItsOwnTable) {
    auto first = ambiguity_code();
    first.erase(character_set("ag"));
    first[character_set("a")] = 'x';
    const auto second = ambiguity_code();
    EXPECT_EQ(second.size(), 31u);
    EXPECT_EQ(code_of(second, "ag"), 'r');
    EXPECT_EQ(code_of(second, "a"), 'a');
}
