#include <phylo/taxonomy/partitions.hpp>

#include <phylo/count_chars.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

using namespace phylo;
using namespace phylo::taxonomy;

namespace {

count_array partition(std::vector<count_element> groups, index_type first = 0) {
    return count_array(first, std::move(groups));
}

count_vector set_of(std::vector<count_array> partitions, index_type first = 0) {
    count_vector set(first, first + static_cast<index_type>(partitions.size()) - 1);
    for (std::size_t i = 0; i < partitions.size(); ++i)
        set[first + static_cast<index_type>(i)] = std::make_unique<count_array>(std::move(partitions[i]));
    return set;
}

// Group numbers 0 .. groups - 1 in order of first occurrence, as to_group_numbers gives them.
count_array random_partition(std::mt19937& random, int n, int groups) {
    std::vector<count_element> g(static_cast<std::size_t>(n));
    std::map<unsigned, count_element> renumber;
    for (auto& x : g)
        x = renumber.try_emplace(random() % static_cast<unsigned>(groups), static_cast<count_element>(renumber.size()))
                .first->second;
    return partition(std::move(g));
}

bool same_bits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

template <class Error, class Call>
void expect_error(Call call, const std::string& message) {
    try {
        call();
        FAIL() << "no error raised";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), message);
    }
}

std::vector<double> row_of(const real_vector& v, index_type i) { return {v[i]->begin(), v[i]->end()}; }

} // namespace

TEST(PartitionMeasures, GroupsPairsAndEntropy) {
    const auto two = partition_measures(partition({0, 0, 1, 1}));
    EXPECT_EQ(std::make_pair(two.groups, two.pairs), std::make_pair(2, std::int64_t{2}));
    EXPECT_DOUBLE_EQ(two.entropy, std::log(2.0));
    const auto one = partition_measures(partition({3}));
    EXPECT_EQ(std::make_pair(one.groups, one.pairs), std::make_pair(1, std::int64_t{0}));
    const auto singletons = partition_measures(partition({0, 1, 2}, 4));
    EXPECT_EQ(std::make_pair(singletons.groups, singletons.pairs), std::make_pair(3, std::int64_t{0}));
    EXPECT_DOUBLE_EQ(singletons.entropy, std::log(3.0));
    const auto gaps = partition_measures(partition({7, 2, 7}));
    EXPECT_EQ(std::make_pair(gaps.groups, gaps.pairs), std::make_pair(2, std::int64_t{1}));
    // Far-apart numbers are sorted, close ones counted: same bits, caller's array unchanged.
    const auto sparse = partition({1000000000, 0, 500000000, 1000000000, 1000000000, 0, 1500000000});
    const auto copy = sparse;
    const auto a = partition_measures(partition({2, 0, 1, 2, 2, 0, 3}));
    const auto b = partition_measures(sparse);
    EXPECT_EQ(std::make_pair(a.groups, a.pairs), std::make_pair(b.groups, b.pairs));
    EXPECT_TRUE(same_bits(a.entropy, b.entropy));
    EXPECT_EQ(sparse, copy);
    expect_error<range_error>([] { (void)partition_measures(count_array(0, -1)); }, "an empty partition has no measures");
}

TEST(PartitionMeasures, OneGroupIsExactAtAnySize) {
    // c * (1 / n) misses 1 for these sizes; c / n does not.
    for (const int n : {3, 49, 98, 103}) {
        const auto m = partition_measures(partition(std::vector<count_element>(static_cast<std::size_t>(n), 5)));
        EXPECT_TRUE(same_bits(m.entropy, 0.0)) << n << " taxa: " << m.entropy;
        EXPECT_EQ(m.pairs, std::int64_t{n} * (n - 1) / 2);
    }
    // 65,537 taxa in one group: more pairs than 32 bits hold.
    EXPECT_EQ(partition_measures(partition(std::vector<count_element>(65537, 0))).pairs, std::int64_t{65537} * 65536 / 2);
}

