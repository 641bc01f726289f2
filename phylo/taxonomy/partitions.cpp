#include <phylo/taxonomy/partitions.hpp>

#include <phylo/count_chars.hpp>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace phylo::taxonomy {

namespace {

using count_size_error = count_chars::size_error;
__extension__ using int128 = __int128;

// Accumulates -sum p ln p, p = c / n, in the order the counts are added. Terms for small counts
// are remembered: with many groups most counts are small and repeat, and a remembered term is
// the same double as a recomputed one, so the sum does not depend on it.
class entropy_sum {
public:
    explicit entropy_sum(std::int64_t n)
        : n_(static_cast<double>(n)),
          memo_(static_cast<std::size_t>(std::min<std::int64_t>(n, 4096)) + 1, unset) {}

    void add(std::int64_t c) {
        const auto k = static_cast<std::size_t>(c);
        if (k < memo_.size()) {
            if (memo_[k] == unset) memo_[k] = term(c);
            sum_ -= memo_[k];
        } else {
            sum_ -= term(c);
        }
    }
    [[nodiscard]] double value() const noexcept { return sum_; }

private:
    static constexpr double unset = 1.0; // p ln p is never positive
    [[nodiscard]] double term(std::int64_t c) const {
        const double p = static_cast<double>(c) / n_; // exactly 1 when c = n
        return p * std::log(p);
    }

    double n_;
    std::vector<double> memo_;
    double sum_ = 0.0;
};

std::int64_t pairs_in(std::int64_t c) noexcept { return c * (c - 1) / 2; }

void check_not_empty(const count_array& partition) {
    if (partition.empty()) throw range_error("an empty partition has no measures");
}

// Above this many cells per taxon a dense contingency table costs more than sorting the taxa.
bool table_fits(std::int64_t cells, std::int64_t n) noexcept { return cells <= 2 * n + 4096; }

// Calls visit(c) for each non-empty cell of the contingency table of a and b, in row-major
// order, building no more of the table than the data need.
template <class Visit>
void walk_cells(const count_element* a, const count_element* b, std::int64_t n, std::int64_t na,
                std::int64_t nb, Visit visit) {
    const auto size = static_cast<std::size_t>(n);
    if (table_fits(na * nb, n)) {
        std::vector<std::uint32_t> table(static_cast<std::size_t>(na * nb), 0);
        for (std::size_t k = 0; k < size; ++k)
            ++table[static_cast<std::size_t>(a[k]) * static_cast<std::size_t>(nb) +
                    static_cast<std::size_t>(b[k])];
        for (const auto c : table)
            if (c != 0) visit(std::int64_t{c});
        return;
    }
    if (table_fits(na + nb, n)) {
        // Two stable counting passes, by column then by row, give the taxa in row-major order.
        auto by_column = std::vector<std::uint32_t>(size);
        auto ordered = std::vector<std::uint32_t>(size);
        std::vector<std::uint32_t> start(static_cast<std::size_t>(std::max(na, nb)) + 1, 0);
        for (std::size_t k = 0; k < size; ++k) ++start[static_cast<std::size_t>(b[k]) + 1];
        for (std::size_t g = 1; g < start.size(); ++g) start[g] += start[g - 1];
        for (std::size_t k = 0; k < size; ++k)
            by_column[start[static_cast<std::size_t>(b[k])]++] = static_cast<std::uint32_t>(k);
        std::fill(start.begin(), start.end(), 0);
        for (std::size_t k = 0; k < size; ++k) ++start[static_cast<std::size_t>(a[k]) + 1];
        for (std::size_t g = 1; g < start.size(); ++g) start[g] += start[g - 1];
        for (const auto k : by_column) ordered[start[static_cast<std::size_t>(a[k])]++] = k;
        std::size_t run = 0;
        for (std::size_t r = 1; r <= size; ++r) {
            if (r == size || a[ordered[r]] != a[ordered[run]] || b[ordered[r]] != b[ordered[run]]) {
                visit(static_cast<std::int64_t>(r - run));
                run = r;
            }
        }
        return;
    }
    std::vector<std::uint64_t> keys(size);
    for (std::size_t k = 0; k < size; ++k)
        keys[k] = static_cast<std::uint64_t>(a[k]) << 32 | static_cast<std::uint32_t>(b[k]);
    std::sort(keys.begin(), keys.end());
    std::size_t run = 0;
    for (std::size_t r = 1; r <= size; ++r) {
        if (r == size || keys[r] != keys[run]) {
            visit(static_cast<std::int64_t>(r - run));
            run = r;
        }
    }
}

void check_groups(const count_array& partition, std::int32_t groups, const char* which) {
    for (index_type k = partition.first(); k <= partition.last(); ++k) {
        const count_element g = partition.unchecked(k);
        if (g < 0 || g >= groups)
            throw range_error(std::string("group number ") + std::to_string(g) + " of taxon " +
                              std::to_string(k) + " in the " + which +
                              " partition is outside 0 .. " + std::to_string(groups - 1));
    }
}

// Every partition of `set` is present, has `bounds`' bounds, and the set is not empty.
void check_set(const count_vector& set, const count_array* bounds, const char* which) {
    if (set.empty()) throw range_error(std::string("the ") + which + " partition set is empty");
    for (index_type i = set.first(); i <= set.last(); ++i) {
        const auto& p = set.unchecked(i);
        if (!p) throw range_error(std::string("partition ") + std::to_string(i) + " of the " + which +
                                  " set is null");
        if (bounds == nullptr) bounds = p.get();
        if (p->length() != bounds->length())
            throw count_size_error(std::string("partition ") + std::to_string(i) + " of the " + which +
                                   " set has " + std::to_string(p->length()) + " taxa, not " +
                                   std::to_string(bounds->length()));
    }
    for (index_type i = set.first(); i <= set.last(); ++i)
        if (!set.unchecked(i)->empty() && set.unchecked(i)->first() != bounds->first())
            throw range_error(std::string("partition ") + std::to_string(i) + " of the " + which +
                              " set starts at index " + std::to_string(set.unchecked(i)->first()) +
                              ", not " + std::to_string(bounds->first()));
}

} // namespace

