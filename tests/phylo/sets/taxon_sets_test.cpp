#include <phylo/sets/taxon_sets.hpp>

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>

using namespace phylo;
using namespace phylo::sets;

namespace {

taxon_labels labels_from(index_type first, std::initializer_list<const char*> names) {
    taxon_labels labels(first, first + static_cast<index_type>(names.size()) - 1);
    index_type i = first;
    for (const char* name : names) labels[i++] = name;
    return labels;
}

template <class Error, class Call>
void expect_error(Call call, const std::string& message) {
    try {
        call();
        FAIL() << "no error raised";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), message);
    }
}

} // namespace

TEST(ToMap, NumbersFromTheFirstIndexInBothModes) {
    const auto abc = labels_from(0, {"a", "b", "c"});
    for (const bool unique : {true, false}) {
        const auto map = to_map(abc, unique);
        EXPECT_EQ(map.size(), 3u);
        EXPECT_EQ(map.at("a"), 0);
        EXPECT_EQ(map.at("b"), 1);
        EXPECT_EQ(map.at("c"), 2);
    }
    const auto shifted = to_map(labels_from(5, {"x", "y", "z"}), true);
    EXPECT_EQ(shifted.at("x"), 5);
    EXPECT_EQ(shifted.at("z"), 7);
    // Lookup by string_view builds no string.
    EXPECT_EQ(shifted.find(std::string_view("y"))->second, 6);
}

TEST(ToMap, RepeatsShareTheFirstNumberOrFail) {
    const auto abac = labels_from(0, {"a", "b", "a", "c"});
    const auto map = to_map(abac, false);
    EXPECT_EQ(map.size(), 3u);
    EXPECT_EQ(map.at("a"), 0);
    EXPECT_EQ(map.at("b"), 1);
    EXPECT_EQ(map.at("c"), 2);
    // Distinct labels stay consecutive from a later first index too.
    const auto later = to_map(labels_from(3, {"q", "q", "r", "q", "s"}), false);
    EXPECT_EQ(later.at("q"), 3);
    EXPECT_EQ(later.at("r"), 4);
    EXPECT_EQ(later.at("s"), 5);
    expect_error<range_error>([&] { (void)to_map(abac, true); }, "attempt to insert key already in map");
}

TEST(ToMap, LabelsCompareExactly) {
    const auto map = to_map(labels_from(0, {"Homo", "homo", "Homo ", ""}), true);
    EXPECT_EQ(map.size(), 4u);
    EXPECT_EQ(map.at("homo"), 1);
    EXPECT_EQ(map.at("Homo "), 2);
    EXPECT_EQ(map.at(""), 3);
}

TEST(ToSet, RepeatsIgnoredOrFail) {
    const auto aba = labels_from(0, {"a", "b", "a"});
    const auto set = to_set(aba, false);
    EXPECT_EQ(set.size(), 2u);
    EXPECT_TRUE(set.contains("a"));
    EXPECT_TRUE(set.contains(std::string_view("b")));
    expect_error<range_error>([&] { (void)to_set(aba, true); }, "attempt to insert element already in set");
    EXPECT_EQ(to_set(labels_from(0, {"A", "a"}), true).size(), 2u);
}

TEST(ToMapAndSet, EmptyAndNegativeRanges) {
    const taxon_labels none(0, -1);
    EXPECT_TRUE(to_map(none, true).empty());
    EXPECT_TRUE(to_map(none, false).empty());
    EXPECT_TRUE(to_set(none, true).empty());
    EXPECT_TRUE(to_set(none, false).empty());
    const taxon_labels negative(-4, -5);
    expect_error<range_error>([&] { (void)to_map(negative, false); },
                              "taxon labels start at -4; taxon numbers are natural numbers");
    EXPECT_THROW((void)to_set(negative, true), range_error);
}

TEST(SetAlgebra, FunctionAndProcedureFormsAgree) {
    const auto abc = to_set(labels_from(0, {"a", "b", "c"}), true);
    const auto bcd = to_set(labels_from(0, {"b", "c", "d"}), true);
    const hashed_taxa empty;

    EXPECT_EQ(union_of(abc, bcd), (hashed_taxa{"a", "b", "c", "d"}));
    EXPECT_EQ(intersection_of(abc, bcd), (hashed_taxa{"b", "c"}));
    EXPECT_EQ(difference_of(abc, bcd), (hashed_taxa{"a"}));
    EXPECT_EQ(difference_of(bcd, abc), (hashed_taxa{"d"}));
    EXPECT_EQ(symmetric_difference_of(abc, bcd), (hashed_taxa{"a", "d"}));
    EXPECT_EQ(intersection_of(abc, empty), empty);

    auto target = abc;
    union_with(target, bcd);
    EXPECT_EQ(target, union_of(abc, bcd));
    target = abc;
    intersection_with(target, bcd);
    EXPECT_EQ(target, intersection_of(abc, bcd));
    target = abc;
    difference_with(target, bcd);
    EXPECT_EQ(target, difference_of(abc, bcd));
    target = abc;
    symmetric_difference_with(target, bcd);
    EXPECT_EQ(target, symmetric_difference_of(abc, bcd));
}

TEST(SetAlgebra, ASetCombinedWithItself) {
    const auto abc = to_set(labels_from(0, {"a", "b", "c"}), true);
    auto target = abc;
    union_with(target, target);
    EXPECT_EQ(target, abc);
    intersection_with(target, target);
    EXPECT_EQ(target, abc);
    symmetric_difference_with(target, target);
    EXPECT_TRUE(target.empty());
    target = abc;
    difference_with(target, target);
    EXPECT_TRUE(target.empty());
}

TEST(SetAlgebra, SubsetAndOverlap) {
    const auto abc = to_set(labels_from(0, {"a", "b", "c"}), true);
    const hashed_taxa ab{"a", "b"};
    const hashed_taxa de{"d", "e"};
    const hashed_taxa empty;
    EXPECT_TRUE(is_subset(ab, abc));
    EXPECT_FALSE(is_subset(abc, ab));
    EXPECT_TRUE(is_subset(empty, ab));
    EXPECT_TRUE(is_subset(abc, abc));
    EXPECT_TRUE(overlap(ab, abc));
    EXPECT_FALSE(overlap(ab, de));
    EXPECT_FALSE(overlap(empty, empty));
}