TEST(PartitionsMeasures, EveryTableLayoutGivesTheSameBits) {
    const auto crossed = partitions_measures(partition({0, 0, 1, 1}), partition({0, 1, 0, 1}), 2, 2);
    EXPECT_EQ(crossed.pairs, 0);
    EXPECT_DOUBLE_EQ(crossed.entropy, std::log(4.0));
    std::mt19937 random(11);
    for (const int n : {1, 40, 2000}) {
        const auto a = random_partition(random, n, 23);
        const auto b = random_partition(random, n, 31);
        // Reference: a full contingency map walked in row-major order.
        std::map<std::pair<int, int>, std::int64_t> cells;
        for (index_type k = 0; k < n; ++k) ++cells[{a[k], b[k]}];
        joint_measures expected{0, 0.0};
        for (const auto& [cell, c] : cells) {
            expected.pairs += c * (c - 1) / 2;
            const double p = static_cast<double>(c) / n;
            expected.entropy -= p * std::log(p);
        }
        // A dense table, counted runs (wide table), sorted pairs (huge table).
        for (const auto& [na, nb] : std::vector<std::pair<std::int32_t, std::int32_t>>{
                 {partition_measures(a).groups, partition_measures(b).groups}, {23, 4 * n + 4000}, {2147483647, 2147483647}}) {
            const auto m = partitions_measures(a, b, na, nb);
            EXPECT_EQ(m.pairs, expected.pairs) << n << " taxa, " << na << " x " << nb;
            EXPECT_TRUE(same_bits(m.entropy, expected.entropy)) << n << " taxa, " << na << " x " << nb;
        }
    }
}

TEST(PartitionsMeasures, Errors) {
    const auto four = partition({0, 0, 1, 1});
    expect_error<count_chars::size_error>([&] { (void)partitions_measures(four, partition({0, 1, 0}), 2, 2); },
                                          "partitions of 4 and 3 taxa cannot be compared");
    expect_error<range_error>([&] { (void)partitions_measures(four, partition({0, 1, 0, 2}), 2, 2); },
                              "group number 2 of taxon 3 in the second partition is outside 0 .. 1");
    expect_error<range_error>([&] { (void)partitions_measures(partition({0, -1}), partition({0, 0}), 2, 1); },
                              "group number -1 of taxon 1 in the first partition is outside 0 .. 1");
    expect_error<range_error>([&] { (void)partitions_measures(four, partition({0, 0, 1, 1}, 1), 2, 2); },
                              "the partitions start at indices 0 and 1");
}

TEST(PartitionSimilarities, WorkedExamples) {
    const auto five = partition_similarities(set_of({partition({0, 0, 0, 0, 1})}), set_of({partition({0, 0, 0, 1, 1})}));
    ASSERT_EQ(five.length(), 1);
    EXPECT_NEAR((*five[0])[0], 0.234821, 1e-6);
    EXPECT_DOUBLE_EQ((*five[0])[1], 0.6);
    EXPECT_DOUBLE_EQ((*five[0])[2], 0.6 / 2.6);
    // Rows over the first set's bounds, 3 values per partition of the second set.
    const auto result = partition_similarities(set_of({partition({0, 0, 1, 1}), partition({0, 1, 2, 0})}, 3),
                                               set_of({partition({0, 0, 1, 1}), partition({0, 1, 0, 1})}, 7));
    ASSERT_EQ(result.first(), 3);
    ASSERT_EQ(result.last(), 4);
    EXPECT_EQ(result[4]->first(), 0);
    EXPECT_EQ(result[4]->length(), 6);
    // Identical partitions agree fully; crossed ones: Rand 1/3, adjusted (0 - 2/3) / (2 - 2/3).
    const double ln2 = std::log(2.0);
    EXPECT_EQ(row_of(result, 3), (std::vector<double>{1, 1, 1, (2 * ln2 - std::log(4.0)) / std::log(4.0), 1.0 / 3.0, -0.5}));
}

TEST(PartitionSimilarities, ZeroDenominatorsGiveNotANumberAndLargeEntropiesPass) {
    for (const int n : {3, 49, 98, 103}) { // one group in both, at sizes where 1/n rounds badly
        const std::vector<count_element> one(static_cast<std::size_t>(n), 0);
        const auto row = row_of(partition_similarities(set_of({partition(one)}), set_of({partition(one)})), 0);
        EXPECT_TRUE(std::isnan(row[0]) && row[1] == 1.0 && std::isnan(row[2])) << n;
    }
    const auto singletons = partition({0, 1, 2, 3, 4});
    const auto row = row_of(partition_similarities(set_of({singletons}), set_of({singletons})), 0);
    EXPECT_TRUE(row[0] == 1.0 && row[1] == 1.0 && std::isnan(row[2]));
    // Entropies ln 3 and ln 4, joint entropy above 1: compared, not refused.
    const auto three = partition({0, 0, 1, 1, 2, 2, 0, 1});
    const auto four = partition({0, 1, 2, 3, 0, 1, 2, 3});
    for (const double x : row_of(partition_similarities(set_of({three, four}), set_of({four, three})), 1))
        EXPECT_TRUE(std::isfinite(x));
}

