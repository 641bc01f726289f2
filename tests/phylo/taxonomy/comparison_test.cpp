#include <phylo/taxonomy/comparison.hpp>

#include <phylo/count_chars.hpp>
#include <phylo/taxonomy/group_numbers.hpp>
#include <phylo/taxonomy/single_linkage.hpp>
#include <phylo/taxonomy/slc_series.hpp>
#include <phylo/taxonomy/table.hpp>

#include "../../real_reference.hpp"
#include "../../test_support.hpp"

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <numeric>
#include <random>
#include <span>
#include <tuple>
#include <vector>

using namespace phylo;
using namespace phylo::taxonomy;
using test_support::expect_error;
using test_support::same_bits;

namespace {

using groups_t = std::vector<count_element>;

count_array partition(groups_t groups, index_type first = 0) {
    return count_array(first, std::move(groups));
}

// The six measures of association of x and y, bit for bit.
bool same_association(const auto& x, const auto& y) {
    return same_bits(x.chi_square, y.chi_square) && same_bits(x.g_statistic, y.g_statistic) &&
           same_bits(x.mutual_information, y.mutual_information) && same_bits(x.nmi, y.nmi) &&
           same_bits(x.rand, y.rand) && same_bits(x.adjusted_rand, y.adjusted_rand);
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
    const double emi = r.expected_mutual_information;
    EXPECT_NEAR(emi, expected_mi_by_definition({4, 1}, {3, 2}, 5), 1e-15);
    EXPECT_NEAR(r.ami, (mi - emi) / ((ha + hb) / 2 - emi), 1e-14);
}

TEST(Comparison, LimitValuesWhereAMeasureIsZeroOverZero) {
    const struct {
        const char* name;
        groups_t first, second;
        double nmi, ami, adjusted_rand, rand;
    } cases[] = {
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
            EXPECT_TRUE(r.ami == c.ami && r.adjusted_rand == c.adjusted_rand) << c.name;
            EXPECT_DOUBLE_EQ(r.rand, c.rand) << c.name;
            EXPECT_TRUE(r.variation_of_information >= 0 && r.chi_square >= 0) << c.name;
        }
    }
    // The entropy is measured as the MI is: a million singletons against themselves give an
    // NMI of exactly 1 (summing p ln p once gave 1.0000000000103697).
    count_array many(0, 999999);
    std::iota(many.begin(), many.end(), 0);
    const auto self = compare(many, many);
    EXPECT_TRUE(self.nmi == 1.0 && self.first_entropy == self.mutual_information);
    // Only the measure kept as partition_similarities gives it stays 0/0.
    EXPECT_TRUE(std::isnan(compare(partition({1, 1}), partition({0, 0})).mi_over_joint_entropy));
}

