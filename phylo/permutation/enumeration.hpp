#pragma once
// Exact permutation tests walk every arrangement of the data instead of drawing reshuffles:
//  - assignment_walker: every distinct arrangement of a sequence of codes (the taxa's groups,
//    or the taxa themselves for a Mantel test), each once, within strata when there are
//    strata: N! / prod n_g! of them (the product over the strata);
//  - for_each_table: every table with given margins, with its hypergeometric probability.
// Counts come first (assignment_count, table_count), so that a caller refuses a walk too long
// before it starts.
//
//     assignment_walker walk(groups, {});   // groups: 0 0 1 1 -> 6 arrangements
//     walk.seek(0);                          // 0 0 1 1
//     walk.next();                           // 0 1 0 1

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace phylo::permutation {

// How many distinct arrangements of `codes` there are, the codes of each stratum (strata
// numbered 0 .. s - 1 per position; empty for one stratum) permuted among its positions;
// nothing when there are more than `cap`.
[[nodiscard]] std::optional<std::uint64_t> assignment_count(std::span<const std::uint32_t> codes,
                                                            std::span<const std::uint32_t> strata,
                                                            std::uint64_t cap);
// The decimal logarithm of that count, however large (for messages).
[[nodiscard]] double assignment_count_log10(std::span<const std::uint32_t> codes,
                                            std::span<const std::uint32_t> strata);

// The arrangements of assignment_count, numbered 0 .. count - 1: each stratum's codes in
// lexicographic order (std::next_permutation's), the last stratum turning fastest. Strata are
// numbered as for assignment_count; at most 2^31 - 1 arrangements in all.
class assignment_walker {
public:
    assignment_walker(std::span<const std::uint32_t> codes, std::span<const std::uint32_t> strata);

    [[nodiscard]] std::uint64_t count() const noexcept { return count_; }
    // Arrangement `rank` (0 .. count() - 1).
    void seek(std::uint64_t rank);
    // The arrangement after the current one (the first after the last).
    void next();
    // The code of every position in the current arrangement.
    [[nodiscard]] std::span<const std::uint32_t> codes() const noexcept { return codes_; }

private:
    struct stratum {
        std::vector<std::uint32_t> positions; // in position order
        std::vector<std::uint32_t> current;   // the codes at those positions
        std::uint64_t count = 1;
    };
    void place(const stratum& s);
    std::vector<stratum> strata_;
    std::vector<std::uint32_t> codes_;
    std::uint64_t count_ = 1;
};

// How many tables of non-negative counts have row sums `rows` and column sums `columns`
// (equal totals); nothing when there are more than `cap`.
[[nodiscard]] std::optional<std::uint64_t> table_count(std::span<const std::int64_t> rows,
                                                       std::span<const std::int64_t> columns,
                                                       std::uint64_t cap);

// Calls each(cells, log_probability) for every table with those margins, cells row-major, in
// lexicographic order of the cells; log_probability is the natural logarithm of the table's
// probability when the taxa of the columns are permuted uniformly among the rows (the
// hypergeometric probability prod r! prod c! / (n! prod a!)).
void for_each_table(std::span<const std::int64_t> rows, std::span<const std::int64_t> columns,
                    const std::function<void(std::span<const std::uint32_t>, double)>& each);

} // namespace phylo::permutation
