#include <textutils/textutils.hpp>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using textutils::character_mapping;
using textutils::character_set;
using textutils::direction;
using textutils::membership;
using textutils::token_bounds;
using textutils::ustr_vecs;

std::vector<std::string> items(const ustr_vecs& v) { return {v.begin(), v.end()}; }
using strings = std::vector<std::string>;

// Runs `f`, which must throw exactly E with message `message`.
template <class E, class F>
void expect_error(F&& f, const std::string& message) {
    try {
        f();
        ADD_FAILURE() << "no exception, expected: " << message;
    } catch (const E& e) {
        EXPECT_EQ(std::string(e.what()), message);
    }
}

const character_mapping lower("ABCDEFGHIJKLMNOPQRSTUVWXYZ", "abcdefghijklmnopqrstuvwxyz");
const character_set letters = character_set::range('a', 'z') | character_set::range('A', 'Z');

TEST(UstrVecs, IndexedFromOneAndChecked) {
    ustr_vecs v;
    EXPECT_TRUE(v.empty());
    EXPECT_EQ(v.length(), 0);
    EXPECT_EQ(v.last(), 0);
    v.append("a");
    v.append(ustr_vecs{"b", "c"});
    EXPECT_EQ(v.first(), 1);
    EXPECT_EQ(v.last(), 3);
    EXPECT_EQ(v[1], "a");
    EXPECT_EQ(v[3], "c");
    expect_error<textutils::range_error>([&] { (void)v[0]; }, "index 0 outside the bounds 1 .. 3");
    expect_error<textutils::range_error>([&] { (void)v[4]; }, "index 4 outside the bounds 1 .. 3");

    const ustr_vecs copy = v;
    v[1] = "changed";
    EXPECT_EQ(copy[1], "a");
    ustr_vecs self{"x"};
    self.append(self);
    EXPECT_EQ(items(self), (strings{"x", "x"}));
}

TEST(SplitPattern, SingleCharacterFields) {
    EXPECT_EQ(items(textutils::split("x\t1", "\t")), (strings{"x", "1"}));
    EXPECT_EQ(items(textutils::split("\t1", "\t")), (strings{"", "1"}));
    EXPECT_EQ(items(textutils::split("x\t", "\t")), (strings{"x", ""}));
    EXPECT_EQ(items(textutils::split("\t\t", "\t")), (strings{"", "", ""}));
    EXPECT_EQ(items(textutils::split("\t", "\t")), (strings{"", ""}));
    EXPECT_TRUE(textutils::split("", "\t").empty());
    EXPECT_EQ(items(textutils::split("no separator", "\t")), (strings{"no separator"}));
    // Nothing is trimmed and quotes mean nothing.
    EXPECT_EQ(items(textutils::split(" \"a;b\" ;", ";")), (strings{" \"a", "b\" ", ""}));
}

TEST(SplitPattern, CharacterIsAPatternNotAWidth) {
    EXPECT_EQ(items(textutils::split("x\t1", '\t')), (strings{"x", "1"}));
    EXPECT_EQ(items(textutils::split("aXbxc", 'x', lower)), (strings{"a", "b", "c"}));
    ustr_vecs target{"k"};
    textutils::split(target, "a,b", ',');
    EXPECT_EQ(items(target), (strings{"k", "a", "b"}));
}

TEST(SplitPattern, LongerPatternsDoNotOverlap) {
    EXPECT_EQ(items(textutils::split("aaa", "aa")), (strings{"", "a"}));
    EXPECT_EQ(items(textutils::split("aaaa", "aa")), (strings{"", "", ""}));
    EXPECT_EQ(items(textutils::split("1::2::::3", "::")), (strings{"1", "2", "", "3"}));
    EXPECT_EQ(items(textutils::split("ab", "abc")), (strings{"ab"}));
    EXPECT_EQ(items(textutils::split("abc", "")), (strings{"a", "b", "c"}));
    EXPECT_TRUE(textutils::split("", "").empty());
}

TEST(SplitPattern, MappingAffectsOnlyTheComparison) {
    // The pattern is compared as given, so an upper-case pattern never matches lowered text.
    EXPECT_EQ(items(textutils::split("A;B", ";", lower)), (strings{"A", "B"}));
    EXPECT_EQ(items(textutils::split("aXb", "x", lower)), (strings{"a", "b"}));
    EXPECT_EQ(items(textutils::split("aXb", "X", lower)), (strings{"aXb"}));
    EXPECT_EQ(items(textutils::split("AbCxyABc", "abc", lower)), (strings{"", "xy", ""}));
}

