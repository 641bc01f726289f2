#include <phylo/taxonomy/partitions.hpp>

#include <phylo/count_chars.hpp>

#include <gtest/gtest.h>

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

count_array random_partition(std::mt19937& random, int n, int groups) {
    std::vector<count_element> g(static_cast<std::size_t>(n));
    // Dense numbers 0 .. groups - 1 in order of first occurrence, as to_group_numbers gives.
    std::map<int, count_element> renumber;
    for (auto& x : g) {
        const int raw = static_cast<int>(random() % static_cast<unsigned>(groups));
        x = renumber.try_emplace(raw, static_cast<count_element>(renumber.size())).first->second;
    }
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

// Straightforward reference: a full contingency map walked in row-major order.
joint_measures reference_joint(const count_array& a, const count_array& b) {
    std::map<std::pair<int, int>, std::int64_t> cells;
    for (index_type k = a.first(); k <= a.last(); ++k) ++cells[{a[k], b[k]}];
    joint_measures m{0, 0.0};
    const double n = static_cast<double>(a.length());
    for (const auto& [cell, c] : cells) {
        m.pairs += c * (c - 1) / 2;
        const double p = static_cast<double>(c) / n;
        m.entropy -= p * std::log(p);
    }
    return m;
}

} // namespace

TEST(PartitionMeasures, SmallPartitions) {
    const auto two = partition_measures(partition({0, 0, 1, 1}));
    EXPECT_EQ(two.groups, 2);
    EXPECT_EQ(two.pairs, 2);
    EXPECT_DOUBLE_EQ(two.entropy, std::log(2.0));
    const auto one = partition_measures(partition({3}));
    EXPECT_EQ(one.groups, 1);
    EXPECT_EQ(one.pairs, 0);
    EXPECT_EQ(one.entropy, 0.0);
    const auto same = partition_measures(partition({5, 5, 5}));
    EXPECT_EQ(same.groups, 1);
    EXPECT_EQ(same.pairs, 3);
    EXPECT_EQ(same.entropy, 0.0);
    const auto singletons = partition_measures(partition({0, 1, 2}, 4));
    EXPECT_EQ(singletons.groups, 3);
    EXPECT_EQ(singletons.pairs, 0);
    EXPECT_DOUBLE_EQ(singletons.entropy, std::log(3.0));
    const auto gaps = partition_measures(partition({7, 2, 7}));
    EXPECT_EQ(gaps.groups, 2);
    EXPECT_EQ(gaps.pairs, 1);
}

TEST(PartitionMeasures, SparseGroupNumbersMatchDenseOnes) {
    // Far-apart numbers take the sorting road; the same groups renumbered take the counting road.
    std::vector<count_element> dense{2, 0, 1, 2, 2, 0, 3, 1, 2};
    std::vector<count_element> sparse;
    for (const auto g : dense) sparse.push_back(g * 500000000);
    const auto original = partition(sparse);
    const auto copy = original;
    const auto a = partition_measures(partition(dense));
    const auto b = partition_measures(original);
    EXPECT_EQ(a.groups, 4);
    EXPECT_EQ(b.groups, 4);
    EXPECT_EQ(a.pairs, b.pairs);
    EXPECT_TRUE(same_bits(a.entropy, b.entropy));
    EXPECT_EQ(original, copy) << "the caller's partition was changed";
}

TEST(PartitionMeasures, OneGroupHasExactlyZeroEntropy) {
    for (const int n : {49, 98, 103, 1000}) {
        const auto m = partition_measures(partition(std::vector<count_element>(static_cast<std::size_t>(n), 0)));
        EXPECT_TRUE(same_bits(m.entropy, 0.0)) << n << " taxa: " << m.entropy;
    }
}

TEST(PartitionMeasures, PairCountsBeyondThirtyTwoBits) {
    const auto m = partition_measures(partition(std::vector<count_element>(65537, 0)));
    EXPECT_EQ(m.pairs, std::int64_t{65537} * 65536 / 2);
    EXPECT_GT(m.pairs, std::int64_t{2147483647});
}

TEST(PartitionMeasures, EmptyPartition) {
    expect_error<range_error>([] { (void)partition_measures(count_array(0, -1)); },
                              "an empty partition has no measures");
}

TEST(PartitionsMeasures, CrossedPartitions) {
    const auto m = partitions_measures(partition({0, 0, 1, 1}), partition({0, 1, 0, 1}), 2, 2);
    EXPECT_EQ(m.pairs, 0);
    EXPECT_DOUBLE_EQ(m.entropy, std::log(4.0));
}

