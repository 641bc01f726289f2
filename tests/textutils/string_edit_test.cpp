#include <textutils/string_edit.hpp>

#include "../test_support.hpp"

namespace {

using test_support::expect_error;

using namespace textutils;
using cases = std::pair<std::string, std::string>[];

const character_set digits("0123456789");
const character_set none;

TEST(StringEdit, SetsRunsCaseAndCommonParts) {
    std::string mapped = "a b,c", in_place = "abcc";
    for (char& c : mapped) c = map_all(character_set(" ,"), '_')(c);
    squeeze_in_place(in_place, character_set("c"));
    remove_in_place(in_place, character_set("a"));
    revstr_in_place(in_place);
    std::string upper = "\xc0X";
    uncap_in_place(upper);
    for (const auto& [got, expected] : cases{{mapped, "a_b_c"},
                                             {in_place, "cb"},
                                             {upper, "\xe0X"},
                                             {squeeze(" \t x\t ", character_set(" \t")),
                                              " x\t"}, // each run keeps its first character
                                             {remove("a   b", character_set(" ")), "ab"},
                                             {remove("   ", character_set(" ")), ""},
                                             {cap("hELLO"), "Hello"},
                                             {uncap("HELLO"), "hELLO"},
                                             {cap(""), ""},
                                             // Latin-1: division and multiplication signs stay;
                                             // sharp s and y diaeresis have no upper case.
                                             {cap("\xe9T\xc9\xf7\xd7"), "\xc9t\xe9\xf7\xd7"},
                                             {cap("\xdf\xff"), "\xdf\xff"},
                                             {common("abcd", "abxd", direction::FORWARD), "ab"},
                                             {common("abcd", "abxd", direction::BACKWARD), "d"},
                                             {common("abc", "xabc", direction::BACKWARD), "abc"},
                                             {common("", "abc", direction::FORWARD), ""}})
        EXPECT_EQ(got, expected);
    EXPECT_TRUE(map_all(none, '_').is_identity());
    EXPECT_TRUE(is_in("123", digits) && !is_in("12a", digits));
    expect_error<length_error>([] { is_in("", digits); }, "is_in: the source is empty");
    expect_error<pattern_error>([] { is_in("1", none); }, "is_in: the character set is empty");
    expect_error<pattern_error>([] { remove("a", none); }, "remove: the character set is empty");
    expect_error<pattern_error>([] { squeeze("a", none); }, "squeeze: the character set is empty");
}

TEST(StringEdit, BeforeAfterBasenameAndStringMaps) {
    std::string path = "x/y.z";
    basename_in_place(path);
    for (const auto& [got, expected] :
         cases{{before("key=value", "=", replace_type::FIRST, false), "key"},
               {before("key=value", "#", replace_type::FIRST, false), "key=value"},
               {before("key=value", "#", replace_type::FIRST, true), ""},
               {after("key=value", "#", replace_type::FIRST, false), ""},
               {after("key=value", "#", replace_type::FIRST, true), "key=value"},
               {before("a.b.c", ".", replace_type::EVERY, false), "a"},
               {before("a.b.c", ".", replace_type::LAST, false), "a.b"},
               {after("a.b.c", ".", replace_type::FIRST, false), "b.c"},
               {after("a.b.c", ".", replace_type::EVERY, false), "c"},
               {after("aXbxc", "x", replace_type::FIRST, false, map_all(character_set("X"), 'x')),
                "bxc"},
               {textutils::basename("/tmp/x"), "x"},
               {textutils::basename("a/b/c.tar.gz"), "c.tar"},
               {textutils::basename("dir/"), ""},
               {textutils::basename(".profile"), ""},
               {path, "y"}})
        EXPECT_EQ(got, expected);
    expect_error<pattern_error>([] { before("a", "", replace_type::FIRST, false); },
                                "before: the pattern is empty");
    expect_error<pattern_error>([] { after("a", "", replace_type::FIRST, false); },
                                "after: the pattern is empty");

    // String maps with a set or a pattern.
    std::string set_in_place = "x1y22", pattern_in_place = "path/to/file";
    string_map_in_place(set_in_place, digits, "<n>", replace_type::EVERY, membership::INSIDE);
    string_map_in_place(pattern_in_place, "/", "\\", replace_type::EVERY);
    for (const auto& [got, expected] : cases{
             {set_in_place, "x<n>y<n>"},
             {pattern_in_place, "path\\to\\file"},
             // A set replaces whole runs; the empty set stands for the gaps between characters.
             {string_map("a12b345", digits, "#", replace_type::FIRST, membership::INSIDE),
              "a#b345"},
             {string_map("a12b345", digits, "#", replace_type::LAST, membership::INSIDE), "a12b#"},
             {string_map("a12b345", digits, "", replace_type::EVERY, membership::OUTSIDE), "12345"},
             {string_map("abc", digits, "#", replace_type::EVERY, membership::INSIDE), "abc"},
             {string_map("abc", none, "-", replace_type::LAST, membership::INSIDE), "ab-c"},
             {string_map("abc", none, "-", replace_type::EVERY, membership::INSIDE), "a-b-c"},
             {string_map("a", none, "-", replace_type::EVERY, membership::INSIDE), "a"},
             {string_map("abc", none, "-", replace_type::FIRST, membership::OUTSIDE), "---"},
             // Replaced text is not searched again.
             {string_map("ababab", "ab", "x", replace_type::FIRST), "xabab"},
             {string_map("ababab", "ab", "x", replace_type::LAST), "ababx"},
             {string_map("aaa", "a", "aa", replace_type::EVERY), "aaaaaa"},
             {string_map("aaa", "aa", "b", replace_type::LAST), "ab"},
             {string_map("abc", "", "-", replace_type::EVERY), "a-b-c"},
             {string_map("AbaB", "ab", "x", replace_type::EVERY, map_all(character_set("AB"), 'a')),
              "xaB"},
             {string_map("AbaB", "ab", "x", replace_type::EVERY, character_mapping("AB", "ab")),
              "xx"},
             {string_map(std::string(50000, 'a'), "a", "", replace_type::EVERY),
              ""}}) // no deep recursion
        EXPECT_EQ(got, expected);
}

} // namespace
