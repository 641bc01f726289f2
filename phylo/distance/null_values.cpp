#include <phylo/distance/null_values.hpp>

#include <phylo/distance/detail/dispersion.hpp>
#include <phylo/real_chars.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <string>

namespace phylo::distance {

namespace {

// Groupings are worked through in chunks of this many, the matrix in tiles of this many rows
// and columns: a tile of squares (64 KiB) stays in the second-level cache while every grouping
// of the chunk passes over it. Long rows keep the per-row cost (the final additions, the last
// values) small; the sizes were measured best on 5,000 taxa.
constexpr std::size_t chunk = 32;
constexpr std::size_t tile_rows = 8;
constexpr std::size_t tile_columns = 1024;

std::size_t square_size(const real_matrix& d) {
    if (d.rows() != d.cols() || d.row_first() != d.col_first())
        throw real_chars::size_error(
            "a distance matrix must be square over one range of taxa; this one has rows " +
            std::to_string(d.row_first()) + " .. " + std::to_string(d.row_last()) +
            " and columns " + std::to_string(d.col_first()) + " .. " +
            std::to_string(d.col_last()));
    return static_cast<std::size_t>(d.rows());
}

// Where row i (from 0) of the upper triangle of an n x n matrix starts, row by row.
constexpr std::size_t row_start(std::size_t n, std::size_t i) noexcept {
    return i * n - i * (i + 1) / 2;
}

// The upper triangle i < j, row by row; a value that is not finite is the data error.
std::vector<double> upper_triangle(const real_matrix& d) {
    const std::size_t n = square_size(d);
    std::vector<double> values;
    values.reserve(n * (n - (n > 0)) / 2);
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = i + 1; j < n; ++j) {
            const double v = d.data()[i * n + j];
            if (!std::isfinite(v))
                throw data_error("the distance of taxa " +
                                 std::to_string(d.row_first() + static_cast<index_type>(i)) +
                                 " and " +
                                 std::to_string(d.row_first() + static_cast<index_type>(j)) +
                                 " is " + (std::isnan(v) ? "not a number" : "infinite"));
            values.push_back(v);
        }
    return values;
}

// The group numbers as codes, and their number of groups; they must run 0 .. a - 1.
std::vector<std::uint32_t> group_codes(const count_array& groups, std::size_t taxa,
                                       std::uint32_t& count) {
    if (static_cast<std::size_t>(groups.length()) != taxa)
        throw real_chars::size_error("a grouping of " + std::to_string(groups.length()) +
                                     " taxa for a distance matrix of " + std::to_string(taxa));
    std::vector<std::uint32_t> codes;
    codes.reserve(taxa);
    for (index_type i = groups.first(); i <= groups.last(); ++i) {
        if (groups[i] < 0)
            throw range_error("group number " + std::to_string(groups[i]) + " of taxon " +
                              std::to_string(i) + " is negative");
        codes.push_back(static_cast<std::uint32_t>(groups[i]));
    }
    count = codes.empty() ? 0 : *std::max_element(codes.begin(), codes.end()) + 1;
    std::vector<bool> used(count, false);
    for (const std::uint32_t c : codes) used[c] = true;
    const auto gap = std::find(used.begin(), used.end(), false);
    if (gap != used.end())
        throw range_error("group numbers must run from 0 without a gap: no taxon is in group " +
                          std::to_string(gap - used.begin()) + " of 0 .. " +
                          std::to_string(count - 1));
    return codes;
}

// The number of reshuffles of a batch, after checking its length and that every code is below
// `limit`; for permutations (limit = taxa) also that no taxon comes twice.
std::size_t batch_size(std::span<const std::uint32_t> batch, std::size_t out, std::size_t taxa,
                       std::uint32_t limit, bool permutations) {
    if (batch.size() != out * taxa)
        throw real_chars::size_error("a batch of " + std::to_string(batch.size()) + " codes for " +
                                     std::to_string(out) + " reshuffles of " +
                                     std::to_string(taxa) + " taxa");
    std::vector<std::size_t> seen(permutations ? taxa : 0, 0);
    for (std::size_t b = 0; b < out; ++b)
        for (std::size_t i = 0; i < taxa; ++i) {
            const std::uint32_t c = batch[b * taxa + i];
            if (c >= limit || (permutations && seen[c] == b + 1))
                throw range_error("reshuffle " + std::to_string(b) + " of the batch gives taxon " +
                                  std::to_string(i) + (c >= limit ? " the code " : " again ") +
                                  std::to_string(c) + (permutations ? " (of " : " (codes below ") +
                                  std::to_string(limit) + (permutations ? " taxa)" : ")"));
            if (permutations) seen[c] = b + 1;
        }
    return out;
}

// Two doubles, and the comparison mask of two (GCC and Clang vector extensions: explicit
// lanes that every target computes alike, with one SSE2 or NEON instruction per operation).
using lanes = double __attribute__((vector_size(16)));
using lane_mask = std::int64_t __attribute__((vector_size(16)));

lanes load(const double* p) noexcept {
    lanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

lanes masked(const double* w, const double* codes, lanes code) noexcept {
    return reinterpret_cast<lanes>(reinterpret_cast<lane_mask>(load(w)) & (load(codes) == code));
}

// The sum of w[k] over k < length with codes[k] == code, in a fixed order: element k goes to
// partial sum k mod 8 (for whole groups of eight), the partial sums are added as
// ((0 + 4) + (2 + 6)) + ((1 + 5) + (3 + 7)), then the rest in order. Adding the zero of an
// excluded value leaves a sum unchanged, so this is the sum of the included values in that
// order, on every target.
double masked_sum(const double* w, const double* codes, std::size_t length, double code) noexcept {
    const lanes match = {code, code};
    lanes s0 = {};
    lanes s1 = {};
    lanes s2 = {};
    lanes s3 = {};
    std::size_t k = 0;
    for (; k + 8 <= length; k += 8) {
        s0 += masked(w + k, codes + k, match);
        s1 += masked(w + k + 2, codes + k + 2, match);
        s2 += masked(w + k + 4, codes + k + 4, match);
        s3 += masked(w + k + 6, codes + k + 6, match);
    }
    const lanes s = (s0 + s2) + (s1 + s3);
    double sum = s[0] + s[1];
    for (; k < length; ++k) sum += codes[k] == code ? w[k] : 0.0;
    return sum;
}

using masked_sum_function = double (*)(const double*, const double*, std::size_t, double) noexcept;

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// The same sums four lanes at a time where the processor has AVX2 (the same additions in the
// same order: lanes 0-3 and 4-7 of the partial sums, then (0 + 4), ... as above).
[[gnu::target("avx2")]] double masked_sum_avx2(const double* w, const double* codes,
                                               std::size_t length, double code) noexcept {
    using wide = double __attribute__((vector_size(32)));
    using wide_mask = std::int64_t __attribute__((vector_size(32)));
    const wide match = {code, code, code, code};
    wide low = {};
    wide high = {};
    std::size_t k = 0;
    for (; k + 8 <= length; k += 8) {
        wide w0;
        wide w1;
        wide c0;
        wide c1;
        std::memcpy(&w0, w + k, sizeof w0);
        std::memcpy(&w1, w + k + 4, sizeof w1);
        std::memcpy(&c0, codes + k, sizeof c0);
        std::memcpy(&c1, codes + k + 4, sizeof c1);
        low += reinterpret_cast<wide>(reinterpret_cast<wide_mask>(w0) & (c0 == match));
        high += reinterpret_cast<wide>(reinterpret_cast<wide_mask>(w1) & (c1 == match));
    }
    const wide u = low + high;
    double sum = (u[0] + u[2]) + (u[1] + u[3]);
    for (; k < length; ++k) sum += codes[k] == code ? w[k] : 0.0;
    return sum;
}

masked_sum_function best_masked_sum() noexcept {
    return __builtin_cpu_supports("avx2") ? masked_sum_avx2 : masked_sum;
}
#else
masked_sum_function best_masked_sum() noexcept { return masked_sum; }
#endif

// sums[b * groups + g]: the sum of the weights of the pairs i < j that grouping b puts both in
// group g. Each sum runs over the tiles in one order (column tiles, then row tiles, then rows),
// whatever the number of groupings.
std::vector<double> within_sums(const std::vector<double>& weights, std::size_t n,
                                std::span<const std::uint32_t> groupings, std::size_t count,
                                std::uint32_t groups) {
    std::vector<double> sums(count * groups, 0.0);
    std::vector<double> codes(std::min(count, chunk) * n);
    const masked_sum_function sum_of = best_masked_sum();
    for (std::size_t b0 = 0; b0 < count; b0 += chunk) {
        const std::size_t in_chunk = std::min(chunk, count - b0);
        const std::uint32_t* raw = groupings.data() + b0 * n;
        std::transform(raw, raw + in_chunk * n, codes.begin(),
                       [](std::uint32_t c) { return static_cast<double>(c); });
        for (std::size_t j0 = 1; j0 < n; j0 += tile_columns) {
            const std::size_t j1 = std::min(j0 + tile_columns, n);
            for (std::size_t i0 = 0; i0 + 1 < j1; i0 += tile_rows) {
                const std::size_t i1 = std::min(i0 + tile_rows, j1 - 1);
                for (std::size_t b = 0; b < in_chunk; ++b) {
                    const double* code = codes.data() + b * n;
                    double* sum = sums.data() + (b0 + b) * groups;
                    for (std::size_t i = i0; i < i1; ++i) {
                        const std::size_t start = std::max(j0, i + 1);
                        sum[raw[b * n + i]] +=
                            sum_of(weights.data() + row_start(n, i) + (start - i - 1), code + start,
                                   j1 - start, code[i]);
                    }
                }
            }
        }
    }
    return sums;
}

// Taxa per group of one grouping.
void count_groups(const std::uint32_t* codes, std::size_t n, std::vector<double>& sizes) {
    std::fill(sizes.begin(), sizes.end(), 0.0);
    for (std::size_t i = 0; i < n; ++i) ++sizes[codes[i]];
}

// Ranks 1 .. m of the values, ties at their mean rank.
std::vector<double> mid_ranks(const std::vector<double>& values) {
    std::vector<std::size_t> order(values.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return values[a] < values[b]; });
    std::vector<double> ranks(values.size());
    for (std::size_t k = 0; k < order.size();) {
        std::size_t end = k + 1;
        while (end < order.size() && values[order[end]] == values[order[k]]) ++end;
        const double rank = (static_cast<double>(k + 1) + static_cast<double>(end)) / 2;
        for (; k < end; ++k) ranks[order[k]] = rank;
    }
    return ranks;
}

// The F of the one-way ANOVA of y by the grouping `codes` into `groups` groups.
double anova_f(std::span<const double> y, const std::uint32_t* codes, std::uint32_t groups,
               std::vector<double>& sizes, std::vector<double>& means) {
    const std::size_t n = y.size();
    count_groups(codes, n, sizes);
    std::fill(means.begin(), means.end(), 0.0);
    double mean = 0;
    for (std::size_t i = 0; i < n; ++i) {
        means[codes[i]] += y[i];
        mean += y[i];
    }
    mean /= static_cast<double>(n);
    double between = 0;
    for (std::uint32_t g = 0; g < groups; ++g) {
        if (sizes[g] == 0) continue;
        means[g] /= sizes[g];
        between += sizes[g] * (means[g] - mean) * (means[g] - mean);
    }
    double within = 0;
    for (std::size_t i = 0; i < n; ++i)
        within += (y[i] - means[codes[i]]) * (y[i] - means[codes[i]]);
    return (between / (groups - 1.0)) / (within / (static_cast<double>(n) - groups));
}

} // namespace