TEST(PartitionSimilarities, AgreesWithPairByPairCounting) {
    std::mt19937 random(5);
    for (int trial = 0; trial < 12; ++trial) {
        const int n = 2 + static_cast<int>(random() % 300);
        const auto a = random_partition(random, n, 1 + static_cast<int>(random() % 12));
        const auto b = random_partition(random, n, 1 + static_cast<int>(random() % 40));
        long double in_a = 0, in_b = 0, in_both = 0;
        for (index_type i = 0; i < n; ++i)
            for (index_type j = i + 1; j < n; ++j) {
                in_a += a[i] == a[j];
                in_b += b[i] == b[j];
                in_both += a[i] == a[j] && b[i] == b[j];
            }
        const long double pairs = static_cast<long double>(n) * (n - 1) / 2;
        const long double expected_index = in_a * in_b / pairs;
        const auto adjusted = static_cast<double>((in_both - expected_index) / ((in_a + in_b) / 2 - expected_index));
        // Mutual information from probabilities, not from entropies.
        std::map<int, long double> pa, pb;
        std::map<std::pair<int, int>, long double> pab;
        for (index_type k = 0; k < n; ++k) {
            pa[a[k]] += 1.0L / n;
            pb[b[k]] += 1.0L / n;
            pab[{a[k], b[k]}] += 1.0L / n;
        }
        long double information = 0, joint = 0;
        for (const auto& [cell, p] : pab) {
            information += p * std::log(p / (pa[cell.first] * pb[cell.second]));
            joint -= p * std::log(p);
        }
        const auto row = row_of(partition_similarities(set_of({a}), set_of({b})), 0);
        EXPECT_NEAR(row[1], static_cast<double>((pairs - in_a - in_b + 2 * in_both) / pairs), 1e-12) << trial;
        EXPECT_TRUE(std::isnan(adjusted) ? std::isnan(row[2]) : std::abs(row[2] - adjusted) < 1e-12) << trial;
        EXPECT_TRUE(joint == 0 ? std::isnan(row[0]) : std::abs(row[0] - static_cast<double>(information / joint)) < 1e-12)
            << trial;
    }
    // 70,000 taxa, one group against two halves: N and P(A) beyond 32 bits, adjusted Rand exactly 0.
    std::vector<count_element> halves(70000, 0);
    std::fill(halves.begin() + 35000, halves.end(), 1);
    const auto large = row_of(partition_similarities(set_of({partition(std::vector<count_element>(70000, 0))}),
                                                     set_of({partition(halves)})), 0);
    EXPECT_NEAR(large[1], 1.0 - 2.0 * 35000 * 35000 / (70000.0 * 69999), 1e-15);
    EXPECT_EQ(large[2], 0.0);
}

TEST(PartitionSimilarities, Errors) {
    const auto four = set_of({partition({0, 0, 1, 1})});
    expect_error<range_error>([&] { (void)partition_similarities(count_vector(), four); }, "the first partition set is empty");
    expect_error<range_error>([&] { (void)partition_similarities(four, count_vector()); }, "the second partition set is empty");
    count_vector with_null(0, 1);
    with_null[0] = std::make_unique<count_array>(partition({0, 0, 1, 1}));
    expect_error<range_error>([&] { (void)partition_similarities(with_null, four); }, "partition 1 of the first set is null");
    expect_error<count_chars::size_error>(
        [&] { (void)partition_similarities(set_of({partition({0, 0, 1, 1}), partition({0, 1, 0})}), four); },
        "partition 1 of the first set has 3 taxa, not 4");
    expect_error<count_chars::size_error>([&] { (void)partition_similarities(four, set_of({partition({0, 0, 1})})); },
                                          "partition 0 of the second set has 3 taxa, not 4");
    expect_error<range_error>([&] { (void)partition_similarities(four, set_of({partition({0, 0, 1, 1}, 2)})); },
                              "partition 0 of the second set starts at index 2, not 0");
    expect_error<range_error>([&] { (void)partition_similarities(set_of({partition({0})}), set_of({partition({0})})); },
                              "a single taxon has no pairs to compare partitions by");
    // Group numbers must run from 0: (1, 1, 2, 2) has 2 groups, so 2 is outside 0 .. 1.
    expect_error<range_error>([&] { (void)partition_similarities(set_of({partition({1, 1, 2, 2})}), four); },
                              "group number 2 of taxon 2 in the first partition is outside 0 .. 1");
}
