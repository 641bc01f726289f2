#include <phylo/permutation/enumeration.hpp>

#include <generics/errors.hpp>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <numeric>
#include <string>

namespace phylo::permutation {

namespace {

// The positions of each stratum, in position order.
std::vector<std::vector<std::uint32_t>> positions_of(std::size_t n,
                                                     std::span<const std::uint32_t> strata) {
    if (strata.empty()) {
        std::vector<std::uint32_t> all(n);
        std::iota(all.begin(), all.end(), 0u);
        return {std::move(all)};
    }
    if (strata.size() != n)
        throw generics::range_error("strata of " + std::to_string(strata.size()) +
                                    " positions for " + std::to_string(n) + " codes");
    const std::uint32_t count = n == 0 ? 0 : *std::max_element(strata.begin(), strata.end()) + 1;
    std::vector<std::vector<std::uint32_t>> result(count);
    for (std::size_t i = 0; i < n; ++i) result[strata[i]].push_back(static_cast<std::uint32_t>(i));
    return result;
}

// How many times each code occurs among `codes`, in increasing order of code.
std::vector<std::uint64_t> multiplicities(std::vector<std::uint32_t> codes) {
    std::sort(codes.begin(), codes.end());
    std::vector<std::uint64_t> result;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        if (i == 0 || codes[i] != codes[i - 1]) result.push_back(0);
        ++result.back();
    }
    return result;
}

// n! / prod m!, or nothing beyond `cap`. Built up one element at a time, each step exact:
// the value never decreases, so one beyond the cap stays beyond it.
std::optional<std::uint64_t> multinomial(std::span<const std::uint64_t> counts, std::uint64_t cap) {
    std::uint64_t value = 1;
    std::uint64_t total = 0;
    for (const auto m : counts)
        for (std::uint64_t i = 1; i <= m; ++i) {
            ++total;
            std::uint64_t product = 0;
            if (__builtin_mul_overflow(value, total, &product)) return std::nullopt;
            value = product / i;
            if (value > cap) return std::nullopt;
        }
    return value;
}

std::vector<std::uint32_t> codes_at(std::span<const std::uint32_t> codes,
                                    std::span<const std::uint32_t> positions) {
    std::vector<std::uint32_t> result;
    result.reserve(positions.size());
    for (const auto p : positions) result.push_back(codes[p]);
    return result;
}

} // namespace

std::optional<std::uint64_t> assignment_count(std::span<const std::uint32_t> codes,
                                              std::span<const std::uint32_t> strata,
                                              std::uint64_t cap) {
    std::uint64_t total = 1;
    for (const auto& positions : positions_of(codes.size(), strata)) {
        const auto one = multinomial(multiplicities(codes_at(codes, positions)), cap);
        if (!one) return std::nullopt;
        std::uint64_t product = 0;
        if (__builtin_mul_overflow(total, *one, &product) || product > cap) return std::nullopt;
        total = product;
    }
    return total;
}

double assignment_count_log10(std::span<const std::uint32_t> codes,
                              std::span<const std::uint32_t> strata) {
    double log = 0.0;
    for (const auto& positions : positions_of(codes.size(), strata)) {
        log += std::lgamma(static_cast<double>(positions.size()) + 1.0);
        for (const auto m : multiplicities(codes_at(codes, positions)))
            log -= std::lgamma(static_cast<double>(m) + 1.0);
    }
    return log / std::log(10.0);
}

assignment_walker::assignment_walker(std::span<const std::uint32_t> codes,
                                     std::span<const std::uint32_t> strata)
    : codes_(codes.begin(), codes.end()) {
    constexpr std::uint64_t most = std::numeric_limits<std::int32_t>::max();
    for (auto& positions : positions_of(codes.size(), strata)) {
        stratum s;
        s.current = codes_at(codes, positions);
        std::sort(s.current.begin(), s.current.end());
        s.positions = std::move(positions);
        const auto count = multinomial(multiplicities(s.current), most);
        if (!count || *count * count_ > most)
            throw generics::range_error("more than 2147483647 arrangements to walk");
        s.count = *count;
        count_ *= s.count;
        strata_.push_back(std::move(s));
    }
}

void assignment_walker::place(const stratum& s) {
    for (std::size_t i = 0; i < s.positions.size(); ++i) codes_[s.positions[i]] = s.current[i];
}