// ---- PERMANOVA ------------------------------------------------------------------------------

permanova_null::permanova_null(const real_matrix& distances, const count_array& groups)
    : taxa_(square_size(distances)), codes_(group_codes(groups, taxa_, groups_)),
      squares_(upper_triangle(distances)) {
    for (double& v : squares_) {
        v *= v;
        total_ += v;
    }
}

void permanova_null::values(std::span<const std::uint32_t> groupings, std::span<double> f,
                            std::span<double> r2) const {
    const std::size_t count = batch_size(groupings, f.size(), taxa_, groups_, false);
    if (!r2.empty() && r2.size() != count)
        throw real_chars::size_error("R^2 of " + std::to_string(r2.size()) + " groupings for " +
                                     std::to_string(count) + " F values");
    const std::vector<double> sums = within_sums(squares_, taxa_, groupings, count, groups_);
    const auto n = static_cast<double>(taxa_);
    const double total = total_ / n;
    std::vector<double> sizes(groups_);
    for (std::size_t b = 0; b < count; ++b) {
        count_groups(groupings.data() + b * taxa_, taxa_, sizes);
        double within = 0;
        for (std::uint32_t g = 0; g < groups_; ++g)
            if (sizes[g] > 0) within += sums[b * groups_ + g] / sizes[g];
        const double among = total - within;
        f[b] = (among / (groups_ - 1.0)) / (within / (n - groups_));
        if (!r2.empty()) r2[b] = among / total;
    }
}

