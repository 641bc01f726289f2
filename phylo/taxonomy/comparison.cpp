#include <phylo/taxonomy/comparison.hpp>

#include <phylo/count_chars.hpp>
#include <phylo/taxonomy/detail/counting.hpp>
#include <phylo/taxonomy/group_numbers.hpp>
#include <phylo/taxonomy/random_table.hpp>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <numbers>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace phylo::taxonomy {

namespace {

using count_size_error = count_chars::size_error;

// Codes 0 .. groups - 1 for the groups of `values`, in increasing order of group number, and the
// size of each group. True when the group numbers are such codes already (0 .. groups - 1, all
// used, as group_numbers and to_group_numbers give them): then `codes` is left alone.
template <class Group>
bool code_groups(std::span<const Group> values, std::vector<std::uint32_t>& codes,
                 std::vector<std::int64_t>& sizes) {
    const auto n = static_cast<std::int64_t>(values.size());
    sizes.clear();
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    const Group lowest = *low;
    // The offset of a number from the lowest, in unsigned arithmetic: 64-bit numbers may lie
    // further apart than a signed 64-bit difference holds.
    const auto offset = [lowest](Group g) {
        return static_cast<std::uint64_t>(g) - static_cast<std::uint64_t>(lowest);
    };
    const std::uint64_t spread = offset(*high);
    if (spread < std::uint64_t{1} << 62 &&
        detail::table_fits(static_cast<std::int64_t>(spread) + 1, n)) {
        const auto range = static_cast<std::int64_t>(spread) + 1;
        std::vector<std::uint32_t> code(static_cast<std::size_t>(range), 0);
        for (const auto g : values) ++code[static_cast<std::size_t>(offset(g))];
        // Sizes in group order; then each entry becomes its group's code.
        for (auto& c : code) {
            if (c == 0) continue;
            sizes.push_back(c);
            c = static_cast<std::uint32_t>(sizes.size() - 1);
        }
        if (lowest == 0 && static_cast<std::int64_t>(sizes.size()) == range) return true;
        codes.resize(values.size());
        for (std::size_t k = 0; k < values.size(); ++k)
            codes[k] = code[static_cast<std::size_t>(offset(values[k]))];
        return false;
    }
    // Far-apart numbers: the distinct ones, sorted, and a search for each taxon.
    std::vector<Group> distinct(values.begin(), values.end());
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    sizes.assign(distinct.size(), 0);
    codes.resize(values.size());
    for (std::size_t k = 0; k < values.size(); ++k) {
        const auto at =
            std::lower_bound(distinct.begin(), distinct.end(), values[k]) - distinct.begin();
        codes[k] = static_cast<std::uint32_t>(at);
        ++sizes[static_cast<std::size_t>(at)];
    }
    return false;
}

single_measures measures_of_groups(const std::vector<std::int64_t>& sizes, std::int64_t n) {
    single_measures result{static_cast<std::int32_t>(sizes.size()), 0, 0.0};
    detail::entropy_sum entropy(n);
    for (const auto c : sizes) {
        result.pairs += detail::pairs_in(c);
        entropy.add(c);
    }
    result.entropy = entropy.value();
    return result;
}

// ln k!, within an ulp or so: exact products while they fit a double, then Stirling's series
// with four terms (error below 1e-16 of the value from k = 19 on), in long double. E[MI] takes
// differences of these values, so their rounding is what limits its precision.
double log_factorial(std::int64_t k) {
    if (k <= 18) {
        double product = 1.0; // 18! < 2^53: exact
        for (std::int64_t j = 2; j <= k; ++j) product *= static_cast<double>(j);
        return std::log(product);
    }
    const long double x = static_cast<long double>(k) + 1.0L;
    const long double r = 1.0L / x;
    const long double r2 = r * r;
    const long double series = r * (1.0L / 12 - r2 * (1.0L / 360 - r2 * (1.0L / 1260 - r2 / 1680)));
    const long double half_log_two_pi = 0.5L * std::log(2.0L * std::numbers::pi_v<long double>);
    return static_cast<double>((x - 0.5L) * std::log(x) - x + half_log_two_pi + series);
}

// ln k! for the arguments E[MI] needs: 0 .. low, and high .. n.
class log_factorial_table {
public:
    log_factorial_table(std::int64_t low, std::int64_t high, std::int64_t n)
        : high_(std::max(high, low + 1)) {
        for (std::int64_t k = 0; k <= low; ++k) low_values_.push_back(log_factorial(k));
        for (std::int64_t k = high_; k <= n; ++k) high_values_.push_back(log_factorial(k));
    }
    double operator()(std::int64_t k) const noexcept {
        return k < high_ ? low_values_[static_cast<std::size_t>(k)]
                         : high_values_[static_cast<std::size_t>(k - high_)];
    }

private:
    std::int64_t high_;
    std::vector<double> low_values_;
    std::vector<double> high_values_;
};

// Distinct values of `sizes` with how often each occurs.
std::vector<std::pair<std::int64_t, std::int64_t>> size_counts(std::vector<std::int64_t> sizes) {
    std::sort(sizes.begin(), sizes.end());
    std::vector<std::pair<std::int64_t, std::int64_t>> counts;
    for (const auto s : sizes) {
        if (counts.empty() || counts.back().first != s) counts.emplace_back(s, 0);
        ++counts.back().second;
    }
    return counts;
}

// E[MI] = sum over cells (i, j) and counts k of k/n ln(n k / (a_i b_j)) P(n_ij = k), with
// n_ij hypergeometric. Cells with the same pair of sizes have the same terms, so each distinct
// pair is summed once. Its probabilities are unimodal in k: the most likely count's comes from
// the ln k! values, and the others follow outwards by the ratio of neighbours,
//   P(k + 1) / P(k) = (a - k)(b - k) / ((k + 1)(n - a - b + k + 1)),
// until they fall below 1e-30 of it (their sum then changes no digit of the result).
double expected_mutual_information(const std::vector<std::int64_t>& a,
                                   const std::vector<std::int64_t>& b, std::int64_t n) {
    if (a.size() <= 1 || b.size() <= 1) return 0.0; // a partition of one group: MI is always 0
    constexpr double negligible = 1e-30;
    const auto rows = size_counts(a);
    const auto columns = size_counts(b);
    const std::int64_t largest_a = rows.back().first;
    const std::int64_t largest_b = columns.back().first;
    const std::int64_t largest = std::max(largest_a, largest_b);
    // Every argument is at most `largest` or at least n - largest_a - largest_b.
    const log_factorial_table lf(largest, std::max<std::int64_t>(0, n - largest_a - largest_b), n);
    std::vector<double> log_of(static_cast<std::size_t>(largest) + 1, 0.0);
    for (std::int64_t k = 1; k <= largest; ++k)
        log_of[static_cast<std::size_t>(k)] = std::log(static_cast<double>(k));
    const double nd = static_cast<double>(n);
    const double log_n = std::log(nd);

    double emi = 0.0;
    for (const auto& [ai, row_times] : rows) {
        for (const auto& [bj, column_times] : columns) {
            const std::int64_t lo = std::max<std::int64_t>(1, ai + bj - n);
            const std::int64_t hi = std::min(ai, bj);
            if (lo > hi) continue;
            const std::int64_t rest = n - ai - bj; // n_ij - rest taxa are in neither group
            const double log_ab =
                log_of[static_cast<std::size_t>(ai)] + log_of[static_cast<std::size_t>(bj)];
            const auto weight = [&](std::int64_t k) {
                return static_cast<double>(k) / nd *
                       (log_n + log_of[static_cast<std::size_t>(k)] - log_ab);
            };
            const auto likely = static_cast<std::int64_t>((static_cast<double>(ai) + 1) *
                                                          (static_cast<double>(bj) + 1) / (nd + 2));
            const std::int64_t mode = std::clamp(likely, lo, hi);
            const double peak =
                std::exp(lf(ai) + lf(bj) + lf(n - ai) + lf(n - bj) - lf(n) - lf(mode) -
                         lf(ai - mode) - lf(bj - mode) - lf(rest + mode));
            const double floor = peak * negligible;
            double sum = weight(mode) * peak;
            double p = peak;
            for (std::int64_t k = mode; k < hi && p > floor; ++k) {
                p *= static_cast<double>((ai - k) * (bj - k)) /
                     (static_cast<double>(k + 1) * static_cast<double>(rest + k + 1));
                sum += weight(k + 1) * p;
            }
            p = peak;
            for (std::int64_t k = mode; k > lo && p > floor; --k) {
                p *= static_cast<double>(k) * static_cast<double>(rest + k) /
                     static_cast<double>((ai - k + 1) * (bj - k + 1));
                sum += weight(k - 1) * p;
            }
            emi += static_cast<double>(row_times) * static_cast<double>(column_times) * sum;
        }
    }
    return emi;
}

void check_margins(const contingency_table& table) {
    if (table.n < 1)
        throw range_error("a contingency table of " + std::to_string(table.n) +
                          " taxa has no measures");
    for (const auto* sums : {&table.row_sums, &table.column_sums}) {
        std::int64_t total = 0;
        for (const auto s : *sums) {
            if (s < 1)
                throw range_error("a group of a contingency table has " + std::to_string(s) +
                                  " taxa");
            total += s;
        }
        if (total != table.n)
            throw range_error("the groups of a contingency table hold " + std::to_string(total) +
                              " taxa, not " + std::to_string(table.n));
    }
}

// c ln c, the only logarithm a cell needs: with the margins' terms measured once,
// sum n_ij ln(n n_ij / (a_i b_j)) = sum n_ij ln n_ij + n ln n - sum a_i ln a_i - sum b_j ln b_j.
using detail::x_log_x;

double margin_term(const contingency_table& table) {
    double term = x_log_x(table.n);
    for (const auto a : table.row_sums) term -= x_log_x(a);
    for (const auto b : table.column_sums) term -= x_log_x(b);
    return term;
}

// What the association measures take from the cells.
struct cell_sums {
    double x_log_x = 0.0;      // sum n_ij ln n_ij
    double square_ratio = 0.0; // sum n_ij^2 / (a_i b_j)
    std::int64_t joint_pairs = 0;
    std::int64_t total = 0;
};

void add_cell(cell_sums& sums, std::int64_t count, double x_log_x_of_count, double a, double b) {
    const double c = static_cast<double>(count);
    sums.x_log_x += x_log_x_of_count;
    sums.square_ratio += c * c / (a * b);
    sums.joint_pairs += detail::pairs_in(count);
    sums.total += count;
}

association_measures associate(const cell_sums& sums, double margin_term, std::int64_t n,
                               const margin_measures& margins) {
    const double nd = static_cast<double>(n);
    const auto na = margins.first.groups;
    const auto nb = margins.second.groups;
    association_measures r{};
    // With one group on either side every term is ln 1: MI, G and X^2 are exactly 0.
    const bool trivial = na == 1 || nb == 1;
    const double log_ratio = sums.x_log_x + margin_term;
    r.mutual_information = trivial ? 0.0 : std::max(0.0, log_ratio / nd);
    r.g_statistic = trivial ? 0.0 : std::max(0.0, 2.0 * log_ratio);
    r.chi_square = trivial ? 0.0 : std::max(0.0, nd * sums.square_ratio - nd);
    if (na == 1 && nb == 1)
        r.nmi = 1.0;
    else if (r.mutual_information == 0.0)
        r.nmi = 0.0;
    else
        r.nmi = r.mutual_information / ((margins.first.entropy + margins.second.entropy) / 2);
    if (n < 2) {
        r.rand = r.adjusted_rand = 1.0;
    } else {
        const auto rand =
            detail::rand_from_pairs(n, margins.first.pairs, margins.second.pairs, sums.joint_pairs);
        r.rand = rand.rand;
        // 0/0 only for equal partitions (both one group, or both all singletons).
        r.adjusted_rand = std::isnan(rand.adjusted) ? 1.0 : rand.adjusted;
    }
    return r;
}

void check_total(std::int64_t total, std::int64_t n) {
    if (total != n)
        throw range_error("the cells of a contingency table hold " + std::to_string(total) +
                          " taxa, not " + std::to_string(n));
}

} // namespace

