#include <phylo/sets/ambiguity.hpp>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <string_view>

using phylo::sets::ambiguity_code;
using phylo::sets::character_set;

namespace {

char code_of(const phylo::sets::c_set& table, std::string_view states) {
    const auto found = table.find(character_set(states));
    return found == table.end() ? '\0' : found->second;
}

} // namespace

TEST(AmbiguityCode, EverySetOfStatesHasItsIupacCode) {
    // The IUPAC codes of two or more bases; a base stands for itself, and a gap with anything
    // else is unknown.
    const std::map<std::string, char> iupac{{"ac", 'm'},  {"ag", 'r'},  {"at", 'w'},  {"cg", 's'},
                                            {"ct", 'y'},  {"gt", 'k'},  {"acg", 'v'}, {"act", 'h'},
                                            {"agt", 'd'}, {"cgt", 'b'}, {"acgt", 'n'}};
    auto table = ambiguity_code();
    EXPECT_EQ(table.size(), 31u);
    const std::string states = "acgt-";
    for (unsigned subset = 1; subset < 32; ++subset) {
        std::string set;
        for (std::size_t i = 0; i < states.size(); ++i)
            if (subset >> i & 1) set += states[i];
        const char expected =
            set.size() == 1 ? set[0] : (set.find('-') != std::string::npos ? '?' : iupac.at(set));
        EXPECT_EQ(code_of(table, set), expected) << set;
    }
    // Keys are sets, so order and repeats do not matter; only lower-case states are keys.
    EXPECT_EQ(code_of(table, "-tgcaa"), '?');
    for (const char* absent : {"", "A", "n", "?", "au"})
        EXPECT_EQ(code_of(table, absent), '\0') << absent;
    // Every call builds a fresh table.
    table.erase(character_set("ag"));
    EXPECT_EQ(code_of(ambiguity_code(), "ag"), 'r');
}