double permanova_null::observed() const {
    double f = 0;
    values(codes_, std::span<double>(&f, 1));
    return f;
}

double permanova_null::observed_r2() const {
    double f = 0;
    double r2 = 0;
    values(codes_, std::span<double>(&f, 1), std::span<double>(&r2, 1));
    return r2;
}

// ---- ANOSIM ---------------------------------------------------------------------------------

anosim_null::anosim_null(const real_matrix& distances, const count_array& groups)
    : taxa_(square_size(distances)), codes_(group_codes(groups, taxa_, groups_)),
      ranks_(mid_ranks(upper_triangle(distances))) {}

void anosim_null::values(std::span<const std::uint32_t> groupings, std::span<double> r) const {
    const std::size_t count = batch_size(groupings, r.size(), taxa_, groups_, false);
    const std::vector<double> sums = within_sums(ranks_, taxa_, groupings, count, groups_);
    const auto pairs = static_cast<double>(ranks_.size());
    const double rank_total = pairs * (pairs + 1) / 2;
    std::vector<double> sizes(groups_);
    for (std::size_t b = 0; b < count; ++b) {
        count_groups(groupings.data() + b * taxa_, taxa_, sizes);
        double within_pairs = 0;
        double within = 0;
        for (std::uint32_t g = 0; g < groups_; ++g) {
            within_pairs += sizes[g] * (sizes[g] - 1) / 2;
            within += sums[b * groups_ + g];
        }
        const double mean_within = within / within_pairs;
        const double mean_between = (rank_total - within) / (pairs - within_pairs);
        r[b] = (mean_between - mean_within) / (pairs / 2);
    }
}