TEST(SplitPattern, ForEachFieldAgreesWithSplit) {
    for (std::string source : {"", "a", "\t", "a\tb", "\ta\t", "a\t\tb\t", "\t\t\t", "long field\tx"}) {
        strings seen;
        textutils::for_each_field(source, '\t', [&](std::string_view f) { seen.emplace_back(f); });
        EXPECT_EQ(seen, items(textutils::split(source, "\t"))) << source;
    }
}

TEST(SplitSet, RunsCountAsOneSeparator) {
    const character_set blank_comma(" ,");
    EXPECT_EQ(items(textutils::split("a, b", blank_comma)), (strings{"a", "b"}));
    EXPECT_EQ(items(textutils::split("  a  b  ", character_set(" "))), (strings{"", "a", "b", ""}));
    EXPECT_EQ(items(textutils::split("ab", blank_comma)), (strings{"ab"}));
    EXPECT_EQ(items(textutils::split(",, ,", blank_comma)), (strings{"", ""}));
    EXPECT_TRUE(textutils::split("", blank_comma).empty());
    EXPECT_EQ(items(textutils::split("ab", character_set())), (strings{"a", "b"}));
}

TEST(SplitWidth, PiecesAndShortLastPiece) {
    EXPECT_EQ(items(textutils::split("abcdefg", 3)), (strings{"abc", "def", "g"}));
    EXPECT_EQ(items(textutils::split("abcdefg", 7)), (strings{"abcdefg"}));
    EXPECT_EQ(items(textutils::split("abcdefg", 10)), (strings{"abcdefg"}));
    EXPECT_EQ(items(textutils::split("abcdef", 1)), (strings{"a", "b", "c", "d", "e", "f"}));
    EXPECT_TRUE(textutils::split("", 2).empty());
    expect_error<textutils::range_error>([] { (void)textutils::split("abc", 0); },
                                         "split: piece width 0 is below 1");
}

TEST(Appending, AppendsAfterExistingElementsOrLeavesTargetAlone) {
    ustr_vecs target{"keep"};
    textutils::split(target, "a\tb", "\t");
    textutils::split(target, "", "\t");
    textutils::split(target, "c  d", character_set(" "));
    textutils::split(target, "efg", 2);
    textutils::scan(target, ",,h,", letters);
    textutils::scan(target, ",,,", letters);
    EXPECT_EQ(items(target), (strings{"keep", "a", "b", "c", "d", "ef", "g", "h"}));
    textutils::split(target, "A;b", ";", lower);
    EXPECT_EQ(target[target.last()], "b");
    EXPECT_EQ(target.length(), 10);
}

TEST(Join, InvertsSplitAtOneCharacter) {
    EXPECT_EQ(textutils::join(ustr_vecs{"a", "", "b"}, ","), "a,,b");
    EXPECT_EQ(textutils::join(ustr_vecs{}, ","), "");
    EXPECT_EQ(textutils::join(ustr_vecs{"only"}, ", "), "only");
    EXPECT_EQ(textutils::join(ustr_vecs{"a", "b"}, ""), "ab");
    for (std::string source : {"a", ",", "a,,b", ",a,", ",,,"})
        EXPECT_EQ(textutils::join(textutils::split(source, ","), ","), source);
}

TEST(Scan, TokensOfSetCharacters) {
    EXPECT_EQ(items(textutils::scan(" ab, cd ", letters)), (strings{"ab", "cd"}));
    EXPECT_EQ(items(textutils::scan("ab,,cd,", letters)), (strings{"ab", "cd"}));
    EXPECT_TRUE(textutils::scan(",,,", letters).empty());
    EXPECT_TRUE(textutils::scan("", letters).empty());
    expect_error<textutils::pattern_error>([] { (void)textutils::scan("abc", character_set()); },
                                           "scan: the character set is empty");
}

