#include <phylo/taxonomy/partitions.hpp>

#include <phylo/count_chars.hpp>

#include "../../real_reference.hpp"
#include "../../test_support.hpp"

#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <random>
#include <utility>
#include <vector>

using namespace phylo;
using namespace phylo::taxonomy;

namespace {

using test_support::expect_error;
using test_support::same_bits;

using groups_t = std::vector<count_element>;

count_array partition(groups_t groups, index_type first = 0) {
    return count_array(first, std::move(groups));
}

count_vector set_of(std::vector<count_array> partitions, index_type first = 0) {
    count_vector set(first, first + static_cast<index_type>(partitions.size()) - 1);
    for (std::size_t i = 0; i < partitions.size(); ++i)
        set[first + static_cast<index_type>(i)] =
            std::make_unique<count_array>(std::move(partitions[i]));
    return set;
}

// k groups, each used (as similarities require): taxon i < k is in group i, the others anywhere.
count_array random_partition(std::mt19937& random, int n, int k) {
    count_array p(0, n - 1);
    for (index_type i = 0; i < n; ++i)
        p[i] = i < k ? i : static_cast<count_element>(random() % static_cast<unsigned>(k));
    return p;
}

// The one result row of comparing a with b.
std::vector<double> compare(const count_array& a, const count_array& b) {
    const auto result = partition_similarities(set_of({a}), set_of({b}));
    return {result[0]->begin(), result[0]->end()};
}

} // namespace

TEST(PartitionMeasures, ExactAtAnySizeAndForAnyNumbers) {
    const auto m = partition_measures(partition({7, 2, 7}, 4)); // any numbers, from any first index
    EXPECT_TRUE(m.groups == 2 && m.pairs == 1);
    EXPECT_DOUBLE_EQ(m.entropy, -(2.0 / 3 * std::log(2.0 / 3) + 1.0 / 3 * std::log(1.0 / 3)));
    // Far-apart numbers are sorted, close ones counted: same bits, caller's array unchanged.
    const auto sparse =
        partition({1000000000, 0, 500000000, 1000000000, 1000000000, 0, 1500000000});
    const auto copy = sparse;
    const auto a = partition_measures(partition({2, 0, 1, 2, 2, 0, 3}));
    const auto b = partition_measures(sparse);
    EXPECT_TRUE(a.groups == b.groups && a.pairs == b.pairs && same_bits(a.entropy, b.entropy));
    EXPECT_EQ(sparse, copy);
    // 65,537 taxa in one group: more pairs than 32 bits hold.
    EXPECT_EQ(partition_measures(partition(groups_t(65537, 0))).pairs,
              std::int64_t{65537} * 65536 / 2);
    // One group, or all singletons, against itself: zero denominators give not-a-number, not an
    // error.
    for (const int n : {3, 49, 98, 103}) { // c * (1 / n) misses 1 at these sizes; c / n does not
        const auto one = partition(groups_t(static_cast<std::size_t>(n), 0));
        EXPECT_TRUE(same_bits(partition_measures(one).entropy, 0.0)) << n;
        const auto row = compare(one, one);
        EXPECT_TRUE(std::isnan(row[0]) && row[1] == 1.0 && std::isnan(row[2])) << n;
    }
    const auto row = compare(partition({0, 1, 2, 3, 4}), partition({0, 1, 2, 3, 4}));
    EXPECT_TRUE(row[0] == 1.0 && row[1] == 1.0 && std::isnan(row[2]));
}

TEST(PartitionSimilarities, WorkedExamples) {
    // Rows over the first set's bounds, 3 values per partition of the second set.
    const auto result =
        partition_similarities(set_of({partition({0, 0, 1, 1}), partition({0, 1, 2, 0})}, 3),
                               set_of({partition({0, 0, 1, 1}), partition({0, 1, 0, 1})}, 7));
    ASSERT_TRUE(result.first() == 3 && result.last() == 4 && result[4]->first() == 0 &&
                result[4]->length() == 6);
    // Identical partitions agree fully; crossed ones: Rand 1/3, adjusted (0 - 2/3) / (2 - 2/3).
    EXPECT_EQ(std::vector<double>(result[3]->begin(), result[3]->end()),
              (std::vector<double>{1, 1, 1, (2 * std::log(2.0) - std::log(4.0)) / std::log(4.0),
                                   1.0 / 3.0, -0.5}));
    // Entropies ln 3 and ln 4, joint entropy above 1: compared, not refused.
    for (const double x :
         compare(partition({0, 0, 1, 1, 2, 2, 0, 1}), partition({0, 1, 2, 3, 0, 1, 2, 3})))
        EXPECT_TRUE(std::isfinite(x));
}