TEST(Comparison, SameBitsEveryWayTheMeasuresAreTaken) {
    std::mt19937 random(12);
    // Sizes and group counts that take each way of counting cells (dense, counted runs, sorted
    // pairs), sparse and dense tables, one-group and singleton sides.
    for (const auto& [n, ka, kb] :
         {std::tuple{200, 3, 5}, std::tuple{3000, 60, 80}, std::tuple{3000, 2000, 2500},
          std::tuple{2, 1, 2}, std::tuple{500, 6, 9}, std::tuple{300, 7, 4}, std::tuple{50, 50, 3},
          std::tuple{40, 1, 5}, std::tuple{2, 2, 2}}) {
        auto a = random_partition(random, n, ka);
        const auto b = random_partition(random, n, kb);
        const auto r = compare(a, b);
        const auto ma = partition_measures(a), mb = partition_measures(b);
        const auto joint = partitions_measures(a, b, n, n);
        EXPECT_TRUE(r.first_groups == ma.groups && r.first_pairs == ma.pairs &&
                    same_bits(r.first_entropy, ma.entropy));
        EXPECT_TRUE(r.second_groups == mb.groups && same_bits(r.second_entropy, mb.entropy));
        EXPECT_TRUE(r.joint_pairs == joint.pairs && same_bits(r.joint_entropy, joint.entropy)) << n;
        // partition_similarities needs numbers 0 .. groups - 1; these random ones may skip some.
        if ((ma.groups > 1 || mb.groups > 1) &&
            ma.groups == *std::max_element(a.begin(), a.end()) + 1 &&
            mb.groups == *std::max_element(b.begin(), b.end()) + 1) {
            count_vector first(0, 0), second(0, 0);
            first[0] = std::make_unique<count_array>(a);
            second[0] = std::make_unique<count_array>(b);
            const auto result = partition_similarities(first, second);
            const auto& row = *result[0];
            EXPECT_TRUE(same_bits(row[0], r.mi_over_joint_entropy) && same_bits(row[1], r.rand) &&
                        same_bits(row[2], r.adjusted_rand))
                << n;
        }
        // Cells strictly in row-major order, adding up to the margins.
        const auto table = contingency(a, b);
        const auto at = [](const contingency_cell& c) { return std::pair(c.row, c.column); };
        EXPECT_EQ(std::ranges::adjacent_find(table.cells, std::greater_equal<>{}, at),
                  table.cells.end());
        std::vector<std::int64_t> rows(table.row_sums.size()), columns(table.column_sums.size());
        for (const auto& c : table.cells) {
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
        // Numbers held elsewhere, 32- or 64-bit, the latter further apart than a signed 64-bit
        // difference holds.
        std::vector<std::int64_t> wide(a.begin(), a.end()), b64(b.begin(), b.end());
        for (auto& g : wide)
            g = g == 0 ? std::numeric_limits<std::int64_t>::min() : g * (std::int64_t{1} << 40);
        for (const auto& w : {compare(std::span<const std::int32_t>(a.span()), b.span()),
                              compare(std::span<const std::int64_t>(wide), b64)})
            EXPECT_TRUE(same_association(w, r) && same_bits(w.ami, r.ami)) << n;
        // A permutation test's loop: reshuffle one side, rebuild the cells, reuse the margins (as
        // compare(table, margins) and association_measurer do).
        contingency_table reshuffled = table;
        const auto margins = measure_margins(table);
        const association_measurer measure(table);
        for (int round = 0; round < 4; ++round) {
            std::shuffle(a.begin(), a.end(), random);
            contingency(a, b, reshuffled);
            const auto full = compare(a, b);
            for (const auto& quick : {compare(reshuffled, margins), compare(reshuffled)})
                EXPECT_TRUE(same_association(quick, full) && same_bits(quick.ami, full.ami));
            std::vector<std::uint32_t> dense(table.row_sums.size() * table.column_sums.size(), 0);
            for (const auto& cell : reshuffled.cells)
                dense[static_cast<std::size_t>(cell.row) * table.column_sums.size() +
                      static_cast<std::size_t>(cell.column)] =
                    static_cast<std::uint32_t>(cell.count);
            for (const auto& quick : {measure(reshuffled.cells), measure.dense(dense)})
                EXPECT_TRUE(same_association(quick, full)) << n << " " << ka << " " << kb;
        }
    }
    // A table and margins that do not belong together are refused.
    const auto three = contingency(partition({0, 1, 1}), partition({0, 0, 1}));
    const auto two_by_one = measure_margins(contingency(partition({0, 1}), partition({0, 0})));
    const association_measurer measure(three);
    const std::vector<contingency_cell> too_many = {{0, 0, 3}};
    contingency_table broken = contingency(partition({0, 1}), partition({0, 1})), margins = broken;
    broken.cells[0].count = 2;
    margins.row_sums[0] = 5;
    const std::pair<std::function<void()>, const char*> errors[] = {
        {[&] { (void)compare(three, two_by_one); }, "the margin measures are of 2 x 1 groups"},
        {[&] { (void)compare(broken); }, "the cells of a contingency table hold 3 taxa, not 2"},
        {[&] { (void)measure.dense(std::vector<std::uint32_t>(3)); },
         "3 counts for a 2 x 2 contingency table"},
        {[&] { (void)measure(too_many); }, "cell (0, 0) of 3 taxa does not fit the margins"},
        {[&] { (void)measure_margins(margins); }, "hold 6 taxa, not 2"},
    };
    for (const auto& [f, message] : errors) expect_error<range_error>(f, message);
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
    const auto p01 = partition({0, 1}), p0 = partition({0}), from1 = partition({0, 1}, 1);
    const taxon_labels a(0, {"a"}), ab(0, {"a", "b"});
    const std::pair<std::function<void()>, const char*> range_errors[] = {
        {[&] { (void)column_groups(table, 3); },
         "field 3 is beyond row 0, whose fields are 0 .. 2"},
        {[] { (void)compare(count_array(0, -1), count_array(0, -1)); },
         "empty partitions cannot be compared"},
        {[&] { (void)compare(from1, p01); }, "the partitions start at indices 1 and 0"},
    };
    for (const auto& [f, message] : range_errors) expect_error<range_error>(f, message);
    const std::pair<std::function<void()>, const char*> size_errors[] = {
        {[&] { (void)compare(a, ab); }, "label columns of 1 and 2 taxa cannot be compared"},
        {[&] { (void)compare(p01, p0); }, "partitions of 2 and 1 taxa cannot be compared"},
    };
    for (const auto& [f, message] : size_errors) expect_error<count_chars::size_error>(f, message);
}

TEST(SingleLinkage, OneThresholdAndSeriesFromAMatrix) {
    // Four taxa on a line at 0, 1, 3, 7: the gaps are 1, 2 and 4.
    const std::vector<double> at = {0, 1, 3, 7};
    real_matrix d(0, 3, 0, 3);
    for (index_type i = 0; i < 4; ++i)
        for (index_type j = 0; j < 4; ++j)
            d(i, j) = std::abs(at[static_cast<std::size_t>(i)] - at[static_cast<std::size_t>(j)]);
    const std::pair<double, groups_t> cuts[] = {{0.5, {0, 1, 2, 3}},
                                                {1.0, {0, 0, 1, 2}},
                                                {2.0, {0, 0, 0, 1}},
                                                {3.0, {0, 0, 0, 1}},
                                                {4.0, {0, 0, 0, 0}}};
    for (const auto& [threshold, groups] : cuts)
        EXPECT_EQ(single_linkage(d, threshold), partition(groups)) << threshold;
    // A series over the thresholds 1, 2 and 3.
    const auto series = single_linkage_series(d, 1.0, 1.0, 3);
    ASSERT_EQ(series.length(), 3);
    for (index_type k = 0; k < 3; ++k) EXPECT_EQ(*series[k], partition(cuts[k + 1].second)) << k;
    // From a pair list over taxa 0 .. 3.
    EXPECT_EQ(single_linkage(squared_to_pairwise(d), 0, 3, 3.0), partition({0, 0, 0, 1}));
    expect_error<range_error>([&] { (void)single_linkage_series(d, 0, 1, 0); },
                              "a series of 0 thresholds has no rows");
    expect_error<range_error>([&] { (void)single_linkage(d, -1.0); }, "the start threshold is -1");
    // One triangle alone would decide an asymmetric matrix, and NaN would be no link: refused,
    // a difference within 1e-9 of the larger value let through.
    d(0, 1) *= 1 - 1e-10;
    EXPECT_EQ(single_linkage(d, 1.0), partition({0, 0, 1, 2}));
    d(0, 1) = 1.5;
    expect_error<range_error>([&] { (void)single_linkage_series(d, 1.0, 1.0, 3); },
                              "not symmetric: from taxon 0 to taxon 1 is 1.5, back is 1");
    d(0, 1) = d(1, 0) = std::numeric_limits<double>::quiet_NaN();
    expect_error<range_error>([&] { (void)single_linkage(d, 1.0); },
                              "the distance between taxon 0 and taxon 1 is not a number");
}
