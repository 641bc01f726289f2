#include <phylo/taxonomy/group_numbers.hpp>

#include <phylo/real_chars.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

using namespace phylo;
using namespace phylo::taxonomy;

namespace {

taxon_labels labels_from(index_type first, std::vector<std::string> names) {
    return taxon_labels(first, std::move(names));
}

// A column-wise table: the name row, then one row per classification, all from `first`.
group_name_vector table_from(index_type table_first, index_type first,
                             const std::vector<std::vector<std::string>>& rows) {
    group_name_vector table(table_first, table_first + static_cast<index_type>(rows.size()) - 1);
    for (std::size_t i = 0; i < rows.size(); ++i)
        table[table_first + static_cast<index_type>(i)] = std::make_unique<taxon_labels>(labels_from(first, rows[i]));
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
        ASSERT_EQ(std::bit_cast<std::uint64_t>(p.distance), std::bit_cast<std::uint64_t>(m(p.first_taxon, p.second_taxon)));
        if (k > 0) {
            ASSERT_FALSE(p.distance < pairs[k - 1].distance) << "at " << k;
            ASSERT_FALSE(std::isnan(pairs[k - 1].distance) && !std::isnan(p.distance)) << "not-a-number before " << k;
        }
    }
}

} // namespace

TEST(ToGroupNumbers, NumbersFollowFirstOccurrenceAlongTheRow) {
    const auto table = table_from(0, 0, {{"a", "b", "c"}, {"x", "y", "x"}, {"y", "x", "y"}, {"B", "b", "b"}});
    const auto numbers = to_group_numbers(labels_from(0, {"c", "b", "a"}), table);
    ASSERT_EQ(numbers.first(), 1);
    ASSERT_EQ(numbers.last(), 3);
    EXPECT_EQ(values(*numbers[1]), (std::vector<count_element>{0, 1, 0}));
    EXPECT_EQ(values(*numbers[2]), (std::vector<count_element>{0, 1, 0}));
    EXPECT_EQ(values(*numbers[3]), (std::vector<count_element>{1, 1, 0})); // "B" is not "b"
    // Name row in label order; the empty name is a group, "x" and "x " differ.
    const auto same = to_group_numbers(labels_from(0, {"a", "b", "c", "d"}),
                                       table_from(0, 0, {{"a", "b", "c", "d"}, {"", "x", "", "x "}}));
    EXPECT_EQ(values(*same[1]), (std::vector<count_element>{0, 1, 0, 2}));
    // Only a name row: no classifications.
    const auto none = to_group_numbers(labels_from(0, {"a", "b"}), table_from(0, 0, {{"b", "a"}}));
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(none.first(), 1);
}

TEST(ToGroupNumbers, RangesComeFromTheLabelsAndTheRows) {
    // Labels over 10 .. 12, table rows over 4 .. 6, the table itself from 2.
    const auto numbers = to_group_numbers(labels_from(10, {"t1", "t2", "t3"}),
                                          table_from(2, 4, {{"t3", "t1", "t2"}, {"g", "h", "g"}}));
    ASSERT_EQ(numbers.first(), 3);
    EXPECT_EQ(numbers[3]->first(), 10);
    EXPECT_EQ(values(*numbers[3]), (std::vector<count_element>{5, 4, 4})); // g = 4, h = 5
}

TEST(ToGroupNumbers, ShuffledNamesAgreeWithGroupNames) {
    std::mt19937 random(7);
    const int n = 5000; // enough to make the hash tables grow
    std::vector<std::string> names, groups;
    for (int k = 0; k < n; ++k) names.push_back("taxon" + std::to_string(k));
    auto order = names;
    std::shuffle(order.begin(), order.end(), random);
    for (int k = 0; k < n; ++k) groups.push_back("g" + std::to_string(random() % 1500));
    const auto numbers = to_group_numbers(labels_from(0, names), table_from(0, 0, {order, groups}));
    std::map<std::string, count_element> expected;
    for (const auto& g : groups) expected.try_emplace(g, static_cast<count_element>(expected.size()));
    for (std::size_t j = 0; j < order.size(); ++j)
        ASSERT_EQ((*numbers[1])[std::stoi(order[j].substr(5))], expected[groups[j]]) << j;
}

