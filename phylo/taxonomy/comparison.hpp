#pragma once
// Comparing two partitions of the same taxa in one call, with the measures papers report.
//
//     const auto table = phylo::taxonomy::get(file, '\t', "t.tsv");    // one row per taxon
//     const auto r = phylo::taxonomy::compare(phylo::taxonomy::column_groups(table, 1),
//                                             phylo::taxonomy::column_groups(table, 2));
//     std::cout << r.adjusted_rand << ' ' << r.nmi << ' ' << r.ami << '\n';
//
// The comparison has two layers, both public:
//  1. `contingency`: the sparse contingency table of two partitions (group sizes of each, the
//     non-empty cells, n), built in O(n) time and memory, never as a dense table;
//  2. `compare(table)`: every measure from such a table. The measures that depend only on the
//     margins (the entropies of each partition, its pairs, the expected mutual information) are
//     `margin_measures`, which `compare(table, margins)` takes ready-made. A permutation test,
//     whose reshuffles keep the margins, measures them once and then rebuilds only the cells.
//
// Definitions, with n taxa, a_i and b_j taxa in group i of the first and j of the second
// partition, n_ij in both, H the entropies (natural logarithms, p = c / n) and N = n(n - 1)/2:
//   mutual_information     MI = sum n_ij/n ln(n n_ij / (a_i b_j))
//   nmi, nmi_geometric, nmi_min, nmi_max
//                          MI over the arithmetic mean, geometric mean, minimum, maximum of
//                          H(A) and H(B)
//   expected_mutual_information
//                          E[MI] over all tables with these margins (hypergeometric cells)
//   ami                    (MI - E[MI]) / ((H(A) + H(B))/2 - E[MI])
//   variation_of_information  H(A) + H(B) - 2 MI
//   mi_over_joint_entropy  (H(A) + H(B) - H(A,B)) / H(A,B), as partition_similarities gives it
//   rand, adjusted_rand    as partition_similarities gives them
//   chi_square             Pearson's X^2 = sum (n_ij - E_ij)^2 / E_ij over all cells, E_ij = a_i
//   b_j / n g_statistic            G = 2 sum n_ij ln(n_ij / E_ij) = 2 n MI
// The values equal scikit-learn's (rand_score, adjusted_rand_score, mutual_info_score,
// normalized_mutual_info_score with each average_method, adjusted_mutual_info_score) within
// 1e-10, including where a measure is 0/0 and a limit value is given instead:
//  - both partitions one group (n = 1 included): nmi (every form) and ami are 1, as for any
//    two equal partitions; rand and adjusted_rand are 1;
//  - both all singletons (n >= 2): adjusted_rand is 1 and ami is 1, equal partitions again.
//    (scikit-learn's ami there divides a rounding residue by its floor of 2.2e-16 and gives
//    1.0 for most n but 0.0 for n = 2; labmix gives 1 for every n);
//  - one partition one group, the other not: MI is 0, so every nmi form and ami are 0 (their
//    normaliser may be 0 too; no agreement is measured, so the limit is 0);
//  - n = 1: rand is 1 (there is no pair to disagree on).
// mi_over_joint_entropy stays not-a-number when H(A,B) = 0, as in partition_similarities.
// Where (H(A)+H(B))/2 - E[MI] is not 0 but rounds to within 2.2e-16 of it, the denominator is
// held at +-2.2e-16 (sign kept), as scikit-learn does.

#include <phylo/core.hpp>
#include <phylo/taxonomy/partitions.hpp>

#include <cstdint>
#include <span>
#include <vector>