namespace {

template <class Group>
void contingency_of(std::span<const Group> first, std::span<const Group> second,
                    contingency_table& table) {
    if (first.size() != second.size())
        throw count_size_error("partitions of " + std::to_string(first.size()) + " and " +
                               std::to_string(second.size()) + " taxa cannot be compared");
    if (first.empty()) throw range_error("empty partitions cannot be compared");
    std::vector<std::uint32_t> a;
    std::vector<std::uint32_t> b;
    const bool first_coded = code_groups(first, a, table.row_sums);
    const bool second_coded = code_groups(second, b, table.column_sums);
    table.n = static_cast<std::int64_t>(first.size());
    table.cells.clear();
    // At most min(n, na nb) cells: reserved once, so the cells are never copied while they grow.
    table.cells.reserve(static_cast<std::size_t>(
        std::min<std::int64_t>(table.n, static_cast<std::int64_t>(table.row_sums.size()) *
                                            static_cast<std::int64_t>(table.column_sums.size()))));
    const auto walk = [&table](const auto* rows, const auto* columns) {
        detail::walk_cells(rows, columns, table.n, static_cast<std::int64_t>(table.row_sums.size()),
                           static_cast<std::int64_t>(table.column_sums.size()),
                           [&table](std::int64_t r, std::int64_t c, std::int64_t count) {
                               table.cells.push_back({static_cast<std::int32_t>(r),
                                                      static_cast<std::int32_t>(c), count});
                           });
    };
    // Group numbers that are codes already are read where they stand.
    if (first_coded && second_coded)
        walk(first.data(), second.data());
    else if (first_coded)
        walk(first.data(), b.data());
    else if (second_coded)
        walk(a.data(), second.data());
    else
        walk(a.data(), b.data());
}

} // namespace

