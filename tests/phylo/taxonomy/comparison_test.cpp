#include <phylo/taxonomy/comparison.hpp>

#include <phylo/count_chars.hpp>
#include <phylo/taxonomy/group_numbers.hpp>
#include <phylo/taxonomy/single_linkage.hpp>
#include <phylo/taxonomy/slc_series.hpp>
#include <phylo/taxonomy/table.hpp>

#include "../../test_support.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using namespace phylo;
using namespace phylo::taxonomy;

namespace {

using test_support::expect_error;
using groups_t = std::vector<count_element>;

count_array partition(groups_t groups, index_type first = 0) {
    return count_array(first, std::move(groups));
}

bool same_bits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

count_array random_partition(std::mt19937& random, int n, int k) {
    count_array p(0, n - 1);
    for (auto& g : p) g = static_cast<count_element>(random() % static_cast<unsigned>(k));
    return p;
}

// E[MI] summed over every count of every cell with std::lgamma: the definition, slowly.
double expected_mi_by_definition(const std::vector<std::int64_t>& a,
                                 const std::vector<std::int64_t>& b, std::int64_t n) {
    const auto lf = [](std::int64_t k) { return std::lgamma(static_cast<double>(k) + 1); };
    const double nd = static_cast<double>(n);
    double emi = 0;
    for (const auto ai : a)
        for (const auto bj : b)
            for (std::int64_t k = std::max<std::int64_t>(1, ai + bj - n); k <= std::min(ai, bj);
                 ++k)
                emi += static_cast<double>(k) / nd *
                       std::log(nd * static_cast<double>(k) / static_cast<double>(ai * bj)) *
                       std::exp(lf(ai) + lf(bj) + lf(n - ai) + lf(n - bj) - lf(n) - lf(k) -
                                lf(ai - k) - lf(bj - k) - lf(n - ai - bj + k));
    return emi;
}

} // namespace

TEST(Comparison, WorkedExample) {
    // (0,0,0,0,1) against (0,0,0,1,1): cells 3, 1, 1 at (0,0), (0,1), (1,1).
    const auto r = compare(partition({0, 0, 0, 0, 1}), partition({0, 0, 0, 1, 1}));
    const double mi =
        0.6 * std::log(5.0 * 3 / 12) + 0.2 * std::log(5.0 / 8) + 0.2 * std::log(5.0 / 2);
    const double ha = -(0.8 * std::log(0.8) + 0.2 * std::log(0.2));
    const double hb = -(0.6 * std::log(0.6) + 0.4 * std::log(0.4));
    EXPECT_TRUE(r.taxa == 5 && r.first_groups == 2 && r.second_groups == 2 && r.cells == 3);
    EXPECT_TRUE(r.first_pairs == 6 && r.second_pairs == 4 && r.joint_pairs == 3);
    EXPECT_NEAR(r.mutual_information, mi, 1e-15);
    EXPECT_NEAR(r.nmi, mi / ((ha + hb) / 2), 1e-15);
    EXPECT_NEAR(r.nmi_geometric, mi / std::sqrt(ha * hb), 1e-15);
    EXPECT_NEAR(r.nmi_min, mi / ha, 1e-15);
    EXPECT_NEAR(r.nmi_max, mi / hb, 1e-15);
    EXPECT_NEAR(r.variation_of_information, ha + hb - 2 * mi, 1e-15);
    EXPECT_NEAR(r.mi_over_joint_entropy, 0.234821, 1e-6);
    EXPECT_DOUBLE_EQ(r.rand, 0.6);
    EXPECT_DOUBLE_EQ(r.adjusted_rand, 0.6 / 2.6);
    EXPECT_NEAR(r.g_statistic, 2 * 5 * mi, 1e-14);
    // Expected counts 2.4, 1.6, 0.6, 0.4 against 3, 1, 0, 1.
    EXPECT_NEAR(r.chi_square, 0.36 / 2.4 + 0.36 / 1.6 + 0.36 / 0.6 + 0.36 / 0.4, 1e-14);
    // E[MI]: the first group of 4 meets the second group of 3 in 2 or 3 taxa (hypergeometric).
    EXPECT_NEAR(r.expected_mutual_information, expected_mi_by_definition({4, 1}, {3, 2}, 5), 1e-15);
    EXPECT_NEAR(r.ami,
                (mi - r.expected_mutual_information) /
                    ((ha + hb) / 2 - r.expected_mutual_information),
                1e-14);
}

