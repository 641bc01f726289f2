#include <textutils/string_edit.hpp>

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace textutils;

template <class Error, class F>
void expect_error(F&& f, const std::string& text) {
    try {
        f();
        ADD_FAILURE() << "no error; expected one saying: " << text;
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << e.what();
    }
}

const character_set digits("0123456789");

TEST(StringEdit, MapAllCommonAndIsIn) {
    const character_mapping m = map_all(character_set(" ,"), '_');
    std::string s = "a b,c";
    for (char& c : s) c = m(c);
    EXPECT_EQ(s, "a_b_c");
    EXPECT_TRUE(map_all(character_set(), '_').is_identity());
    EXPECT_EQ(common_length("abcd", "abxd", direction::FORWARD), 2u);
    EXPECT_EQ(common_length("abcd", "abxd", direction::BACKWARD), 1u);
    EXPECT_EQ(common("abcd", "abxd", direction::FORWARD), "ab");
    EXPECT_EQ(common("abcd", "abxd", direction::BACKWARD), "d");
    EXPECT_EQ(common("", "abc", direction::FORWARD), "");
    EXPECT_EQ(common("abc", "xabc", direction::BACKWARD), "abc");
    EXPECT_TRUE(is_in("123", digits));
    EXPECT_FALSE(is_in("12a", digits));
    expect_error<length_error>([] { is_in("", digits); }, "the source is empty");
    expect_error<pattern_error>([] { is_in("1", character_set()); }, "the character set is empty");
}

TEST(StringEdit, RemoveSqueezeRevstr) {
    const character_set blank(" ");
    EXPECT_EQ(squeeze("a   b", blank), "a b");
    EXPECT_EQ(remove("a   b", blank), "ab");
    EXPECT_EQ(squeeze(" \t x\t ", character_set(" \t")), " x\t"); // each run keeps its first character
    EXPECT_EQ(remove("   ", blank), "");
    expect_error<pattern_error>([] { remove("a", character_set()); }, "remove");
    expect_error<pattern_error>([] { squeeze("a", character_set()); }, "squeeze");
    std::string s = "abc";
    squeeze_in_place(s, character_set("c"));
    remove_in_place(s, character_set("a"));
    EXPECT_EQ(s, "bc");
    EXPECT_EQ(revstr("abc"), "cba");
    revstr_in_place(s);
    EXPECT_EQ(s, "cb");
}

TEST(StringEdit, CaseFollowsLatin1) {
    EXPECT_EQ(cap("hELLO"), "Hello");
    EXPECT_EQ(uncap("HELLO"), "hELLO");
    EXPECT_EQ(cap("q"), "Q");
    EXPECT_EQ(cap(""), "");
    EXPECT_EQ(cap("\xe9T\xc9\xf7\xd7"), "\xc9t\xe9\xf7\xd7"); // division and multiplication signs stay
    EXPECT_EQ(cap("\xdf\xff"), "\xdf\xff");                    // sharp s and y diaeresis have no upper case
    std::string s = "\xc0X";
    uncap_in_place(s);
    EXPECT_EQ(s, "\xe0X");
    char fixed[] = {'a', 'B', 'C'};
    cap_in_place(fixed);
    EXPECT_EQ(std::string(fixed, 3), "Abc");
}