void assignment_walker::seek(std::uint64_t rank) {
    if (rank >= count_)
        throw generics::range_error("arrangement " + std::to_string(rank) + " of " +
                                    std::to_string(count_));
    for (auto s = strata_.rbegin(); s != strata_.rend(); ++s) {
        std::uint64_t r = rank % s->count;
        rank /= s->count;
        // The r-th arrangement in lexicographic order: at each position, the smallest code
        // whose arrangements of the rest (count * m / left of them) reach past r.
        std::vector<std::uint32_t> values = s->current;
        std::sort(values.begin(), values.end());
        std::vector<std::uint32_t> distinct;
        std::vector<std::uint64_t> left;
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (i == 0 || values[i] != values[i - 1]) {
                distinct.push_back(values[i]);
                left.push_back(0);
            }
            ++left.back();
        }
        std::uint64_t count = s->count;
        auto remaining = static_cast<std::uint64_t>(values.size());
        for (std::size_t p = 0; p < values.size(); ++p, --remaining)
            for (std::size_t v = 0; v < distinct.size(); ++v) {
                if (left[v] == 0) continue;
                const std::uint64_t with = count * left[v] / remaining;
                if (r < with) {
                    s->current[p] = distinct[v];
                    count = with;
                    --left[v];
                    break;
                }
                r -= with;
            }
        place(*s);
    }
}

void assignment_walker::next() {
    for (auto s = strata_.rbegin(); s != strata_.rend(); ++s) {
        const bool more = std::next_permutation(s->current.begin(), s->current.end());
        place(*s);
        if (more) return;
    }
}

namespace {

// The tables with margins `rows` and `columns`, cell by cell in row-major order: a cell takes
// every count that leaves its row completable by the columns to its right.
class table_walk {
public:
    table_walk(std::span<const std::int64_t> rows, std::span<const std::int64_t> columns)
        : rows_(rows.begin(), rows.end()), columns_left_(columns.begin(), columns.end()),
          cells_(rows.size() * columns.size()) {}

    // Calls leaf() at every table in cells(); stops when leaf returns false.
    template <class Leaf>
    void walk(Leaf&& leaf) {
        if (rows_.empty() || columns_left_.empty()) {
            leaf();
            return;
        }
        go(0, 0, rows_[0], leaf);
    }
    [[nodiscard]] std::span<const std::uint32_t> cells() const noexcept { return cells_; }

private:
    template <class Leaf>
    bool go(std::size_t i, std::size_t j, std::int64_t row_left, Leaf& leaf) {
        const std::size_t r = rows_.size();
        const std::size_t c = columns_left_.size();
        if (i + 1 == r) { // the last row: what the columns have left
            for (std::size_t k = 0; k < c; ++k)
                cells_[i * c + k] = static_cast<std::uint32_t>(columns_left_[k]);
            return leaf();
        }
        if (j + 1 == c) { // the last cell of a row: what the row has left
            if (row_left > columns_left_[j]) return true;
            cells_[i * c + j] = static_cast<std::uint32_t>(row_left);
            columns_left_[j] -= row_left;
            const bool more = go(i + 1, 0, rows_[i + 1], leaf);
            columns_left_[j] += row_left;
            return more;
        }
        std::int64_t later = 0;
        for (std::size_t k = j + 1; k < c; ++k) later += columns_left_[k];
        const std::int64_t low = std::max<std::int64_t>(0, row_left - later);
        const std::int64_t high = std::min(row_left, columns_left_[j]);
        for (std::int64_t a = low; a <= high; ++a) {
            cells_[i * c + j] = static_cast<std::uint32_t>(a);
            columns_left_[j] -= a;
            const bool more = go(i, j + 1, row_left - a, leaf);
            columns_left_[j] += a;
            if (!more) return false;
        }
        return true;
    }

    std::vector<std::int64_t> rows_;
    std::vector<std::int64_t> columns_left_;
    std::vector<std::uint32_t> cells_;
};

} // namespace

std::optional<std::uint64_t> table_count(std::span<const std::int64_t> rows,
                                         std::span<const std::int64_t> columns, std::uint64_t cap) {
    table_walk walk(rows, columns);
    std::uint64_t count = 0;
    walk.walk([&] { return ++count <= cap; });
    if (count > cap) return std::nullopt;
    return count;
}

void for_each_table(std::span<const std::int64_t> rows, std::span<const std::int64_t> columns,
                    const std::function<void(std::span<const std::uint32_t>, double)>& each) {
    const std::int64_t n = std::accumulate(rows.begin(), rows.end(), std::int64_t{0});
    std::vector<double> log_factorial(static_cast<std::size_t>(n) + 1);
    for (std::size_t i = 0; i < log_factorial.size(); ++i)
        log_factorial[i] = std::lgamma(static_cast<double>(i) + 1.0);
    double margins = -log_factorial[static_cast<std::size_t>(n)];
    for (const auto r : rows) margins += log_factorial[static_cast<std::size_t>(r)];
    for (const auto c : columns) margins += log_factorial[static_cast<std::size_t>(c)];
    table_walk walk(rows, columns);
    walk.walk([&] {
        double log = margins;
        for (const auto a : walk.cells()) log -= log_factorial[a];
        each(walk.cells(), log);
        return true;
    });
}

} // namespace phylo::permutation
