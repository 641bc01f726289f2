#include <phylo/sets/taxon_sets.hpp>

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

using namespace phylo;
using namespace phylo::sets;

namespace {

taxon_labels labels_from(index_type first, std::vector<std::string> names) {
    return taxon_labels(first, std::move(names));
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

TEST(ToMap, NumbersInBothModes) {
    const auto abac = labels_from(0, {"a", "b", "a", "c"});
    const auto shared = to_map(abac, false);
    EXPECT_EQ(shared, (taxon_numbers{{"a", 0}, {"b", 1}, {"c", 2}}));
    expect_error<range_error>([&] { (void)to_map(abac, true); }, "attempt to insert key already in map");
    // Numbers start at the first index; distinct labels stay consecutive after repeats.
    EXPECT_EQ(to_map(labels_from(5, {"x", "y", "z"}), true), (taxon_numbers{{"x", 5}, {"y", 6}, {"z", 7}}));
    EXPECT_EQ(to_map(labels_from(3, {"q", "q", "r", "q", "s"}), false),
              (taxon_numbers{{"q", 3}, {"r", 4}, {"s", 5}}));
    // Exact comparison: case, trailing blanks and the empty label all count.
    const auto exact = to_map(labels_from(0, {"Homo", "homo", "Homo ", ""}), true);
    EXPECT_EQ(exact.size(), 4u);
    EXPECT_EQ(exact.find(std::string_view("Homo "))->second, 2);
}

TEST(ToSet, RepeatsIgnoredOrRefused) {
    const auto aba = labels_from(0, {"a", "b", "a"});
    EXPECT_EQ(to_set(aba, false), (hashed_taxa{"a", "b"}));
    expect_error<range_error>([&] { (void)to_set(aba, true); }, "attempt to insert element already in set");
    EXPECT_EQ(to_set(labels_from(0, {"A", "a"}), true).size(), 2u);
}

TEST(ToMapAndSet, EmptyAndNegativeRanges) {
    const taxon_labels none(0, -1);
    EXPECT_TRUE(to_map(none, true).empty());
    EXPECT_TRUE(to_set(none, false).empty());
    const taxon_labels negative(-4, -5);
    expect_error<range_error>([&] { (void)to_map(negative, false); },
                              "taxon labels start at -4; taxon numbers are natural numbers");
    EXPECT_THROW((void)to_set(negative, true), range_error);
}

TEST(SetAlgebra, BothFormsAndSelfOperands) {
    const hashed_taxa abc{"a", "b", "c"};
    const hashed_taxa bcd{"b", "c", "d"};
    EXPECT_EQ(union_of(abc, bcd), (hashed_taxa{"a", "b", "c", "d"}));
    EXPECT_EQ(intersection_of(abc, bcd), (hashed_taxa{"b", "c"}));
    EXPECT_EQ(difference_of(bcd, abc), (hashed_taxa{"d"}));
    EXPECT_EQ(symmetric_difference_of(abc, bcd), (hashed_taxa{"a", "d"}));
    auto target = abc;
    intersection_with(target, bcd);
    EXPECT_EQ(target, (hashed_taxa{"b", "c"}));
    target = abc;
    difference_with(target, bcd);
    EXPECT_EQ(target, (hashed_taxa{"a"}));
    target = abc;
    symmetric_difference_with(target, bcd);
    EXPECT_EQ(target, (hashed_taxa{"a", "d"}));
    // A set combined with itself must not iterate over what it erases.
    target = abc;
    union_with(target, target);
    EXPECT_EQ(target, abc);
    symmetric_difference_with(target, target);
    EXPECT_TRUE(target.empty());
    target = abc;
    difference_with(target, target);
    EXPECT_TRUE(target.empty());

    EXPECT_TRUE(is_subset(hashed_taxa{"a", "b"}, abc));
    EXPECT_FALSE(is_subset(abc, hashed_taxa{"a", "b"}));
    EXPECT_TRUE(is_subset(hashed_taxa{}, abc));
    EXPECT_TRUE(overlap(abc, bcd));
    EXPECT_FALSE(overlap(abc, hashed_taxa{"x"}));
}
