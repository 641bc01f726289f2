#pragma once
// The contingency family of permutation tests: the association of two classifications of the
// same taxa, measured on the table of their groups (chi2, g, mi, nmi, ari, rand), the second
// classification's groups reshuffled among the taxa (within strata when there are strata).
//
// A reshuffle is drawn either by permuting the labels and counting the cells, or as the random
// table with the same margins itself (per stratum, then summed); both give the same
// distribution of tables, and the choice depends only on the shape of the input
// (choose_method), never on the threads.
//
// An exact test (draw_method::enumerate_tables) walks instead every table with the observed
// margins within each stratum, and every combination of the strata's tables, each weighted by
// its hypergeometric probability: arrangement k is combination k - 1 in mixed radix, the last
// stratum turning fastest, each stratum's tables in for_each_table's order.

#include <phylo/permutation/engine.hpp>
#include <phylo/permutation/statistics.hpp>
#include <phylo/permutation/strata.hpp>

#include <phylo/core.hpp>
#include <phylo/taxonomy/comparison.hpp>
#include <phylo/taxonomy/random_table.hpp>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace phylo::permutation {

// The columns of a test as group numbers 0 .. groups - 1, one per row.
struct contingency_columns {
    phylo::count_array fixed;
    phylo::count_array permuted;
    phylo::count_array strata; // empty: all rows in one stratum
};

enum class draw_method { permute_labels, draw_table, enumerate_tables };

// The cheaper way to draw the reshuffles of a table of n taxa whose strata s hold n_s taxa in
// R_s x C_s non-empty groups, in units of one exchange and count of a label (measured): a
// table costs about sum_s R_s C_s (10 + sqrt(n_s / (R_s C_s))) (a hypergeometric draw per
// cell, whose inversion walks about a standard deviation), a permutation n plus R C to clear
// the counts. `dense_cells` is R C of the whole table.
struct stratum_shape {
    std::int64_t taxa;
    std::int64_t rows;
    std::int64_t columns;
};
[[nodiscard]] draw_method choose_method(std::span<const stratum_shape> strata,
                                        std::int64_t dense_cells);

class contingency_test final : public null_family {
public:
    // A test of `columns` by `statistics` (any order, no repeats, of the contingency family).
    // `method` forces a way of drawing (tests compare the two); without it choose_method
    // decides.
    contingency_test(contingency_columns columns, std::vector<statistic> statistics,
                     std::optional<draw_method> method = {});

    [[nodiscard]] const std::vector<statistic>& statistics() const noexcept { return statistics_; }
    [[nodiscard]] draw_method method() const noexcept { return method_; }
    [[nodiscard]] std::int64_t taxa() const noexcept;
    // Whether the statistics are defined: both columns have at least two groups. Otherwise
    // every statistic is not a number and there is nothing to reshuffle.
    [[nodiscard]] bool defined() const noexcept override { return defined_; }
    // Group counts of the fixed and the permuted column.
    [[nodiscard]] std::int64_t fixed_groups() const noexcept;
    [[nodiscard]] std::int64_t permuted_groups() const noexcept;

    // The statistics of the table as read, in the order asked (not-a-numbers when undefined).
    [[nodiscard]] std::vector<double> observed() const;

    [[nodiscard]] std::size_t width() const noexcept override {
        return statistics_.size() + (exact() ? 1 : 0);
    }
    [[nodiscard]] bool exact() const noexcept override {
        return method_ == draw_method::enumerate_tables;
    }
    [[nodiscard]] std::int64_t arrangements() const noexcept override { return arrangements_; }
    [[nodiscard]] std::unique_ptr<drawer> make_drawer() const override;

    // How many combinations of stratum tables an exact test of `columns` walks; nothing when
    // more than `cap`.
    [[nodiscard]] static std::optional<std::uint64_t>
    table_combinations(const contingency_columns& columns, std::uint64_t cap);

private:
    struct workspace;
    class table_drawer;
    class exact_drawer;
    struct stratum {
        std::vector<std::uint32_t> rows;    // the rows of the stratum, in row order
        std::vector<std::uint32_t> fixed;   // whole-table fixed group of each local row group
        std::vector<std::uint32_t> columns; // whole-table permuted group of each local column
        std::optional<phylo::taxonomy::random_table_sampler> sampler;
        std::vector<std::int64_t> row_sums, column_sums; // the stratum's margins
        // Exact tests: every table of the stratum's margins, row-major one after the other,
        // and the logarithm of each one's probability.
        std::vector<std::uint32_t> tables;
        std::vector<double> log_weights;
    };

    // The strata of `columns` (of `rows` and `columns_n` groups): the rows of each (when there
    // are several), its groups of each side in order of first appearance, and its margins.
    static std::vector<stratum> strata_of(const contingency_columns& columns, std::int64_t rows,
                                          std::int64_t columns_n);
    void reshuffle(std::uint64_t seed, std::int64_t k, workspace& w, double* out) const;
    // Reshuffles k .. k + tables_together - 1 as tables drawn together: the values that
    // reshuffle gives for each. Two overlap well; four were no faster (measured).
    static constexpr std::size_t tables_together = 2;
    void draw_together(std::uint64_t seed, std::int64_t k, workspace& w, double* out) const;
    void measure(std::span<const std::uint32_t> counts, workspace& w, double* out) const;

    contingency_columns columns_;
    std::vector<statistic> statistics_;
    std::int64_t rows_ = 0;      // groups of the fixed column
    std::int64_t columns_n_ = 0; // groups of the permuted column
    bool defined_ = false;
    bool dense_ = true;
    draw_method method_ = draw_method::permute_labels;
    std::int64_t arrangements_ = 0;
    std::vector<stratum> strata_;
    std::optional<permutation::strata> strata_labels_; // the label reshuffle within strata
    std::optional<phylo::taxonomy::association_measurer> measurer_;
};

} // namespace phylo::permutation
