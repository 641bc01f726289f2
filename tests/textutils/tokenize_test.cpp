#include <textutils/textutils.hpp>

#include "../test_support.hpp"

namespace {

using test_support::expect_error;

using namespace textutils;
using strings = std::vector<std::string>;

strings items(const ustr_vecs& v) { return {v.begin(), v.end()}; }

const character_mapping lower("ABCDEFGHIJKLMNOPQRSTUVWXYZ", "abcdefghijklmnopqrstuvwxyz");
const character_set letters = character_set::range('a', 'z') | character_set::range('A', 'Z');
const character_set digits = character_set::range('0', '9');

TEST(Split, EveryFormAgainstItsExpectedFieldsAndJoin) {
    const std::pair<ustr_vecs, strings> cases[] = {
        // At a pattern: nothing trimmed, quotes mean nothing, matches do not overlap.
        {split("x\t1", "\t"), {"x", "1"}},
        {split("\t\t", "\t"), {"", "", ""}},
        {split("no separator", "\t"), {"no separator"}},
        {split(" \"a;b\" ;", ";"), {" \"a", "b\" ", ""}},
        {split("aaa", "aa"), {"", "a"}},
        {split("aaaa", "aa"), {"", "", ""}},
        {split("1::2::::3", "::"), {"1", "2", "", "3"}},
        {split("ab", "abc"), {"ab"}},
        {split("abc", ""), {"a", "b", "c"}},
        {split("aXbxc", 'x', lower), {"a", "b", "c"}},
        // The mapping applies to the compared source only: fields keep their case, and an
        // upper-case pattern never matches.
        {split("A;B", ";", lower), {"A", "B"}},
        {split("aXb", "X", lower), {"aXb"}},
        {split("AbCxyABc", "abc", lower), {"", "xy", ""}},
        // At runs of set characters: a run is one separator.
        {split("a, b", character_set(" ,")), {"a", "b"}},
        {split(",, ,", character_set(" ,")), {"", ""}},
        {split("  a  b  ", character_set(" ")), {"", "a", "b", ""}},
        {split("ab", character_set()), {"a", "b"}},
        // Into pieces of a width, the last one shorter.
        {split("abcdefg", 3), {"abc", "def", "g"}},
        {split("abcdefg", 10), {"abcdefg"}},
        // Tokens of set characters.
        {scan(" ab, cd ", letters), {"ab", "cd"}},
        {scan(",,,", letters), {}}};
    for (const auto& [got, expected] : cases) EXPECT_EQ(items(got), expected);
    for (const auto& empty : {split("", "\t"), split("", ""), split("", character_set(",")),
                              split("", 2), scan("", letters)})
        EXPECT_TRUE(empty.empty());
    expect_error<range_error>([] { (void)split("abc", 0); }, "split: piece width 0 is below 1");
    expect_error<pattern_error>([] { (void)scan("abc", character_set()); },
                                "scan: the character set is empty");

    // for_each_field and join agree with split.
    for (std::string source :
         {"", "a", "\t", "a\tb", "\ta\t", "a\t\tb\t", "\t\t\t", "long field\tx"}) {
        strings seen;
        for_each_field(source, '\t', [&](std::string_view f) { seen.emplace_back(f); });
        EXPECT_EQ(seen, items(split(source, "\t"))) << source;
        EXPECT_EQ(join(split(source, "\t"), "\t"), source);
    }
    EXPECT_TRUE(join(ustr_vecs{"a", "b"}, ", ") == "a, b" && join(ustr_vecs{"a", "b"}, "") == "ab");
}

TEST(UstrVecs, IndexedFromOneCheckedAndAppendedToAndTheStandardSets) {
    ustr_vecs v{"keep"};
    v.append(v); // must not read what it writes
    split(v, "a\tb", "\t");
    split(v, "", "\t");
    split(v, "c  d", character_set(" "));
    split(v, "efg", 2);
    scan(v, ",,h,", letters);
    scan(v, ",,,", letters);
    split(v, "i,j", ',');
    EXPECT_EQ(items(v), (strings{"keep", "keep", "a", "b", "c", "d", "ef", "g", "h", "i", "j"}));
    EXPECT_TRUE(v.first() == 1 && v[1] == "keep" && v[11] == "j" && ustr_vecs().last() == 0);
    expect_error<range_error>([&] { (void)v[0]; }, "index 0 outside the bounds 1 .. 11");
    expect_error<range_error>([&] { (void)v[12]; }, "index 12 outside the bounds 1 .. 11");

    // Whitespace and blackspace split the 256 characters.
    for (int c = 0; c < 256; ++c) {
        const bool white = c <= 32 || (c >= 127 && c <= 159);
        EXPECT_TRUE(whitespace.contains(static_cast<char>(c)) == white &&
                    blackspace.contains(static_cast<char>(c)) != white)
            << c;
    }
}

TEST(Tokens, WordsBoundsFromEitherEndAndPatterns) {
    const std::string s = "the quick brown fox";
    const std::pair<std::string, std::string> words[] = {
        {word(s, 2, direction::FORWARD), "quick"},
        {word(s, 1, direction::BACKWARD), "fox"},
        {word(s, 4, direction::BACKWARD), "the"},
        {word(s, 5, direction::FORWARD), ""},
        {word(s, 0, direction::FORWARD), ""},
        {word("   ", 1, direction::BACKWARD), ""},
        // The inside test takes runs of set characters: here the digit groups.
        {word("a12b345c", 2, direction::FORWARD, digits, membership::INSIDE), "345"},
        {word("a12b345c", 2, direction::BACKWARD, digits, membership::INSIDE), "12"}};
    for (const auto& [got, expected] : words) EXPECT_EQ(got, expected);
    // Positions in the source's numbering: from 1, or from the index the caller gives.
    const std::pair<token_bounds, token_bounds> bounds[] = {
        {last_token("ab  cd", whitespace, membership::OUTSIDE), {5, 6}},
        {last_token("   ", whitespace, membership::OUTSIDE), {1, 0}},
        {last_token("abc", whitespace, membership::OUTSIDE, 3), {3, 5}},
        {last_token(" ", whitespace, membership::OUTSIDE, 7), {7, 0}},
        {last_token("a12b345", digits, membership::INSIDE), {5, 7}},
        {first_token("a12b345", digits, membership::INSIDE), {2, 3}},
        {first_token("a12b345", digits, membership::OUTSIDE), {1, 1}},
        {first_token("a12b345", digits, membership::INSIDE, 10), {11, 12}},
        {first_token("abc", digits, membership::INSIDE), {1, 0}}};
    for (const auto& [got, expected] : bounds)
        EXPECT_TRUE(got == expected) << got.first << " .. " << got.last;
    expect_error<range_error>([] { (void)last_token("", whitespace, membership::OUTSIDE); },
                              "token search in an empty string");
    expect_error<range_error>([] { (void)last_token("a", whitespace, membership::OUTSIDE, 0); },
                              "token search: first index 0 is not positive");

    // Patterns are found through the mapping.
    EXPECT_EQ(find_pattern("xABab", "ab", lower), 1u);
    EXPECT_EQ(find_pattern("xABab", "ab"), 3u);
    EXPECT_EQ(find_pattern("xABab", "ab", lower, 2), 3u);
    for (const auto at : {find_pattern("xABab", "ab", lower, 4), find_pattern("abc", "", lower),
                          find_pattern("abc", "c", lower, 9)})
        EXPECT_EQ(at, std::string_view::npos);
}

} // namespace