double anosim_null::observed() const {
    double r = 0;
    values(codes_, std::span<double>(&r, 1));
    return r;
}

// ---- PERMDISP -------------------------------------------------------------------------------

permdisp_null::permdisp_null(const real_matrix& distances, const count_array& groups,
                             dispersion_centre centre) {
    const std::size_t n = square_size(distances);
    (void)upper_triangle(distances); // the finiteness check
    const std::vector<std::uint32_t> codes = group_codes(groups, n, groups_);
    distances_to_centre_ = detail::distances_to_centres(distances, codes, groups_, centre);
    std::vector<double> sizes(groups_);
    std::vector<double> means(groups_);
    observed_ = anova_f(distances_to_centre_, codes.data(), groups_, sizes, means);
    residuals_.resize(n);
    for (std::size_t i = 0; i < n; ++i) residuals_[i] = distances_to_centre_[i] - means[codes[i]];
}

void permdisp_null::values(std::span<const std::uint32_t> groupings, std::span<double> f) const {
    const std::size_t n = taxa();
    const std::size_t count = batch_size(groupings, f.size(), n, groups_, false);
    std::vector<double> sizes(groups_);
    std::vector<double> means(groups_);
    for (std::size_t b = 0; b < count; ++b)
        f[b] = anova_f(residuals_, groupings.data() + b * n, groups_, sizes, means);
}