void contingency(const count_array& first, const count_array& second, contingency_table& table) {
    if (first.length() == second.length() && !first.empty() && first.first() != second.first())
        throw range_error("the partitions start at indices " + std::to_string(first.first()) +
                          " and " + std::to_string(second.first()));
    contingency_of(first.span(), second.span(), table);
}

void contingency(std::span<const std::int32_t> first, std::span<const std::int32_t> second,
                 contingency_table& table) {
    contingency_of(first, second, table);
}

void contingency(std::span<const std::int64_t> first, std::span<const std::int64_t> second,
                 contingency_table& table) {
    contingency_of(first, second, table);
}

contingency_table contingency(const count_array& first, const count_array& second) {
    contingency_table table;
    contingency(first, second, table);
    return table;
}

margin_measures measure_margins(const contingency_table& table, bool with_expected) {
    check_margins(table);
    return {measures_of_groups(table.row_sums, table.n),
            measures_of_groups(table.column_sums, table.n),
            with_expected ? expected_mutual_information(table.row_sums, table.column_sums, table.n)
                          : 0.0};
}

partition_comparison compare(const contingency_table& table, const margin_measures& margins) {
    const std::int64_t n = table.n;
    const auto na = static_cast<std::int64_t>(table.row_sums.size());
    const auto nb = static_cast<std::int64_t>(table.column_sums.size());
    if (margins.first.groups != na || margins.second.groups != nb)
        throw range_error("the margin measures are of " + std::to_string(margins.first.groups) +
                          " x " + std::to_string(margins.second.groups) +
                          " groups, the table has " + std::to_string(na) + " x " +
                          std::to_string(nb));

    partition_comparison r{};
    r.taxa = n;
    r.first_groups = margins.first.groups;
    r.second_groups = margins.second.groups;
    r.cells = static_cast<std::int64_t>(table.cells.size());
    r.first_pairs = margins.first.pairs;
    r.second_pairs = margins.second.pairs;
    r.first_entropy = margins.first.entropy;
    r.second_entropy = margins.second.entropy;
    r.expected_mutual_information = margins.expected_mutual_information;

    // One pass over the cells: joint entropy and pairs, sum n_ij ln n_ij and
    // sum n_ij^2 / (a_i b_j).
    detail::entropy_sum joint(n);
    cell_sums sums;
    for (const auto& cell : table.cells) {
        if (cell.row < 0 || cell.row >= na || cell.column < 0 || cell.column >= nb ||
            cell.count < 1)
            throw range_error("cell (" + std::to_string(cell.row) + ", " +
                              std::to_string(cell.column) + ") of " + std::to_string(cell.count) +
                              " taxa lies outside a " + std::to_string(na) + " x " +
                              std::to_string(nb) + " contingency table");
        joint.add(cell.count);
        add_cell(sums, cell.count, x_log_x(cell.count),
                 static_cast<double>(table.row_sums[static_cast<std::size_t>(cell.row)]),
                 static_cast<double>(table.column_sums[static_cast<std::size_t>(cell.column)]));
    }
    check_total(sums.total, n);
    r.joint_entropy = joint.value();
    r.joint_pairs = sums.joint_pairs;

    const auto association = associate(sums, margin_term(table), n, margins);
    const double mi = association.mutual_information;
    r.mutual_information = mi;
    r.g_statistic = association.g_statistic;
    r.chi_square = association.chi_square;
    r.nmi = association.nmi;
    r.rand = association.rand;
    r.adjusted_rand = association.adjusted_rand;

    const double ha = r.first_entropy;
    const double hb = r.second_entropy;
    const double mean = (ha + hb) / 2;
    if (na == 1 && nb == 1) {
        r.nmi_geometric = r.nmi_min = r.nmi_max = 1.0;
    } else if (mi == 0.0) {
        r.nmi_geometric = r.nmi_min = r.nmi_max = 0.0;
    } else {
        r.nmi_geometric = mi / std::sqrt(ha * hb);
        r.nmi_min = mi / std::min(ha, hb);
        r.nmi_max = mi / std::max(ha, hb);
    }
    if ((na == 1 && nb == 1) || (na == n && nb == n)) {
        r.ami = 1.0; // equal partitions whose every reshuffle is equal too: 0/0
    } else {
        // Held away from 0 with its sign: the normaliser is never below E[MI] but may round so.
        constexpr double floor = std::numeric_limits<double>::epsilon();
        double denominator = mean - r.expected_mutual_information;
        denominator =
            denominator < 0 ? std::min(denominator, -floor) : std::max(denominator, floor);
        r.ami = (mi - r.expected_mutual_information) / denominator;
    }
    r.variation_of_information = std::max(0.0, ha + hb - 2 * mi);
    r.mi_over_joint_entropy = (ha + hb - r.joint_entropy) / r.joint_entropy;

    return r;
}