TEST(ToGroupNumbers, Errors) {
    const auto abc = labels_from(0, {"a", "b", "c"});
    using size_error = group_names::size_error;
    expect_error<size_error>([&] { (void)to_group_numbers(abc, table_from(0, 0, {{"a", "b", "c"}, {"x", "y"}})); },
                             "classification row 1 has 2 names, the name row 3");
    expect_error<size_error>([&] { (void)to_group_numbers(abc, table_from(0, 0, {{"a", "b"}})); },
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
    expect_error<range_error>([&] { (void)to_group_numbers(abc, table_from(0, 0, {{"a", "b", "d"}})); },
                              "taxon name \"d\" of the name row is not among the labels");
    expect_error<range_error>(
        [&] { (void)to_group_numbers(labels_from(0, {"a", "b", "a"}), table_from(0, 0, {{"a", "b", "a"}})); },
        "attempt to insert key already in map");
    // A repeated name would leave a label's position unwritten: refused.
    expect_error<range_error>([&] { (void)to_group_numbers(abc, table_from(0, 0, {{"a", "b", "a"}, {"x", "y", "x"}})); },
                              "taxon name \"a\" occurs more than once in the name row");
}

TEST(SquaredToPairwise, SmallMatrices) {
    real_matrix three(0, 2, 0, 2);
    three(0, 1) = 5;
    three(0, 2) = 2;
    three(1, 2) = 3;
    three(1, 0) = three(2, 2) = -100; // the lower triangle and the diagonal are not read
    const auto pairs = squared_to_pairwise(three);
    ASSERT_EQ(pairs.length(), 3);
    const std::vector<std::vector<double>> expected{{2, 0, 2}, {3, 1, 2}, {5, 0, 1}};
    for (index_type k = 0; k < 3; ++k)
        EXPECT_EQ((std::vector<double>{pairs[k].distance, double(pairs[k].first_taxon), double(pairs[k].second_taxon)}),
                  expected[static_cast<std::size_t>(k)]);
    real_matrix two(4, 5, 4, 5);
    two(4, 5) = 1.5;
    const auto one = squared_to_pairwise(two);
    ASSERT_EQ(one.length(), 1);
    EXPECT_EQ(one[0].first_taxon, 4);
    EXPECT_EQ(one[0].second_taxon, 5);
    EXPECT_TRUE(squared_to_pairwise(real_matrix(0, 0, 0, 0)).empty());
    EXPECT_TRUE(squared_to_pairwise(real_matrix(0, -1, 0, -1)).empty());
}

TEST(SquaredToPairwise, SortsEveryDistribution) {
    const index_type n = 300;
    std::mt19937_64 random(8);
    std::uniform_real_distribution<double> uniform(0, 1);
    const auto check = [&](auto value) {
        real_matrix m(0, n - 1, 0, n - 1);
        for (index_type i = 0; i < n; ++i)
            for (index_type j = 0; j < n; ++j) m(i, j) = value(i, j);
        expect_sorted_pairs(m);
    };
    constexpr double inf = std::numeric_limits<double>::infinity();
    // Ties, signed zeros, negative values, wide exponents, infinities and not-a-number.
    check([&](index_type i, index_type j) {
        if (i == 3 && j == 9) return inf;
        if (i == 4 && j == 8) return -inf;
        if (i == 0 && j == 5) return std::nan("");
        if ((i + j) % 7 == 0) return i % 2 ? -0.0 : 0.0;
        return (uniform(random) - 0.5) * std::pow(10.0, static_cast<double>((i + j) % 40) - 20);
    });
    check([](index_type, index_type) { return 2.5; });
    check([](index_type i, index_type j) { return (i + j) % 2 ? 1.0 : 3.0; });
    check([&](index_type i, index_type) { return (i % 2 ? -1e308 : 1e308) * uniform(random); });
    // A tight clump with far outliers in rows that a sample of rows would skip.
    check([&](index_type i, index_type j) {
        if (i == 1 && j == 7) return -1e9;
        if (i == 2 && j == 5) return 1e9;
        return 1.0 + 1e-9 * uniform(random);
    });
    // Most pairs in one value bucket, spread thinly inside it.
    check([&](index_type i, index_type j) { return (i * j) % 97 == 0 ? 1000.0 * uniform(random) : uniform(random) * 1e-3; });
}

TEST(SquaredToPairwise, Errors) {
    expect_error<real_chars::size_error>([] { (void)squared_to_pairwise(real_matrix(0, 1, 0, 2)); },
                                         "a 2 x 3 matrix is not square");
    expect_error<range_error>([] { (void)squared_to_pairwise(real_matrix(0, 2, 1, 3)); },
                              "the columns of a distance matrix must have the index range of its rows");
}