TEST(Comparison, LimitValuesWhereAMeasureIsZeroOverZero) {
    struct limit_case {
        const char* name;
        groups_t first, second;
        double nmi, ami, adjusted_rand, rand;
    };
    const std::vector<limit_case> cases = {
        {"both one group", {4, 4, 4}, {0, 0, 0}, 1, 1, 1, 1},
        {"one taxon", {0}, {7}, 1, 1, 1, 1},
        {"both all singletons", {0, 1, 2, 3}, {3, 2, 1, 0}, 1, 1, 1, 1},
        {"two singletons", {0, 1}, {0, 1}, 1, 1, 1, 1},
        {"one group against singletons", {0, 0, 0, 0}, {0, 1, 2, 3}, 0, 0, 0, 0},
        {"one group against two", {0, 0, 0, 0}, {0, 0, 1, 1}, 0, 0, 0, 1.0 / 3},
    };
    for (const auto& c : cases) {
        for (const bool swapped : {false, true}) {
            const auto r = swapped ? compare(partition(c.second), partition(c.first))
                                   : compare(partition(c.first), partition(c.second));
            for (const double nmi : {r.nmi, r.nmi_geometric, r.nmi_min, r.nmi_max})
                EXPECT_EQ(nmi, c.nmi) << c.name;
            EXPECT_EQ(r.ami, c.ami) << c.name;
            EXPECT_EQ(r.adjusted_rand, c.adjusted_rand) << c.name;
            EXPECT_DOUBLE_EQ(r.rand, c.rand) << c.name;
            EXPECT_GE(r.variation_of_information, 0.0) << c.name;
            EXPECT_GE(r.chi_square, 0.0) << c.name;
        }
    }
    // Only the measure kept as partition_similarities gives it stays 0/0.
    EXPECT_TRUE(std::isnan(compare(partition({1, 1}), partition({0, 0})).mi_over_joint_entropy));
}

TEST(Comparison, SameBitsAsThePartitionMeasuresAndAnyNumbering) {
    std::mt19937 random(12);
    // Sizes and group counts that take each way of counting cells: dense, counted runs, sorted
    // pairs.
    for (const auto& [n, ka, kb] : {std::tuple{200, 3, 5}, std::tuple{3000, 60, 80},
                                    std::tuple{3000, 2000, 2500}, std::tuple{2, 1, 2}}) {
        const auto a = random_partition(random, n, ka);
        const auto b = random_partition(random, n, kb);
        const auto r = compare(a, b);
        const auto ma = partition_measures(a);
        const auto mb = partition_measures(b);
        const auto table = contingency(a, b);
        const auto joint =
            partitions_measures(a, b, static_cast<std::int32_t>(n), static_cast<std::int32_t>(n));
        EXPECT_TRUE(r.first_groups == ma.groups && r.first_pairs == ma.pairs &&
                    same_bits(r.first_entropy, ma.entropy));
        EXPECT_TRUE(r.second_groups == mb.groups && same_bits(r.second_entropy, mb.entropy));
        EXPECT_TRUE(r.joint_pairs == joint.pairs && same_bits(r.joint_entropy, joint.entropy)) << n;
        if (ma.groups > 1 || mb.groups > 1) {
            count_vector first(0, 0), second(0, 0);
            first[0] = std::make_unique<count_array>(a);
            second[0] = std::make_unique<count_array>(b);
            // partition_similarities needs numbers 0 .. groups - 1; these random ones may skip
            // some.
            if (ma.groups == *std::max_element(a.begin(), a.end()) + 1 &&
                mb.groups == *std::max_element(b.begin(), b.end()) + 1) {
                const auto row = partition_similarities(first, second);
                EXPECT_TRUE(same_bits((*row[0])[0], r.mi_over_joint_entropy) &&
                            same_bits((*row[0])[1], r.rand) &&
                            same_bits((*row[0])[2], r.adjusted_rand))
                    << n;
            }
        }
        // Cells in row-major order, adding up to the margins.
        std::vector<std::int64_t> rows(table.row_sums.size()), columns(table.column_sums.size());
        for (std::size_t i = 0; i < table.cells.size(); ++i) {
            const auto& c = table.cells[i];
            if (i > 0) {
                EXPECT_LT(std::pair(table.cells[i - 1].row, table.cells[i - 1].column),
                          std::pair(c.row, c.column));
            }
            rows[static_cast<std::size_t>(c.row)] += c.count;
            columns[static_cast<std::size_t>(c.column)] += c.count;
        }
        EXPECT_TRUE(rows == table.row_sums && columns == table.column_sums);
        // Any numbering with the same order of groups gives the same bits: far apart, negative,
        // shifted.
        count_array spread = a;
        for (auto& g : spread) g = g * 1000003 - 1000000000;
        const auto s = compare(spread, b);
        EXPECT_TRUE(same_bits(s.ami, r.ami) && same_bits(s.chi_square, r.chi_square) &&
                    same_bits(s.nmi, r.nmi));
    }
}