TEST(PartitionsMeasures, EveryTableLayoutGivesTheSameBits) {
    std::mt19937 random(11);
    for (const int n : {1, 2, 40, 300, 2000}) {
        const auto a = random_partition(random, n, 23);
        const auto b = random_partition(random, n, 31);
        const auto ga = partition_measures(a).groups;
        const auto gb = partition_measures(b).groups;
        const auto expected = reference_joint(a, b);
        // Actual group counts (a dense table), a wide second partition (counted runs) and huge
        // tables (sorted pairs) must all visit the cells in the same order.
        for (const auto& [na, nb] : std::vector<std::pair<std::int32_t, std::int32_t>>{
                 {ga, gb}, {ga, 4 * n + 4000}, {100000, 100000}, {2147483647, 2147483647}}) {
            const auto m = partitions_measures(a, b, na, nb);
            EXPECT_EQ(m.pairs, expected.pairs) << n << " taxa, " << na << " x " << nb;
            EXPECT_TRUE(same_bits(m.entropy, expected.entropy)) << n << " taxa, " << na << " x " << nb;
        }
    }
}

TEST(PartitionsMeasures, Errors) {
    const auto four = partition({0, 0, 1, 1});
    expect_error<count_chars::size_error>(
        [&] { (void)partitions_measures(four, partition({0, 1, 0}), 2, 2); },
        "partitions of 4 and 3 taxa cannot be compared");
    expect_error<range_error>([&] { (void)partitions_measures(four, partition({0, 1, 0, 2}), 2, 2); },
                              "group number 2 of taxon 3 in the second partition is outside 0 .. 1");
    expect_error<range_error>([&] { (void)partitions_measures(partition({0, -1}), partition({0, 0}), 2, 1); },
                              "group number -1 of taxon 1 in the first partition is outside 0 .. 1");
    expect_error<range_error>([&] { (void)partitions_measures(four, partition({0, 0, 1, 1}, 1), 2, 2); },
                              "the partitions start at indices 0 and 1");
    expect_error<range_error>([] { (void)partitions_measures(count_array(), count_array(), 1, 1); },
                              "an empty partition has no measures");
}

TEST(PartitionSimilarities, FiveTaxonComparison) {
    const auto result = partition_similarities(set_of({partition({0, 0, 0, 0, 1})}),
                                               set_of({partition({0, 0, 0, 1, 1})}));
    ASSERT_EQ(result.length(), 1);
    const auto& row = *result[0];
    ASSERT_EQ(row.first(), 0);
    ASSERT_EQ(row.length(), 3);
    EXPECT_NEAR(row[0], 0.234821, 1e-6);
    EXPECT_DOUBLE_EQ(row[1], 0.6);
    EXPECT_DOUBLE_EQ(row[2], 0.6 / 2.6);
}

TEST(PartitionSimilarities, LayoutOfTheResult) {
    const auto result = partition_similarities(
        set_of({partition({0, 0, 1, 1}), partition({0, 1, 2, 0})}, 3),
        set_of({partition({0, 0, 1, 1}), partition({0, 1, 0, 1}), partition({0, 0, 0, 0})}, 7));
    ASSERT_EQ(result.first(), 3);
    ASSERT_EQ(result.last(), 4);
    for (index_type i = 3; i <= 4; ++i) {
        EXPECT_EQ(result[i]->first(), 0);
        EXPECT_EQ(result[i]->length(), 9);
    }
    // Identical partitions agree fully.
    EXPECT_DOUBLE_EQ((*result[3])[0], 1.0);
    EXPECT_EQ((*result[3])[1], 1.0);
    EXPECT_EQ((*result[3])[2], 1.0);
    // Crossed two-group partitions: Rand 1 + (0 - 2 - 2)/6 = 1/3, adjusted (0 - 2/3)/(2 - 2/3).
    EXPECT_DOUBLE_EQ((*result[3])[4], 1.0 / 3.0);
    EXPECT_DOUBLE_EQ((*result[3])[5], -0.5);
    EXPECT_DOUBLE_EQ((*result[3])[3], (2 * std::log(2.0) - std::log(4.0)) / std::log(4.0));
}

TEST(PartitionSimilarities, ZeroDenominatorsGiveNotANumber) {
    // One group in both: the joint entropy and the adjusted Rand denominator are exactly zero,
    // for every number of taxa.
    for (const int n : {3, 49, 98, 103, 1000}) {
        const std::vector<count_element> one(static_cast<std::size_t>(n), 0);
        const auto result = partition_similarities(set_of({partition(one)}), set_of({partition(one)}));
        EXPECT_TRUE(std::isnan((*result[0])[0])) << n;
        EXPECT_EQ((*result[0])[1], 1.0) << n;
        EXPECT_TRUE(std::isnan((*result[0])[2])) << n;
    }
    // All singletons in both: no pairs anywhere, the adjusted Rand index is 0/0.
    const auto singletons = partition({0, 1, 2, 3, 4});
    const auto result = partition_similarities(set_of({singletons}), set_of({singletons}));
    EXPECT_EQ((*result[0])[1], 1.0);
    EXPECT_TRUE(std::isnan((*result[0])[2]));
    EXPECT_DOUBLE_EQ((*result[0])[0], 1.0);
}

TEST(PartitionSimilarities, EntropiesAboveOneAreAccepted) {
    // Three and four equal groups: entropies ln 3 and ln 4, joint entropy above 1.
    const auto three = partition({0, 0, 1, 1, 2, 2, 0, 1});
    const auto four = partition({0, 1, 2, 3, 0, 1, 2, 3});
    const auto result = partition_similarities(set_of({three, four}), set_of({four, three}));
    for (index_type i = 0; i <= 1; ++i)
        for (index_type k = 0; k < 6; ++k) EXPECT_TRUE(std::isfinite((*result[i])[k])) << i << ", " << k;
}

