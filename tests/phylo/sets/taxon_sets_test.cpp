#include <phylo/sets/taxon_sets.hpp>

#include "../../test_support.hpp"

#include <string_view>
#include <vector>

using namespace phylo;
using namespace phylo::sets;

namespace {

using test_support::expect_error;

taxon_labels labels(index_type first, std::vector<std::string> names) {
    return {first, std::move(names)};
}

} // namespace

TEST(TaxonSets, MapsAndSetsFromLabels) {
    const auto abac = labels(0, {"a", "b", "a", "c"});
    EXPECT_EQ(to_map(abac, false), (taxon_numbers{{"a", 0}, {"b", 1}, {"c", 2}}));
    expect_error<range_error>([&] { (void)to_map(abac, true); },
                              "attempt to insert key already in map");
    // Numbers start at the first index; distinct labels stay consecutive after repeats.
    EXPECT_EQ(to_map(labels(3, {"q", "q", "r", "q", "s"}), false),
              (taxon_numbers{{"q", 3}, {"r", 4}, {"s", 5}}));
    // Exact comparison: case, trailing blanks and the empty label all count.
    const auto exact = to_map(labels(0, {"Homo", "homo", "Homo ", ""}), true);
    EXPECT_EQ(exact.size(), 4u);
    EXPECT_EQ(exact.find(std::string_view("Homo "))->second, 2);
    EXPECT_EQ(to_set(abac, false), (hashed_taxa{"a", "b", "c"}));
    expect_error<range_error>([&] { (void)to_set(abac, true); },
                              "attempt to insert element already in set");
    EXPECT_TRUE(to_map(taxon_labels(0, -1), true).empty());
    expect_error<range_error>([] { (void)to_map(taxon_labels(-4, -5), false); },
                              "taxon labels start at -4; taxon numbers are natural numbers");
}

TEST(TaxonSets, AlgebraInBothFormsAndWithItself) {
    const hashed_taxa abc{"a", "b", "c"}, bcd{"b", "c", "d"};
    EXPECT_EQ(union_of(abc, bcd), (hashed_taxa{"a", "b", "c", "d"}));
    EXPECT_EQ(intersection_of(abc, bcd), (hashed_taxa{"b", "c"}));
    EXPECT_EQ(difference_of(bcd, abc), (hashed_taxa{"d"}));
    EXPECT_EQ(symmetric_difference_of(abc, bcd), (hashed_taxa{"a", "d"}));
    auto target = abc;
    intersection_with(target, bcd);
    difference_with(target, hashed_taxa{"c"});
    symmetric_difference_with(target, abc);
    EXPECT_EQ(target, (hashed_taxa{"a", "c"}));
    // A set combined with itself must not iterate over what it erases.
    target = abc;
    union_with(target, target);
    EXPECT_EQ(target, abc);
    symmetric_difference_with(target, target);
    EXPECT_TRUE(target.empty());
    target = abc;
    difference_with(target, target);
    EXPECT_TRUE(target.empty());
    EXPECT_TRUE(is_subset(hashed_taxa{"a", "b"}, abc) && is_subset(hashed_taxa{}, abc));
    EXPECT_FALSE(is_subset(abc, hashed_taxa{"a", "b"}));
    EXPECT_TRUE(overlap(abc, bcd));
    EXPECT_FALSE(overlap(abc, hashed_taxa{"x"}));
}
