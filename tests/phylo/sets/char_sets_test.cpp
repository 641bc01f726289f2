#include <phylo/sets/char_sets.hpp>

#include <gtest/gtest.h>

#include <functional>
#include <string_view>

using namespace phylo;
using namespace phylo::sets;

namespace {

std::size_t string_hash(std::string_view s) { return std::hash<std::string_view>{}(s); }

} // namespace

TEST(CSetHash, HashesTheMembersInAscendingOrder) {
    const c_set_hash hash;
    EXPECT_EQ(hash(character_set("ga")), hash(character_set("ag")));
    EXPECT_EQ(hash(character_set("ga")), string_hash("ag"));
    EXPECT_EQ(hash(character_set("ggaga")), string_hash("ag"));
    EXPECT_EQ(hash(character_set()), string_hash(""));
    EXPECT_EQ(hash(character_set("t-ca")), string_hash("-act"));
}

TEST(CSetHash, OrdersByUnsignedCodeAndKeepsTheNulCharacter) {
    const c_set_hash hash;
    // Codes above 127 come after the letters, whatever the signedness of char.
    const char high = static_cast<char>(0xE9);
    EXPECT_EQ(hash(character_set(std::string_view("\xE9" "a", 2))),
              string_hash(std::string_view("a\xE9", 2)));
    character_set with_nul;
    with_nul.insert('\0');
    with_nul.insert('b');
    with_nul.insert(high);
    EXPECT_EQ(hash(with_nul), string_hash(std::string_view("\0b\xE9", 3)));
    EXPECT_NE(hash(with_nul), hash(character_set("b")));
}

TEST(CSet, LooksUpBySetEquality) {
    c_set table;
    EXPECT_TRUE(table.emplace(character_set("xy"), 'z').second);
    EXPECT_FALSE(table.emplace(character_set("yx"), 'w').second);
    EXPECT_EQ(table.at(character_set("yyx")), 'z');
    EXPECT_EQ(table.count(character_set("x")), 0u);
}