partition_comparison compare(const contingency_table& table) {
    return compare(table, measure_margins(table));
}

partition_comparison compare(const count_array& first, const count_array& second) {
    return compare(contingency(first, second));
}

partition_comparison compare(std::span<const std::int32_t> first,
                             std::span<const std::int32_t> second) {
    contingency_table table;
    contingency(first, second, table);
    return compare(table);
}

partition_comparison compare(std::span<const std::int64_t> first,
                             std::span<const std::int64_t> second) {
    contingency_table table;
    contingency(first, second, table);
    return compare(table);
}

partition_comparison compare(const taxon_labels& first, const taxon_labels& second) {
    if (first.length() != second.length())
        throw count_size_error("label columns of " + std::to_string(first.length()) + " and " +
                               std::to_string(second.length()) + " taxa cannot be compared");
    return compare(group_numbers(first), group_numbers(second));
}

association_measurer::association_measurer(const contingency_table& margins)
    : n_(margins.n), margins_(measure_margins(margins, false)), margin_term_(margin_term(margins)) {
    row_sums_.assign(margins.row_sums.begin(), margins.row_sums.end());
    column_sums_.assign(margins.column_sums.begin(), margins.column_sums.end());
    const auto largest_row = *std::max_element(margins.row_sums.begin(), margins.row_sums.end());
    const auto largest_column =
        *std::max_element(margins.column_sums.begin(), margins.column_sums.end());
    x_log_x_.resize(static_cast<std::size_t>(std::min(largest_row, largest_column)) + 1);
    for (std::size_t k = 1; k < x_log_x_.size(); ++k)
        x_log_x_[k] = x_log_x(static_cast<std::int64_t>(k));
}

