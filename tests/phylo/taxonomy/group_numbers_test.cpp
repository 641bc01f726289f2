#include <phylo/taxonomy/group_numbers.hpp>

#include <phylo/real_chars.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using namespace phylo;
using namespace phylo::taxonomy;

namespace {

taxon_labels labels_from(index_type first, const std::vector<std::string>& names) {
    return taxon_labels(first, std::vector<std::string>(names));
}

// A column-wise table: the name row first, then one row per classification, all from `first`.
group_name_vector table_from(index_type table_first, index_type first,
                             const std::vector<std::vector<std::string>>& rows) {
    group_name_vector table(table_first, table_first + static_cast<index_type>(rows.size()) - 1);
    for (std::size_t i = 0; i < rows.size(); ++i)
        table[table_first + static_cast<index_type>(i)] =
            std::make_unique<taxon_labels>(labels_from(first, rows[i]));
    return table;
}

std::vector<count_element> values(const count_array& a) { return {a.begin(), a.end()}; }

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

TEST(ToGroupNumbers, NumbersFollowFirstOccurrenceAlongTheRow) {
    const auto labels = labels_from(0, {"c", "b", "a"});
    const auto table = table_from(0, 0, {{"a", "b", "c"}, {"x", "y", "x"}, {"y", "x", "y"}, {"B", "b", "b"}});
    const auto numbers = to_group_numbers(labels, table);
    ASSERT_EQ(numbers.first(), 1);
    ASSERT_EQ(numbers.last(), 3);
    EXPECT_EQ(values(*numbers[1]), (std::vector<count_element>{0, 1, 0}));
    EXPECT_EQ(values(*numbers[2]), (std::vector<count_element>{0, 1, 0}));
    // Case matters: "B" and "b" are different groups; a is B (0), b and c are b (1).
    EXPECT_EQ(values(*numbers[3]), (std::vector<count_element>{1, 1, 0}));
    EXPECT_EQ(numbers[1]->first(), 0);
}

TEST(ToGroupNumbers, RangesComeFromTheLabelsAndTheRows) {
    // Labels over 10 .. 12, table rows over 4 .. 6, table itself from 2.
    const auto labels = labels_from(10, {"t1", "t2", "t3"});
    const auto table = table_from(2, 4, {{"t3", "t1", "t2"}, {"g", "h", "g"}});
    const auto numbers = to_group_numbers(labels, table);
    ASSERT_EQ(numbers.first(), 3);
    ASSERT_EQ(numbers.last(), 3);
    EXPECT_EQ(numbers[3]->first(), 10);
    // t3 -> g (4), t1 -> h (5), t2 -> g (4).
    EXPECT_EQ(values(*numbers[3]), (std::vector<count_element>{5, 4, 4}));
}

TEST(ToGroupNumbers, NameRowInLabelOrder) {
    const auto labels = labels_from(0, {"a", "b", "c", "d"});
    const auto numbers = to_group_numbers(labels, table_from(0, 0, {{"a", "b", "c", "d"}, {"", "x", "", "x "}}));
    // The empty name is a group like any other; "x" and "x " differ.
    EXPECT_EQ(values(*numbers[1]), (std::vector<count_element>{0, 1, 0, 2}));
}

TEST(ToGroupNumbers, NameRowOnlyGivesNoRows) {
    const auto numbers = to_group_numbers(labels_from(0, {"a", "b"}), table_from(0, 0, {{"b", "a"}}));
    EXPECT_TRUE(numbers.empty());
    EXPECT_EQ(numbers.first(), 1);
}

TEST(ToGroupNumbers, ShuffledNamesAgreeWithGroupNames) {
    std::mt19937 random(7);
    const int n = 500;
    std::vector<std::string> names;
    for (int k = 0; k < n; ++k) names.push_back("taxon" + std::to_string(k));
    auto order = names;
    std::shuffle(order.begin(), order.end(), random);
    std::vector<std::string> groups;
    for (int k = 0; k < n; ++k) groups.push_back("g" + std::to_string(random() % 37));
    const auto labels = labels_from(0, names);
    const auto numbers = to_group_numbers(labels, table_from(0, 0, {order, groups}));
    const auto& row = *numbers[1];
    // Numbers are handed out in order of first occurrence along the table row.
    std::map<std::string, count_element> expected;
    for (const auto& g : groups) expected.try_emplace(g, static_cast<count_element>(expected.size()));
    for (int j = 0; j < n; ++j) {
        const auto k = std::stoi(order[static_cast<std::size_t>(j)].substr(5));
        EXPECT_EQ(row[k], expected[groups[static_cast<std::size_t>(j)]]);
    }
}

TEST(ToGroupNumbers, Errors) {
    const auto abc = labels_from(0, {"a", "b", "c"});
    using size_error = group_names::size_error;
    expect_error<size_error>([&] { (void)to_group_numbers(abc, table_from(0, 0, {{"a", "b", "c"}, {"x", "y"}})); },
                             "classification row 1 has 2 names, the name row 3");
    expect_error<size_error>([&] { (void)to_group_numbers(abc, table_from(0, 0, {{"a", "b"}, {"x", "y"}})); },
                             "the name row has 2 names for 3 labels");
    expect_error<range_error>([&] { (void)to_group_numbers(abc, group_name_vector(0, -1)); },
                              "the classification table has no name row");
    group_name_vector with_null(0, 1);
    with_null[0] = std::make_unique<taxon_labels>(abc);
    expect_error<range_error>([&] { (void)to_group_numbers(abc, with_null); }, "row 1 is null");
    auto shifted = table_from(0, 0, {{"a", "b", "c"}, {"x", "y", "x"}});
    shifted[1] = std::make_unique<taxon_labels>(labels_from(1, {"x", "y", "x"}));
    expect_error<range_error>([&] { (void)to_group_numbers(abc, shifted); },
                              "classification row 1 starts at index 1, the name row at 0");
    expect_error<range_error>(
        [&] { (void)to_group_numbers(abc, table_from(0, 0, {{"a", "b", "d"}, {"x", "y", "x"}})); },
        "taxon name \"d\" of the name row is not among the labels");
    expect_error<range_error>(
        [&] { (void)to_group_numbers(labels_from(0, {"a", "b", "a"}), table_from(0, 0, {{"a", "b", "a"}})); },
        "attempt to insert key already in map");
    // A repeated name leaves a label without a position: refused rather than left unwritten.
    expect_error<range_error>(
        [&] { (void)to_group_numbers(abc, table_from(0, 0, {{"a", "b", "a"}, {"x", "y", "x"}})); },
        "taxon name \"a\" occurs more than once in the name row");
}

TEST(SquaredToPairwise, SmallMatrices) {
    real_matrix three(0, 2, 0, 2);
    three(0, 1) = 5;
    three(0, 2) = 2;
    three(1, 2) = 3;
    three(1, 0) = -100; // the lower triangle and the diagonal are not read
    three(2, 2) = -100;
    const auto pairs = squared_to_pairwise(three);
    ASSERT_EQ(pairs.first(), 0);
    ASSERT_EQ(pairs.length(), 3);
    const std::vector<std::tuple<double, int, int>> expected{{2, 0, 2}, {3, 1, 2}, {5, 0, 1}};
    for (index_type k = 0; k < 3; ++k) {
        const auto [d, i, j] = expected[static_cast<std::size_t>(k)];
        EXPECT_EQ(pairs[k].distance, d);
        EXPECT_EQ(pairs[k].first_taxon, i);
        EXPECT_EQ(pairs[k].second_taxon, j);
    }

    real_matrix two(4, 5, 4, 5);
    two(4, 5) = 1.5;
    const auto one = squared_to_pairwise(two);
    ASSERT_EQ(one.length(), 1);
    EXPECT_EQ(one[0].distance, 1.5);
    EXPECT_EQ(one[0].first_taxon, 4);
    EXPECT_EQ(one[0].second_taxon, 5);

    EXPECT_TRUE(squared_to_pairwise(real_matrix(0, 0, 0, 0)).empty());
    EXPECT_TRUE(squared_to_pairwise(real_matrix(0, -1, 0, -1)).empty());
}

TEST(SquaredToPairwise, SortsLargeMatricesLikeAComparisonSort) {
    std::mt19937_64 random(3);
    std::uniform_real_distribution<double> uniform(-1000, 1000);
    const index_type n = 400;
    real_matrix m(0, n - 1, 0, n - 1);
    for (index_type i = 0; i < n; ++i)
        for (index_type j = 0; j < n; ++j)
            // Many ties, both signed zeros, negative values and wide exponents.
            m(i, j) = (i + j) % 7 == 0 ? 0.0 * ((i % 2) ? -1 : 1)
                      : (i * j) % 5 == 0 ? std::round(uniform(random))
                                         : uniform(random) * std::pow(10.0, static_cast<double>((i + j) % 40) - 20);
    m(3, 9) = std::numeric_limits<double>::infinity();
    m(4, 8) = -std::numeric_limits<double>::infinity();
    m(0, 5) = std::numeric_limits<double>::quiet_NaN();

    const auto pairs = squared_to_pairwise(m);
    ASSERT_EQ(pairs.length(), n * (n - 1) / 2);
    std::vector<double> expected;
    for (index_type i = 0; i < n; ++i)
        for (index_type j = i + 1; j < n; ++j)
            if (!std::isnan(m(i, j))) expected.push_back(m(i, j));
    std::sort(expected.begin(), expected.end());
    std::vector<std::pair<int, int>> seen;
    for (index_type k = 0; k < pairs.length(); ++k) {
        const auto& p = pairs[k];
        ASSERT_LT(p.first_taxon, p.second_taxon);
        EXPECT_TRUE(std::bit_cast<std::uint64_t>(p.distance) ==
                    std::bit_cast<std::uint64_t>(m(p.first_taxon, p.second_taxon)));
        if (k + 1 < pairs.length()) {
            EXPECT_FALSE(std::isnan(p.distance)) << "not-a-number before the end";
            EXPECT_FALSE(pairs[k + 1].distance < p.distance) << "at " << k;
        }
        if (k < static_cast<index_type>(expected.size())) {
            EXPECT_EQ(p.distance, expected[static_cast<std::size_t>(k)]);
        }
        seen.emplace_back(p.first_taxon, p.second_taxon);
    }
    EXPECT_TRUE(std::isnan(pairs[pairs.last()].distance));
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(std::adjacent_find(seen.begin(), seen.end()), seen.end()) << "a pair listed twice";
}

namespace {

// Sorted by distance, each pair of the upper triangle exactly once with its own value.
void expect_sorted_pairs(const real_matrix& m) {
    const auto pairs = squared_to_pairwise(m);
    const index_type n = m.rows();
    ASSERT_EQ(pairs.length(), n * (n - 1) / 2);
    std::vector<bool> seen(static_cast<std::size_t>(n * n), false);
    for (index_type k = 0; k < pairs.length(); ++k) {
        const auto& p = pairs[k];
        ASSERT_LT(p.first_taxon, p.second_taxon);
        ASSERT_FALSE(seen[static_cast<std::size_t>(p.first_taxon * n + p.second_taxon)]);
        seen[static_cast<std::size_t>(p.first_taxon * n + p.second_taxon)] = true;
        ASSERT_TRUE(std::bit_cast<std::uint64_t>(p.distance) ==
                    std::bit_cast<std::uint64_t>(m(p.first_taxon, p.second_taxon)));
        if (k > 0) {
            ASSERT_FALSE(p.distance < pairs[k - 1].distance) << "at " << k;
        }
    }
}

} // namespace

TEST(SquaredToPairwise, SkewedDistributions) {
    const index_type n = 300;
    std::mt19937_64 random(8);
    std::uniform_real_distribution<double> uniform(0, 1);
    const auto matrix = [&](auto value) {
        real_matrix m(0, n - 1, 0, n - 1);
        for (index_type i = 0; i < n; ++i)
            for (index_type j = 0; j < n; ++j) m(i, j) = value(i, j);
        return m;
    };
    // Every distance equal.
    expect_sorted_pairs(matrix([](index_type, index_type) { return 2.5; }));
    // Two values only.
    expect_sorted_pairs(matrix([](index_type i, index_type j) { return (i + j) % 2 ? 1.0 : 3.0; }));
    // A span too wide for a finite scale.
    expect_sorted_pairs(matrix([&](index_type i, index_type) {
        return i % 2 ? -1e308 * uniform(random) : 1e308 * uniform(random);
    }));
    // A tight clump with far outliers in rows that a sample of rows would skip.
    expect_sorted_pairs(matrix([&](index_type i, index_type j) {
        if (i == 1 && j == 7) return -1e9;
        if (i == 2 && j == 5) return 1e9;
        return 1.0 + 1e-9 * uniform(random);
    }));
    // Most pairs in one value bucket, spread thinly inside it.
    expect_sorted_pairs(matrix([&](index_type i, index_type j) {
        return (i * j) % 97 == 0 ? 1000.0 * uniform(random) : uniform(random) * 1e-3;
    }));
}

TEST(SquaredToPairwise, Errors) {
    expect_error<real_chars::size_error>([] { (void)squared_to_pairwise(real_matrix(0, 1, 0, 2)); },
                                         "a 2 x 3 matrix is not square");
    expect_error<range_error>([] { (void)squared_to_pairwise(real_matrix(0, 2, 1, 3)); },
                              "the columns of a distance matrix must have the index range of its rows");
}