// ---- Mantel ---------------------------------------------------------------------------------

mantel_null::mantel_null(const real_matrix& first, const real_matrix& second, correlation kind)
    : taxa_(square_size(first)) {
    if (square_size(second) != taxa_)
        throw real_chars::size_error("two distance matrices of " + std::to_string(taxa_) + " and " +
                                     std::to_string(second.rows()) + " taxa");
    first_ = upper_triangle(first);
    std::vector<double> triangle = upper_triangle(second);
    if (kind == correlation::spearman) {
        first_ = mid_ranks(first_);
        triangle = mid_ranks(triangle);
    }
    const auto centre = [](std::vector<double>& v) {
        const double mean =
            std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size());
        double squares = 0;
        for (double& x : v) {
            x -= mean;
            squares += x * x;
        }
        return squares;
    };
    scale_ = std::sqrt(centre(first_) * centre(triangle));
    second_.assign(taxa_ * taxa_, 0.0);
    for (std::size_t i = 0; i < taxa_; ++i)
        for (std::size_t j = i + 1; j < taxa_; ++j)
            second_[i * taxa_ + j] = second_[j * taxa_ + i] =
                triangle[row_start(taxa_, i) + (j - i - 1)];
}

void mantel_null::values(std::span<const std::uint32_t> permutations, std::span<double> r) const {
    const std::size_t n = taxa_;
    const std::size_t count =
        batch_size(permutations, r.size(), n, static_cast<std::uint32_t>(n), true);
    std::fill(r.begin(), r.end(), 0.0);
    // Row i of the first triangle meets row p(i) of the second, read at p(j), j > i. Taken by
    // the second's rows, each stays in the first-level cache while every permutation of the
    // batch gathers from it, and the first's rows are read in order, which the hardware
    // prefetches; taken by the first's rows, every gather would miss. Each row's products are
    // summed in four interleaved partial sums, then added in the second's row order.
    std::vector<std::uint32_t> inverse(count * n);
    for (std::size_t b = 0; b < count; ++b)
        for (std::size_t i = 0; i < n; ++i)
            inverse[b * n + permutations[b * n + i]] = static_cast<std::uint32_t>(i);
    for (std::size_t s = 0; s < n; ++s) {
        const double* row = second_.data() + s * n;
        for (std::size_t b = 0; b < count; ++b) {
            const std::size_t i = inverse[b * n + s];
            const double* a = first_.data() + row_start(n, i); // a[k]: j = i + 1 + k
            const std::uint32_t* q = permutations.data() + b * n + i + 1;
            const std::size_t length = n - 1 - i;
            double lane[4] = {};
            std::size_t k = 0;
            for (; k + 4 <= length; k += 4)
                for (std::size_t l = 0; l < 4; ++l) lane[l] += a[k + l] * row[q[k + l]];
            double sum = (lane[0] + lane[1]) + (lane[2] + lane[3]);
            for (; k < length; ++k) sum += a[k] * row[q[k]];
            r[b] += sum;
        }
    }
    for (double& v : r) v /= scale_;
}

double mantel_null::observed() const {
    std::vector<std::uint32_t> identity(taxa_);
    std::iota(identity.begin(), identity.end(), std::uint32_t{0});
    double r = 0;
    values(identity, std::span<double>(&r, 1));
    return r;
}

} // namespace phylo::distance