TEST(StringEdit, BeforeAfterAndBasename) {
    EXPECT_EQ(before("key=value", "=", replace_type::FIRST, false), "key");
    EXPECT_EQ(before("key=value", "#", replace_type::FIRST, false), "key=value");
    EXPECT_EQ(before("key=value", "#", replace_type::FIRST, true), "");
    EXPECT_EQ(after("key=value", "=", replace_type::FIRST, false), "value");
    EXPECT_EQ(after("key=value", "#", replace_type::FIRST, false), "");
    EXPECT_EQ(after("key=value", "#", replace_type::FIRST, true), "key=value");
    EXPECT_EQ(before("a.b.c", ".", replace_type::EVERY, false), "a");
    EXPECT_EQ(before("a.b.c", ".", replace_type::LAST, false), "a.b");
    EXPECT_EQ(after("a.b.c", ".", replace_type::FIRST, false), "b.c");
    EXPECT_EQ(after("a.b.c", ".", replace_type::EVERY, false), "c");
    EXPECT_EQ(after("aXbxc", "x", replace_type::FIRST, false, map_all(character_set("X"), 'x')), "bxc");
    expect_error<pattern_error>([] { before("a", "", replace_type::FIRST, false); }, "before: the pattern is empty");
    expect_error<pattern_error>([] { after("a", "", replace_type::FIRST, false); }, "after");
    EXPECT_EQ(textutils::basename("report.txt"), "report");
    EXPECT_EQ(textutils::basename("/tmp/x"), "x");
    EXPECT_EQ(textutils::basename("archive.tar.gz"), "archive.tar");
    EXPECT_EQ(textutils::basename("a/b/c.tar.gz"), "c.tar");
    EXPECT_EQ(textutils::basename("dir/"), "");
    EXPECT_EQ(textutils::basename(".profile"), "");
    std::string p = "x/y.z";
    basename_in_place(p);
    EXPECT_EQ(p, "y");
}

TEST(StringEdit, StringMapWithASet) {
    EXPECT_EQ(string_map("a12b345", digits, "#", replace_type::FIRST, membership::INSIDE), "a#b345");
    EXPECT_EQ(string_map("a12b345", digits, "#", replace_type::LAST, membership::INSIDE), "a12b#");
    EXPECT_EQ(string_map("a12b345", digits, "#", replace_type::EVERY, membership::INSIDE), "a#b#");
    EXPECT_EQ(string_map("a12b345", digits, "", replace_type::EVERY, membership::OUTSIDE), "12345");
    EXPECT_EQ(string_map("abc", digits, "#", replace_type::EVERY, membership::INSIDE), "abc");
    EXPECT_EQ(string_map("", digits, "#", replace_type::EVERY, membership::INSIDE), "");
    const character_set none;
    EXPECT_EQ(string_map("abc", none, "-", replace_type::FIRST, membership::INSIDE), "a-bc");
    EXPECT_EQ(string_map("abc", none, "-", replace_type::LAST, membership::INSIDE), "ab-c");
    EXPECT_EQ(string_map("abc", none, "-", replace_type::EVERY, membership::INSIDE), "a-b-c");
    EXPECT_EQ(string_map("a", none, "-", replace_type::EVERY, membership::INSIDE), "a");
    EXPECT_EQ(string_map("abc", none, "-", replace_type::FIRST, membership::OUTSIDE), "---");
    std::string s = "x1y22";
    string_map_in_place(s, digits, "<n>", replace_type::EVERY, membership::INSIDE);
    EXPECT_EQ(s, "x<n>y<n>");
}

TEST(StringEdit, StringMapWithAPattern) {
    EXPECT_EQ(string_map("ababab", "ab", "x", replace_type::FIRST), "xabab");
    EXPECT_EQ(string_map("ababab", "ab", "x", replace_type::LAST), "ababx");
    EXPECT_EQ(string_map("ababab", "ab", "x", replace_type::EVERY), "xxx");
    EXPECT_EQ(string_map("ababab", "ab", "ab", replace_type::EVERY), "ababab");
    EXPECT_EQ(string_map("aaa", "a", "aa", replace_type::EVERY), "aaaaaa"); // replaced text is not searched again
    EXPECT_EQ(string_map("aaa", "aa", "b", replace_type::LAST), "ab");
    EXPECT_EQ(string_map("abc", "", "-", replace_type::EVERY), "a-b-c");
    EXPECT_EQ(string_map("AbaB", "ab", "x", replace_type::EVERY, map_all(character_set("AB"), 'a')), "xaB");
    EXPECT_EQ(string_map("AbaB", "ab", "x", replace_type::EVERY, character_mapping("AB", "ab")), "xx");
    std::string big(50000, 'a'); // many replacements: no deep recursion
    EXPECT_EQ(string_map(big, "a", "", replace_type::EVERY), "");
    std::string s = "path/to/file";
    string_map_in_place(s, "/", "\\", replace_type::EVERY);
    EXPECT_EQ(s, "path\\to\\file");
}

} // namespace