namespace phylo::taxonomy {

// One non-empty cell: `count` taxa are in group `row` of the first partition and `column` of
// the second (groups numbered from 0 as in row_sums and column_sums).
struct contingency_cell {
    std::int32_t row;
    std::int32_t column;
    std::int64_t count;
};

// The contingency table of two partitions of n taxa, sparse. Groups of each partition are
// numbered 0 .. groups - 1 in increasing order of their group numbers.
struct contingency_table {
    std::int64_t n = 0;
    std::vector<std::int64_t> row_sums;    // taxa in each group of the first partition
    std::vector<std::int64_t> column_sums; // taxa in each group of the second partition
    std::vector<contingency_cell> cells;   // the non-empty cells, in row-major order
};

// The table of two partitions read at the same indices; any group numbers (they need not be
// consecutive or start at 0). O(n) time and memory for numbers within about 2n of each other,
// O(n log n) otherwise. Unequal lengths are count_chars::size_error; empty partitions or
// differing first indices are the range error.
[[nodiscard]] contingency_table contingency(const count_array& first, const count_array& second);
// The same into `table`, reusing its storage.
void contingency(const count_array& first, const count_array& second, contingency_table& table);
// The same of group numbers held elsewhere (a numpy array, say), read where they stand: 32-
// or 64-bit numbers, any values. Unequal lengths are count_chars::size_error, empty ones the
// range error.
void contingency(std::span<const std::int32_t> first, std::span<const std::int32_t> second,
                 contingency_table& table);
void contingency(std::span<const std::int64_t> first, std::span<const std::int64_t> second,
                 contingency_table& table);

// What depends only on the margins of a table.
struct margin_measures {
    single_measures first;  // groups, pairs inside groups, entropy of the first partition
    single_measures second; // the same for the second
    double expected_mutual_information;
};

// The margins' measures; the entropies and pairs are those partition_measures gives (same
// bits). The expected mutual information is the exact hypergeometric sum (over every term
// that is not 0 in double precision), in time about the number of distinct pairs of group
// sizes times the spread of the cell counts; pass `with_expected = false` to skip it (then 0).
// A table of n < 1, or whose margins do not add up to n, is the range error.
[[nodiscard]] margin_measures measure_margins(const contingency_table& table,
                                              bool with_expected = true);

// Every measure of two partitions.
struct partition_comparison {
    std::int64_t taxa;                  // n
    std::int32_t first_groups;          // groups of the first partition
    std::int32_t second_groups;         // groups of the second
    std::int64_t cells;                 // non-empty cells of the contingency table
    std::int64_t first_pairs;           // taxon pairs together in the first partition
    std::int64_t second_pairs;          // in the second
    std::int64_t joint_pairs;           // in both
    double first_entropy;               // H(A)
    double second_entropy;              // H(B)
    double joint_entropy;               // H(A,B)
    double mutual_information;          // MI
    double nmi;                         // MI / arithmetic mean of H(A), H(B)
    double nmi_geometric;               // MI / sqrt(H(A) H(B))
    double nmi_min;                     // MI / min(H(A), H(B))
    double nmi_max;                     // MI / max(H(A), H(B))
    double expected_mutual_information; // E[MI] under fixed margins
    double ami;                         // adjusted mutual information, arithmetic mean
    double variation_of_information;    // H(A) + H(B) - 2 MI
    double mi_over_joint_entropy;       // (H(A) + H(B) - H(A,B)) / H(A,B)
    double rand;                        // Rand index
    double adjusted_rand;               // adjusted Rand index (Hubert and Arabie)
    double chi_square;                  // Pearson's X^2 against independence
    double g_statistic;                 // G = 2 n MI
};

// The six measures of association that a permutation test recomputes for every table it
// draws. compare() takes these from the same code, so both give the same bits.
struct association_measures {
    double chi_square;
    double g_statistic;
    double mutual_information;
    double nmi; // arithmetic mean
    double rand;
    double adjusted_rand;
};

// The association measures of many tables with the same margins, as the reshuffles of a
// permutation test draw them: the margins are measured once, and each table then costs one
// pass over its cells with no logarithm (c ln c is looked up) and no allocation. Calls may
// run concurrently.
class association_measurer {
public:
    // For tables with the margins of `margins` (its cells are not used). Margins that do not
    // add up to n, or n < 1, are the range error.
    explicit association_measurer(const contingency_table& margins);

    // A table with these margins, given by its non-empty cells (any order).
    [[nodiscard]] association_measures operator()(std::span<const contingency_cell> cells) const;
    // A table with these margins, given densely: row-major, row_sums.size() x
    // column_sums.size() counts, zeros included.
    [[nodiscard]] association_measures dense(std::span<const std::uint32_t> counts) const;

    [[nodiscard]] const margin_measures& margins() const noexcept { return margins_; }

private:
    std::int64_t n_;
    std::vector<double> row_sums_;    // a_i as doubles
    std::vector<double> column_sums_; // b_j
    std::vector<double> x_log_x_;     // k ln k for k = 0 .. the largest possible cell
    margin_measures margins_;
    double margin_term_; // n ln n - sum a_i ln a_i - sum b_j ln b_j
};

// The measures of a table whose margins were measured already (O(cells)): the margins must
// be those of `table`.
[[nodiscard]] partition_comparison compare(const contingency_table& table,
                                           const margin_measures& margins);
// The measures of a table.
[[nodiscard]] partition_comparison compare(const contingency_table& table);
// The measures of two partitions given as group numbers (any numbers; see `contingency`).
[[nodiscard]] partition_comparison compare(const count_array& first, const count_array& second);
// The same of group numbers held elsewhere (see `contingency`).
[[nodiscard]] partition_comparison compare(std::span<const std::int32_t> first,
                                           std::span<const std::int32_t> second);
[[nodiscard]] partition_comparison compare(std::span<const std::int64_t> first,
                                           std::span<const std::int64_t> second);
// The measures of two partitions given as label columns of any strings: two taxa share a group
// exactly when their labels are equal. Unequal lengths are count_chars::size_error.
[[nodiscard]] partition_comparison compare(const taxon_labels& first, const taxon_labels& second);

} // namespace phylo::taxonomy