single_measures partition_measures(const count_array& partition) {
    check_not_empty(partition);
    const std::int64_t n = partition.length();
    const auto [low, high] = std::minmax_element(partition.begin(), partition.end());
    const std::int64_t lowest = *low;
    const std::int64_t range = std::int64_t{*high} - lowest + 1;

    single_measures result{0, 0, 0.0};
    entropy_sum entropy(n);
    const auto add_group = [&](std::int64_t c) {
        ++result.groups;
        result.pairs += pairs_in(c);
        entropy.add(c);
    };
    if (table_fits(range, n)) {
        std::vector<std::uint32_t> counts(static_cast<std::size_t>(range), 0);
        for (const auto g : partition) ++counts[static_cast<std::size_t>(g - lowest)];
        for (const auto c : counts)
            if (c != 0) add_group(c);
    } else {
        // Sparse group numbers: sort a copy and count the runs.
        count_array sorted = partition;
        count_chars::array_sort(sorted);
        const auto values = sorted.span();
        std::size_t run = 0;
        for (std::size_t r = 1; r <= values.size(); ++r)
            if (r == values.size() || values[r] != values[run]) {
                add_group(static_cast<std::int64_t>(r - run));
                run = r;
            }
    }
    result.entropy = entropy.value();
    return result;
}

joint_measures partitions_measures(const count_array& first, const count_array& second,
                                   std::int32_t first_groups, std::int32_t second_groups) {
    if (first.length() != second.length())
        throw count_size_error("partitions of " + std::to_string(first.length()) + " and " +
                               std::to_string(second.length()) + " taxa cannot be compared");
    check_not_empty(first);
    if (first.first() != second.first())
        throw range_error("the partitions start at indices " + std::to_string(first.first()) +
                          " and " + std::to_string(second.first()));
    check_groups(first, first_groups, "first");
    check_groups(second, second_groups, "second");

    const std::int64_t n = first.length();
    joint_measures result{0, 0.0};
    entropy_sum entropy(n);
    walk_cells(first.data(), second.data(), n, first_groups, second_groups, [&](std::int64_t c) {
        result.pairs += pairs_in(c);
        entropy.add(c);
    });
    result.entropy = entropy.value();
    return result;
}

real_vector partition_similarities(const count_vector& first, const count_vector& second) {
    check_set(first, nullptr, "first");
    const count_array& model = *first.unchecked(first.first());
    check_set(second, &model, "second");
    check_not_empty(model);
    const std::int64_t n = model.length();
    if (n < 2) throw range_error("a single taxon has no pairs to compare partitions by");

    std::vector<single_measures> first_measures;
    std::vector<single_measures> second_measures;
    for (const auto& p : first) first_measures.push_back(partition_measures(*p));
    for (const auto& p : second) second_measures.push_back(partition_measures(*p));

    const int128 pairs = n * (n - 1) / 2;
    const auto pairs_real = static_cast<double>(pairs);
    const index_type m = second.length();
    real_vector result(first.first(), first.last());
    for (index_type i = first.first(); i <= first.last(); ++i) {
        const auto& a = first_measures[static_cast<std::size_t>(i - first.first())];
        auto row = std::make_unique<real_array>(0, 3 * m - 1);
        for (index_type j = 0; j < m; ++j) {
            const auto& b = second_measures[static_cast<std::size_t>(j)];
            const auto joint = partitions_measures(*first.unchecked(i), *second.unchecked(second.first() + j),
                                                   a.groups, b.groups);
            const int128 pa = a.pairs;
            const int128 pb = b.pairs;
            const int128 pab = joint.pairs;
            // Rand: 1 + (2 P(A,B) - P(A) - P(B)) / N. Adjusted Rand with numerator and
            // denominator multiplied by 2N: (2N P(A,B) - 2 P(A) P(B)) / (N (P(A) + P(B)) - 2 P(A) P(B)).
            const int128 rand_numerator = pairs + 2 * pab - pa - pb;
            const int128 adjusted_numerator = 2 * pairs * pab - 2 * pa * pb;
            const int128 adjusted_denominator = pairs * (pa + pb) - 2 * pa * pb;
            row->unchecked(3 * j) = (a.entropy + b.entropy - joint.entropy) / joint.entropy;
            row->unchecked(3 * j + 1) = static_cast<double>(rand_numerator) / pairs_real;
            row->unchecked(3 * j + 2) =
                static_cast<double>(adjusted_numerator) / static_cast<double>(adjusted_denominator);
        }
        result.unchecked(i) = std::move(row);
    }
    return result;
}

} // namespace phylo::taxonomy
