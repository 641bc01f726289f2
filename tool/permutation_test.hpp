#pragma once
// The permutation test of association between two columns (--test): the observed statistics
// and their null distribution over random reshuffles of the permuted column (within strata
// when there are strata), drawn on any number of threads with the same result.
//
// Reshuffle k (k = 1, 2, ...) draws from a generator of its own, a stream_random seeded with
// stream_seed(seed, k), and starts from the column as read; so its table, and every value of
// the report, depends only on the input, the seed and k, never on the threads or on the
// reshuffles drawn before it. A reshuffle is drawn either by permuting the labels and counting
// the cells, or as the random table with the same margins itself (per stratum, then summed);
// both give the same distribution of tables, and the choice depends only on the shape of
// the input (choose_method).

#include <tool/statistics.hpp>
#include <tool/strata.hpp>

#include <phylo/core.hpp>
#include <phylo/taxonomy/comparison.hpp>
#include <phylo/taxonomy/random_table.hpp>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace labmix {

// The seed of reshuffle k of a test seeded with `seed` (both below 2^31): the SplitMix64
// finaliser of seed * 2^32 + k, a bijection, so no two (seed, k) share a stream.
[[nodiscard]] std::uint64_t stream_seed(std::uint64_t seed, std::int64_t k);

// The generator of one reshuffle: xoshiro256** (Blackman and Vigna), its four words of state
// the SplitMix64 sequence that starts from the stream's seed. Seeding takes four steps, a
// word one step; a draw below m takes the high 32 bits of one word (unbiased multiply-shift,
// rejecting as few words as it must), a uniform real the high 53 bits of one word, over 2^53.
class stream_random {
public:
    explicit stream_random(std::uint64_t seed = 0) noexcept { reset(seed); }

    void reset(std::uint64_t seed) noexcept {
        for (auto& word : state_) {
            seed += 0x9e3779b97f4a7c15u;
            std::uint64_t z = seed;
            z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
            z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
            word = z ^ (z >> 31);
        }
    }

    std::uint64_t next() noexcept {
        const std::uint64_t result = rotl(state_[1] * 5, 7) * 9;
        const std::uint64_t t = state_[1] << 17;
        state_[2] ^= state_[0];
        state_[3] ^= state_[1];
        state_[1] ^= state_[2];
        state_[0] ^= state_[3];
        state_[2] ^= t;
        state_[3] = rotl(state_[3], 45);
        return result;
    }

    // A uniform draw in 0 .. m - 1, for 0 < m.
    std::uint32_t below(std::uint32_t m) noexcept {
        std::uint64_t product = (next() >> 32) * m;
        auto low = static_cast<std::uint32_t>(product);
        if (low < m) {
            const std::uint32_t threshold = static_cast<std::uint32_t>(0u - m) % m;
            while (low < threshold) {
                product = (next() >> 32) * m;
                low = static_cast<std::uint32_t>(product);
            }
        }
        return static_cast<std::uint32_t>(product >> 32);
    }

    // A uniform draw in [0, 1).
    double uniform() noexcept { return static_cast<double>(next() >> 11) * 0x1p-53; }

private:
    static std::uint64_t rotl(std::uint64_t x, int k) noexcept { return x << k | x >> (64 - k); }
    std::uint64_t state_[4] = {};
};

// The columns of a test as group numbers 0 .. groups - 1, one per row.
struct test_columns {
    phylo::count_array fixed;
    phylo::count_array permuted;
    phylo::count_array strata; // empty: all rows in one stratum
};

enum class draw_method { permute_labels, draw_table };

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

class permutation_test {
public:
    // A test of `columns` by `statistics` (any order, no repeats). `method` forces a way of
    // drawing (tests compare the two); without it choose_method decides.
    permutation_test(test_columns columns, std::vector<statistic> statistics,
                     std::optional<draw_method> method = {});

    [[nodiscard]] const std::vector<statistic>& statistics() const noexcept { return statistics_; }
    [[nodiscard]] draw_method method() const noexcept { return method_; }
    [[nodiscard]] std::int64_t taxa() const noexcept;
    // Whether the statistics are defined: both columns have at least two groups. Otherwise
    // every statistic is not a number and there is nothing to reshuffle.
    [[nodiscard]] bool defined() const noexcept { return defined_; }
    // Group counts of the fixed and the permuted column.
    [[nodiscard]] std::int64_t fixed_groups() const noexcept;
    [[nodiscard]] std::int64_t permuted_groups() const noexcept;

    // The statistics of the table as read, in the order asked (not-a-numbers when undefined).
    [[nodiscard]] std::vector<double> observed() const;

    // The statistics of reshuffles first .. last (from 1), reshuffle by reshuffle:
    // values[(k - first) * statistics + i] is statistic i of reshuffle k. `threads` (at least
    // 1) share the reshuffles; the values do not depend on their number.
    // The same, handed to consume(k, values of reshuffle k) in increasing k on the calling
    // thread while `threads` others draw; memory does not grow with the reshuffles. An
    // exception from consume or a draw ends the run and propagates.
    void
    for_each_null(std::uint64_t seed, std::int64_t first, std::int64_t last, unsigned threads,
                  const std::function<void(std::int64_t, std::span<const double>)>& consume) const;

    [[nodiscard]] std::vector<double> null_values(std::uint64_t seed, std::int64_t first,
                                                  std::int64_t last, unsigned threads) const;

private:
    struct workspace;
    struct stratum {
        std::vector<std::uint32_t> rows;    // the rows of the stratum, in row order
        std::vector<std::uint32_t> fixed;   // whole-table fixed group of each local row group
        std::vector<std::uint32_t> columns; // whole-table permuted group of each local column
        std::optional<phylo::taxonomy::random_table_sampler> sampler;
    };

    void reshuffle(std::uint64_t seed, std::int64_t k, workspace& w, double* out) const;
    // Reshuffles k .. k + tables_together - 1 as tables drawn together: the values that
    // reshuffle gives for each. Two overlap well; four were no faster (measured).
    static constexpr std::size_t tables_together = 2;
    void draw_together(std::uint64_t seed, std::int64_t k, workspace& w, double* out) const;
    void measure(std::span<const std::uint32_t> counts, workspace& w, double* out) const;

    test_columns columns_;
    std::vector<statistic> statistics_;
    std::int64_t rows_ = 0;      // groups of the fixed column
    std::int64_t columns_n_ = 0; // groups of the permuted column
    bool defined_ = false;
    bool dense_ = true;
    draw_method method_ = draw_method::permute_labels;
    std::vector<stratum> strata_;
    std::optional<labmix::strata> strata_labels_; // the label reshuffle within strata
    std::optional<phylo::taxonomy::association_measurer> measurer_;
};

} // namespace labmix