association_measures
association_measurer::operator()(std::span<const contingency_cell> cells) const {
    const auto na = static_cast<std::int64_t>(row_sums_.size());
    const auto nb = static_cast<std::int64_t>(column_sums_.size());
    cell_sums sums;
    for (const auto& cell : cells) {
        if (cell.row < 0 || cell.row >= na || cell.column < 0 || cell.column >= nb ||
            cell.count < 1 || static_cast<std::size_t>(cell.count) >= x_log_x_.size())
            throw range_error("cell (" + std::to_string(cell.row) + ", " +
                              std::to_string(cell.column) + ") of " + std::to_string(cell.count) +
                              " taxa does not fit the margins of a " + std::to_string(na) + " x " +
                              std::to_string(nb) + " contingency table");
        add_cell(sums, cell.count, x_log_x_[static_cast<std::size_t>(cell.count)],
                 row_sums_[static_cast<std::size_t>(cell.row)],
                 column_sums_[static_cast<std::size_t>(cell.column)]);
    }
    check_total(sums.total, n_);
    return associate(sums, margin_term_, n_, margins_);
}

association_measures association_measurer::dense(std::span<const std::uint32_t> counts) const {
    const std::size_t nb = column_sums_.size();
    if (counts.size() != row_sums_.size() * nb)
        throw range_error(std::to_string(counts.size()) + " counts for a " +
                          std::to_string(row_sums_.size()) + " x " + std::to_string(nb) +
                          " contingency table");
    cell_sums sums;
    const std::uint32_t* c = counts.data();
    for (std::size_t i = 0; i < row_sums_.size(); ++i, c += nb) {
        const double a = row_sums_[i];
        for (std::size_t j = 0; j < nb; ++j) {
            if (c[j] == 0) continue;
            if (c[j] >= x_log_x_.size())
                throw range_error("a cell of " + std::to_string(c[j]) +
                                  " taxa does not fit the margins of the contingency table");
            add_cell(sums, c[j], x_log_x_[c[j]], a, column_sums_[j]);
        }
    }
    check_total(sums.total, n_);
    return associate(sums, margin_term_, n_, margins_);
}

} // namespace phylo::taxonomy