TEST(CharacterSets, WhitespaceAndBlackspace) {
    using textutils::blackspace;
    using textutils::whitespace;
    for (int c = 0; c < 256; ++c) {
        const bool white = c <= 32 || (c >= 127 && c <= 159);
        EXPECT_EQ(whitespace.contains(static_cast<char>(c)), white) << c;
        EXPECT_EQ(blackspace.contains(static_cast<char>(c)), !white) << c;
    }
}

TEST(Word, CountsFromEitherEnd) {
    const std::string s = "the quick brown fox";
    EXPECT_EQ(textutils::word(s, 2, direction::FORWARD, textutils::whitespace, membership::OUTSIDE),
              "quick");
    EXPECT_EQ(textutils::word(s, 1, direction::BACKWARD, textutils::whitespace, membership::OUTSIDE),
              "fox");
    EXPECT_EQ(textutils::word(s, 4, direction::BACKWARD, textutils::whitespace, membership::OUTSIDE),
              "the");
    EXPECT_EQ(textutils::word(s, 4, direction::FORWARD), "fox");
    EXPECT_EQ(textutils::word(s, 5, direction::FORWARD), "");
    EXPECT_EQ(textutils::word(s, 5, direction::BACKWARD), "");
    EXPECT_EQ(textutils::word(s, 0, direction::FORWARD), "");
    EXPECT_EQ(textutils::word("", 1, direction::FORWARD), "");
    EXPECT_EQ(textutils::word("   ", 1, direction::BACKWARD), "");
    // The inside test takes runs of set characters: here the digit groups.
    const character_set digits = character_set::range('0', '9');
    EXPECT_EQ(textutils::word("a12b345c", 2, direction::FORWARD, digits, membership::INSIDE), "345");
    EXPECT_EQ(textutils::word("a12b345c", 2, direction::BACKWARD, digits, membership::INSIDE), "12");
    EXPECT_EQ(textutils::word("12", 1, direction::BACKWARD, digits, membership::INSIDE), "12");
}

TEST(TokenBounds, LastTokenInTheSourcesNumbering) {
    const auto last = [](std::string_view s, textutils::index_type first = 1) {
        return textutils::last_token(s, textutils::whitespace, membership::OUTSIDE, first);
    };
    EXPECT_EQ(last("ab  cd"), (token_bounds{5, 6}));
    EXPECT_EQ(last("   "), (token_bounds{1, 0}));
    EXPECT_EQ(last("abc"), (token_bounds{1, 3}));
    EXPECT_EQ(last("ab  "), (token_bounds{1, 2}));
    // The slice 3 .. 5 of "xxabc".
    const std::string xx = "xxabc";
    EXPECT_EQ(last(std::string_view(xx).substr(2), 3), (token_bounds{3, 5}));
    EXPECT_EQ(last(" ", 7), (token_bounds{7, 0}));
    expect_error<textutils::range_error>([&] { (void)last(""); }, "token search in an empty string");
    expect_error<textutils::range_error>([&] { (void)last("a", 0); },
                                         "token search: first index 0 is not positive");
}

TEST(TokenBounds, FirstToken) {
    const character_set digits = character_set::range('0', '9');
    EXPECT_EQ(textutils::first_token("a12b345", digits, membership::INSIDE), (token_bounds{2, 3}));
    EXPECT_EQ(textutils::first_token("a12b345", digits, membership::OUTSIDE), (token_bounds{1, 1}));
    EXPECT_EQ(textutils::first_token("a12b345", digits, membership::INSIDE, 10),
              (token_bounds{11, 12}));
    EXPECT_EQ(textutils::first_token("abc", digits, membership::INSIDE), (token_bounds{1, 0}));
    EXPECT_EQ(textutils::last_token("a12b345", digits, membership::INSIDE), (token_bounds{5, 7}));
}

TEST(FindPattern, ThroughTheMapping) {
    EXPECT_EQ(textutils::find_pattern("xABab", "ab", lower), 1u);
    EXPECT_EQ(textutils::find_pattern("xABab", "ab"), 3u);
    EXPECT_EQ(textutils::find_pattern("xABab", "ab", lower, 2), 3u);
    EXPECT_EQ(textutils::find_pattern("xABab", "ab", lower, 4), std::string_view::npos);
    EXPECT_EQ(textutils::find_pattern("abc", "", lower), std::string_view::npos);
    EXPECT_EQ(textutils::find_pattern("abc", "c", lower, 9), std::string_view::npos);
}

} // namespace