TEST(Comparison, ExpectedMutualInformationIsTheWholeSum) {
    // Against the term-by-term definition, on tables whose counts spread widely or hardly at all.
    // Both take differences of ln k! near ln n! (about 5,900 at n = 1000, an ulp of 1e-12).
    std::mt19937 random(3);
    for (const auto& [n, ka, kb] :
         {std::tuple{40, 3, 4}, std::tuple{300, 2, 2}, std::tuple{500, 25, 30},
          std::tuple{60, 59, 3}, std::tuple{1000, 7, 300}}) {
        const auto table =
            contingency(random_partition(random, n, ka), random_partition(random, n, kb));
        const double exact = expected_mi_by_definition(table.row_sums, table.column_sums, n);
        EXPECT_NEAR(measure_margins(table).expected_mutual_information, exact,
                    1e-11 * std::max(1.0, exact))
            << n;
    }
    // Expected MI of 1,000 x 1,000 groups of 10^6 taxa: quick, and below MI's bound.
    std::vector<std::int64_t> sizes(1000, 1000);
    const contingency_table big{1000000, sizes, sizes, {}};
    const double e = measure_margins(big).expected_mutual_information;
    EXPECT_TRUE(e > 0 && e < std::log(1000.0)) << e;
    EXPECT_EQ(measure_margins(big, false).expected_mutual_information, 0.0);
}

TEST(Comparison, CellsRebuiltWithMarginsMeasuredOnce) {
    // A permutation test's loop: reshuffle one side, rebuild the cells, reuse the margins.
    std::mt19937 random(8);
    auto a = random_partition(random, 500, 6);
    const auto b = random_partition(random, 500, 9);
    contingency_table table = contingency(a, b);
    const auto margins = measure_margins(table);
    for (int round = 0; round < 5; ++round) {
        std::shuffle(a.begin(), a.end(), random);
        contingency(a, b, table);
        const auto quick = compare(table, margins);
        const auto full = compare(a, b);
        EXPECT_TRUE(same_bits(quick.ami, full.ami) &&
                    same_bits(quick.g_statistic, full.g_statistic) &&
                    same_bits(quick.chi_square, full.chi_square));
    }
    // A table and margins that do not belong together are refused.
    const auto other = measure_margins(contingency(partition({0, 1}), partition({0, 0})));
    expect_error<range_error>([&] { (void)compare(table, other); },
                              "the margin measures are of 2 x 1 groups");
    contingency_table broken = contingency(partition({0, 1}), partition({0, 1}));
    broken.cells[0].count = 2;
    expect_error<range_error>([&] { (void)compare(broken); },
                              "the cells of a contingency table hold 3 taxa, not 2");
    broken.row_sums[0] = 5;
    expect_error<range_error>([&] { (void)measure_margins(broken); }, "hold 6 taxa, not 2");
}

TEST(Comparison, AssociationMeasurerGivesTheBitsOfCompare) {
    // Sparse and dense tables of many reshuffles, including one-group and singleton sides.
    std::mt19937 random(21);
    for (const auto& [n, ka, kb] : {std::tuple{300, 7, 4}, std::tuple{50, 50, 3},
                                    std::tuple{40, 1, 5}, std::tuple{2, 2, 2}}) {
        auto a = random_partition(random, n, ka);
        const auto b = random_partition(random, n, kb);
        contingency_table table = contingency(a, b);
        const association_measurer measure(table);
        for (int round = 0; round < 4; ++round) {
            std::shuffle(a.begin(), a.end(), random);
            contingency(a, b, table);
            const auto full = compare(table);
            std::vector<std::uint32_t> dense(table.row_sums.size() * table.column_sums.size(), 0);
            for (const auto& cell : table.cells)
                dense[static_cast<std::size_t>(cell.row) * table.column_sums.size() +
                      static_cast<std::size_t>(cell.column)] =
                    static_cast<std::uint32_t>(cell.count);
            for (const auto& quick : {measure(table.cells), measure.dense(dense)})
                EXPECT_TRUE(same_bits(quick.chi_square, full.chi_square) &&
                            same_bits(quick.g_statistic, full.g_statistic) &&
                            same_bits(quick.mutual_information, full.mutual_information) &&
                            same_bits(quick.nmi, full.nmi) && same_bits(quick.rand, full.rand) &&
                            same_bits(quick.adjusted_rand, full.adjusted_rand))
                    << n << " " << ka << " " << kb;
        }
    }
    const association_measurer measure(contingency(partition({0, 1, 1}), partition({0, 0, 1})));
    expect_error<range_error>([&] { (void)measure.dense(std::vector<std::uint32_t>(3)); },
                              "3 counts for a 2 x 2 contingency table");
    expect_error<range_error>(
        [&] {
            (void)measure(std::vector<contingency_cell>{{0, 0, 3}});
        },
        "cell (0, 0) of 3 taxa does not fit the margins");
}