TEST(PartitionSimilarities, LargePartitionsKeepExactPairCounts) {
    // 70,000 taxa: N and P(A) exceed 32 bits. One group against two halves.
    const int n = 70000;
    std::vector<count_element> halves(static_cast<std::size_t>(n), 0);
    for (int k = n / 2; k < n; ++k) halves[static_cast<std::size_t>(k)] = 1;
    const auto result = partition_similarities(set_of({partition(std::vector<count_element>(n, 0))}),
                                               set_of({partition(halves)}));
    const long double pairs = static_cast<long double>(n) * (n - 1) / 2;
    const long double pa = pairs;
    const long double pb = 2.0L * (n / 2) * (n / 2 - 1) / 2;
    const long double pab = pb;
    const long double e = pa * pb / pairs;
    EXPECT_NEAR((*result[0])[1], static_cast<double>(1 + (2 * pab - pa - pb) / pairs), 1e-15);
    EXPECT_NEAR((*result[0])[2], static_cast<double>((pab - e) / ((pa + pb) / 2 - e)), 1e-15);
    EXPECT_EQ((*result[0])[2], 0.0);
}

TEST(PartitionSimilarities, AgreesWithPairByPairCounting) {
    std::mt19937 random(5);
    for (int trial = 0; trial < 12; ++trial) {
        const int n = 2 + static_cast<int>(random() % 300);
        const auto a = random_partition(random, n, 1 + static_cast<int>(random() % 12));
        const auto b = random_partition(random, n, 1 + static_cast<int>(random() % 40));
        // Count taxon pairs directly: together in A, in B, in both.
        long double together_a = 0, together_b = 0, together_both = 0;
        for (index_type i = 0; i < n; ++i)
            for (index_type j = i + 1; j < n; ++j) {
                const bool sa = a[i] == a[j];
                const bool sb = b[i] == b[j];
                together_a += sa;
                together_b += sb;
                together_both += sa && sb;
            }
        const long double pairs = static_cast<long double>(n) * (n - 1) / 2;
        const long double agreements = pairs - together_a - together_b + 2 * together_both;
        const long double expected_index = together_a * together_b / pairs;
        const long double adjusted = (together_both - expected_index) /
                                     ((together_a + together_b) / 2 - expected_index);
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

        const auto result = partition_similarities(set_of({a}), set_of({b}));
        const auto& row = *result[0];
        EXPECT_NEAR(row[1], static_cast<double>(agreements / pairs), 1e-12) << trial;
        if (std::isnan(static_cast<double>(adjusted)))
            EXPECT_TRUE(std::isnan(row[2])) << trial;
        else
            EXPECT_NEAR(row[2], static_cast<double>(adjusted), 1e-12) << trial;
        if (joint == 0)
            EXPECT_TRUE(std::isnan(row[0])) << trial;
        else
            EXPECT_NEAR(row[0], static_cast<double>(information / joint), 1e-12) << trial;
    }
}

TEST(PartitionSimilarities, Errors) {
    const auto four = set_of({partition({0, 0, 1, 1})});
    expect_error<range_error>([&] { (void)partition_similarities(count_vector(), four); },
                              "the first partition set is empty");
    expect_error<range_error>([&] { (void)partition_similarities(four, count_vector(0, -1)); },
                              "the second partition set is empty");
    count_vector with_null(0, 1);
    with_null[0] = std::make_unique<count_array>(partition({0, 0, 1, 1}));
    expect_error<range_error>([&] { (void)partition_similarities(with_null, four); },
                              "partition 1 of the first set is null");
    expect_error<count_chars::size_error>(
        [&] { (void)partition_similarities(set_of({partition({0, 0, 1, 1}), partition({0, 1, 0})}), four); },
        "partition 1 of the first set has 3 taxa, not 4");
    expect_error<count_chars::size_error>(
        [&] { (void)partition_similarities(four, set_of({partition({0, 0, 1})})); },
        "partition 0 of the second set has 3 taxa, not 4");
    expect_error<range_error>(
        [&] { (void)partition_similarities(four, set_of({partition({0, 0, 1, 1}, 2)})); },
        "partition 0 of the second set starts at index 2, not 0");
    expect_error<range_error>([&] { (void)partition_similarities(set_of({partition({0})}), set_of({partition({0})})); },
                              "a single taxon has no pairs to compare partitions by");
    expect_error<range_error>(
        [&] { (void)partition_similarities(set_of({count_array()}), set_of({count_array()})); },
        "an empty partition has no measures");
    // Group numbers must run from 0: (1, 1, 2, 2) has 2 groups but number 2 is outside 0 .. 1.
    expect_error<range_error>(
        [&] { (void)partition_similarities(set_of({partition({1, 1, 2, 2})}), four); },
        "group number 2 of taxon 2 in the first partition is outside 0 .. 1");
}