TEST(PartitionSimilarities, AgreeWithStraightforwardComputations) {
    std::mt19937 random(5);
    for (int trial = 0; trial < 12; ++trial) {
        const int n = trial == 0 ? 2000 : 2 + static_cast<int>(random() % 300);
        const auto a = random_partition(random, n, 1 + static_cast<int>(random() % 12));
        const auto b = random_partition(random, n, 1 + static_cast<int>(random() % 40));
        // Contingency cells in row-major order: the joint measures match them bit for bit
        // whatever table is used, dense, counted runs (wide) or sorted pairs (huge).
        std::map<std::pair<int, int>, std::int64_t> cells;
        std::map<int, long double> pa, pb;
        for (index_type k = 0; k < n; ++k) {
            ++cells[{a[k], b[k]}];
            pa[a[k]] += 1.0L / n;
            pb[b[k]] += 1.0L / n;
        }
        joint_measures joint{0, 0.0};
        double sum_c_log_c = 0; // the entropy is (n ln n - sum c ln c) / n, as the MI is measured
        long double information = 0, joint_entropy = 0; // from probabilities, not from entropies
        for (const auto& [cell, c] : cells) {
            joint.pairs += c * (c - 1) / 2;
            sum_c_log_c += static_cast<double>(c) * std::log(static_cast<double>(c));
            const long double q = static_cast<long double>(c) / n;
            information += q * std::log(q / (pa[cell.first] * pb[cell.second]));
            joint_entropy -= q * std::log(q);
        }
        joint.entropy = (n * std::log(static_cast<double>(n)) - sum_c_log_c) / n;
        const std::int32_t ga = partition_measures(a).groups, gb = partition_measures(b).groups;
        for (const auto& [na, nb] :
             {std::pair{ga, gb}, std::pair{ga, 4 * n + 4000}, std::pair{2147483647, 2147483647}}) {
            const auto m = partitions_measures(a, b, na, nb);
            EXPECT_TRUE(m.pairs == joint.pairs && same_bits(m.entropy, joint.entropy))
                << n << ": " << na << " x " << nb;
        }
        // The Rand indices from pair-by-pair counting.
        long double in_a = 0, in_b = 0, in_both = 0;
        for (index_type i = 0; i < n; ++i)
            for (index_type j = i + 1; j < n; ++j) {
                in_a += a[i] == a[j];
                in_b += b[i] == b[j];
                in_both += a[i] == a[j] && b[i] == b[j];
            }
        const long double pairs = static_cast<long double>(n) * (n - 1) / 2,
                          expected_index = in_a * in_b / pairs;
        const auto adjusted =
            static_cast<double>((in_both - expected_index) / ((in_a + in_b) / 2 - expected_index));
        const auto row = compare(a, b);
        EXPECT_EQ(partition_measures(a).pairs, static_cast<std::int64_t>(in_a)) << trial;
        EXPECT_NEAR(row[1], static_cast<double>((pairs - in_a - in_b + 2 * in_both) / pairs), 1e-12)
            << trial;
        EXPECT_TRUE(std::isnan(adjusted) ? std::isnan(row[2]) : std::abs(row[2] - adjusted) < 1e-12)
            << trial;
        EXPECT_TRUE(joint_entropy == 0
                        ? std::isnan(row[0])
                        : std::abs(row[0] - static_cast<double>(information / joint_entropy)) <
                              1e-12)
            << trial;
    }
    // 70,000 taxa, one group against two halves: N and P(A) beyond 32 bits, adjusted Rand exactly
    // 0.
    groups_t halves(70000, 0);
    std::fill(halves.begin() + 35000, halves.end(), 1);
    const auto large = compare(partition(groups_t(70000, 0)), partition(halves));
    EXPECT_NEAR(large[1], 1.0 - 2.0 * 35000 * 35000 / (70000.0 * 69999), 1e-15);
    EXPECT_EQ(large[2], 0.0);
}

TEST(Partitions, ErrorsNameTheOffendingValue) {
    const auto four = partition({0, 0, 1, 1}), three = partition({0, 1, 0});
    const auto negative = partition({0, -1}), zeros = partition({0, 0});
    const auto set = set_of({four}), one = set_of({partition({0})});
    const auto skipping = set_of({partition({0, 0, 2, 2})}), short_set = set_of({three});
    const auto shifted = set_of({partition({0, 0, 1, 1}, 2)});
    count_vector with_null(0, 1);
    with_null[0] = std::make_unique<count_array>(four);
    const std::pair<std::function<void()>, const char*> range_errors[] = {
        {[] { (void)partition_measures(count_array(0, -1)); },
         "an empty partition has no measures"},
        {[&] { (void)partitions_measures(negative, zeros, 2, 1); },
         "group number -1 of taxon 1 in the first partition is outside 0 .. 1"},
        {[&] { (void)partition_similarities(with_null, set); },
         "partition 1 of the first set is null"},
        {[&] { (void)partition_similarities(set, shifted); },
         "partition 0 of the second set starts at index 2, not 0"},
        {[&] { (void)partition_similarities(one, one); },
         "a single taxon has no pairs to compare partitions by"},
        // Group numbers must run from 0: (0, 0, 2, 2) has 2 groups, so 2 is outside 0 .. 1.
        {[&] { (void)partition_similarities(set, skipping); },
         "group number 2 of taxon 2 in the second partition is outside 0 .. 1"},
    };
    for (const auto& [f, message] : range_errors) expect_error<range_error>(f, message);
    const std::pair<std::function<void()>, const char*> size_errors[] = {
        {[&] { (void)partitions_measures(four, three, 2, 2); },
         "partitions of 4 and 3 taxa cannot be compared"},
        {[&] { (void)partition_similarities(set, short_set); },
         "partition 0 of the second set has 3 taxa, not 4"},
    };
    for (const auto& [f, message] : size_errors) expect_error<count_chars::size_error>(f, message);
}