TEST(Comparison, LabelColumnsAndTableColumns) {
    std::istringstream text(
        "t1\tMuridae\tRodentia\nt2\tMuridae\tRodentia\nt3\tSoricidae\tEulipotyphla\n"
        "t4\tTalpidae\tEulipotyphla\nt5\tCricetidae\tRodentia\n");
    const auto table = get(text, '\t', "t.tsv");
    const auto families = column_groups(table, 1);
    EXPECT_EQ(families, partition({0, 0, 1, 2, 3}));
    EXPECT_EQ(column_groups(table, 2), partition({0, 0, 1, 1, 0}));
    const auto by_numbers = compare(families, column_groups(table, 2));
    const auto by_labels = compare(group_names::extract(table, 1), group_names::extract(table, 2));
    EXPECT_TRUE(same_bits(by_numbers.ami, by_labels.ami) &&
                same_bits(by_numbers.nmi, by_labels.nmi));
    EXPECT_EQ(by_labels.adjusted_rand, by_numbers.adjusted_rand);
    // Case matters; numbering follows first occurrence along the list.
    EXPECT_EQ(group_numbers(taxon_labels(3, {"b", "B", "b", "a"})), partition({0, 1, 0, 2}, 3));
    expect_error<range_error>([&] { (void)column_groups(table, 3); },
                              "field 3 is beyond row 0, whose fields are 0 .. 2");
    expect_error<count_chars::size_error>(
        [] {
            (void)compare(taxon_labels(0, {"a"}), taxon_labels(0, {"a", "b"}));
        },
        "label columns of 1 and 2 taxa cannot be compared");
}

TEST(Comparison, Errors) {
    expect_error<count_chars::size_error>(
        [] {
            (void)compare(partition({0, 1}), partition({0}));
        },
        "partitions of 2 and 1 taxa cannot be compared");
    expect_error<range_error>([] { (void)compare(count_array(0, -1), count_array(0, -1)); },
                              "empty partitions cannot be compared");
    expect_error<range_error>(
        [] {
            (void)compare(partition({0, 1}, 1), partition({0, 1}, 0));
        },
        "the partitions start at indices 1 and 0");
}

TEST(SingleLinkage, OneThresholdAndSeriesFromAMatrix) {
    // Four taxa on a line at 0, 1, 3, 7: the gaps are 1, 2 and 4.
    const std::vector<double> at = {0, 1, 3, 7};
    real_matrix d(0, 3, 0, 3);
    for (index_type i = 0; i < 4; ++i)
        for (index_type j = 0; j < 4; ++j)
            d(i, j) = std::abs(at[static_cast<std::size_t>(i)] - at[static_cast<std::size_t>(j)]);
    EXPECT_EQ(single_linkage(d, 0.5), partition({0, 1, 2, 3}));
    EXPECT_EQ(single_linkage(d, 1.0), partition({0, 0, 1, 2}));
    EXPECT_EQ(single_linkage(d, 2.0), partition({0, 0, 0, 1}));
    EXPECT_EQ(single_linkage(d, 4.0), partition({0, 0, 0, 0}));
    const auto series = single_linkage_series(d, 1.0, 1.0, 3);
    ASSERT_EQ(series.length(), 3);
    EXPECT_EQ(*series[0], partition({0, 0, 1, 2}));
    EXPECT_EQ(*series[1], partition({0, 0, 0, 1}));
    EXPECT_EQ(*series[2], partition({0, 0, 0, 1}));
    // From a pair list over taxa 0 .. 3.
    EXPECT_EQ(single_linkage(squared_to_pairwise(d), 0, 3, 3.0), partition({0, 0, 0, 1}));
    expect_error<range_error>([&] { (void)single_linkage_series(d, 0, 1, 0); },
                              "a series of 0 thresholds has no rows");
    expect_error<range_error>([&] { (void)single_linkage(d, -1.0); }, "the start threshold is -1");
}
