#include <phylo/real_transform.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <limits>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace phylo::real_chars {

namespace {

std::string image(real_element x) {
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, x).ptr;
    return std::string(buffer, end);
}

[[noreturn]] void outside_domain(const char* function, real_element x) {
    throw argument_error(std::string(function) + " of " + image(x) + " is undefined");
}

[[noreturn]] void at_pole(const char* function, real_element x) {
    throw range_error(std::string(function) + " of " + image(x) + " is infinite");
}

// A strict weak order on all doubles: numbers ascending, not-a-number after every number,
// so sorting and selecting stay well defined on any input.
bool before(real_element a, real_element b) noexcept {
    return a < b || (!std::isnan(a) && std::isnan(b));
}

// Sum of n > 0 values from the first one.
real_element fold_sum(const real_element* p, std::size_t n) noexcept {
    real_element s = p[0];
    for (std::size_t k = 1; k < n; ++k) s += p[k];
    return s;
}

// Mean and standard deviation (divisor n) of every column of `rows` > 0 rows of `cols` values,
// row i starting at row_at(i). The mean is summed as offsets from the column's first value,
// so it equals that value exactly when the column is constant; the variance is then the
// corrected sum of the deviations from that mean, clamped at 0 against rounding, so it is
// never negative and exactly 0 for a constant column. Two passes over the data; `mean` and
// `sd` hold one value per column.
template <class RowAt>
void column_moments(index_type rows, std::size_t cols, RowAt row_at, std::span<real_element> mean,
                    std::span<real_element> sd) {
    const real_element* origin = row_at(0);
    std::fill(mean.begin(), mean.end(), 0.0);
    for (index_type i = 1; i < rows; ++i) {
        const real_element* x = row_at(i);
        for (std::size_t j = 0; j < cols; ++j) mean[j] += x[j] - origin[j];
    }
    const real_element n = static_cast<real_element>(rows);
    for (std::size_t j = 0; j < cols; ++j) mean[j] = origin[j] + mean[j] / n;
    // sd doubles as the sum of squared deviations; the plain sums live in one work array.
    std::vector<real_element> deviation(cols, 0.0);
    std::fill(sd.begin(), sd.end(), 0.0);
    for (index_type i = 0; i < rows; ++i) {
        const real_element* x = row_at(i);
        for (std::size_t j = 0; j < cols; ++j) {
            const real_element d = x[j] - mean[j];
            deviation[j] += d;
            sd[j] += d * d;
        }
    }
    for (std::size_t j = 0; j < cols; ++j) {
        real_element variance = (sd[j] - deviation[j] * deviation[j] / n) / n;
        if (variance < 0.0) variance = 0.0;
        mean[j] += deviation[j] / n;
        sd[j] = sqrt(variance);
    }
}

// Checks the rows of `v` for transform_matrix and returns the first row.
const real_array& checked_rows(const real_vector& v) {
    if (!basic::is_aligned(v)) {
        // is_aligned stopped at the first row of another length, so every row up to that one
        // is known to be present.
        const index_type length = v.unchecked(v.first())->length();
        for (index_type i = v.first() + 1; i <= v.last(); ++i)
            if (basic::row(v, i).length() != length)
                throw basic::size_error("transform_matrix: row " + std::to_string(i) + " has " +
                                        std::to_string(v.unchecked(i)->length()) +
                                        " elements where the first row has " +
                                        std::to_string(length));
    }
    const real_array& first = *v.unchecked(v.first());
    for (index_type i = v.first() + 1; i <= v.last(); ++i) {
        const real_array& r = *v.unchecked(i);
        if (r.first() != first.first())
            throw range_error("transform_matrix: row " + std::to_string(i) + " has bounds " +
                              std::to_string(r.first()) + " .. " + std::to_string(r.last()) +
                              " where the first row has " + std::to_string(first.first()) + " .. " +
                              std::to_string(first.last()));
    }
    return first;
}

} // namespace

// ---- Sums -------------------------------------------------------------------------------

real_element sum(const real_array& a) {
    if (a.empty()) throw range_error("sum of an empty array");
    return fold_sum(a.data(), a.span().size());
}

real_element sum(const real_matrix& m) {
    if (m.empty()) throw range_error("sum of an empty matrix");
    return fold_sum(m.data(), static_cast<std::size_t>(m.rows() * m.cols()));
}

real_array sum(const real_vector& v, generics::per_row_t) {
    real_array result(v.first(), v.last());
    for (index_type i = v.first(); i <= v.last(); ++i) {
        const real_array& r = basic::row(v, i);
        if (r.empty()) throw range_error("sum of the empty row " + std::to_string(i));
        result.unchecked(i) = fold_sum(r.data(), r.span().size());
    }
    return result;
}

real_element sum(const real_vector& v) {
    if (v.empty()) throw range_error("sum of an empty row vector");
    const real_array sums = sum(v, generics::per_row);
    return fold_sum(sums.data(), sums.span().size());
}

// ---- Statistics of one array --------------------------------------------------------------

parametric_result parametric(const real_array& a) {
    if (a.empty()) {
        const real_element nan = std::numeric_limits<real_element>::quiet_NaN();
        return {nan, nan};
    }
    parametric_result result{};
    const real_element* p = a.data();
    column_moments(
        a.length(), 1, [p](index_type i) { return p + i; },
        std::span<real_element>(&result.mean, 1), std::span<real_element>(&result.sd, 1));
    return result;
}

nonparametric_result nonparametric(const real_array& a) {
    if (a.empty()) throw range_error("nonparametric statistics of an empty array");
    // Selection instead of a full sort: the median is the only order statistic needed.
    std::vector<real_element> work(a.begin(), a.end());
    const std::size_t n = work.size();
    const auto middle = work.begin() + static_cast<std::ptrdiff_t>(n / 2);
    std::nth_element(work.begin(), middle, work.end(), before);
    real_element median = *middle;
    if (n % 2 == 0) median = (*std::max_element(work.begin(), middle, before) + median) * 0.5;
    const auto [lo, hi] = std::minmax_element(work.begin(), work.end(), before);
    return {*lo, median, *hi};
}

void broken_stick(real_array& a) {
    const real_element n = static_cast<real_element>(a.length());
    real_element t = 0.0;
    real_element d = n;
    for (auto it = a.span().rbegin(); it != a.span().rend(); ++it) {
        t += 1.0 / d;
        *it = t / n;
        d -= 1.0;
    }
}

// ---- Matrix transformations -----------------------------------------------------------------

namespace {

// The rows of a checked row vector as plain arrays: `rows` rows of `cols` values, row i
// (counted from 0) at (*this)(i).
struct row_block {
    real_vector& v;
    index_type rows;
    std::size_t cols;

    real_element* operator()(index_type i) const { return v.unchecked(v.first() + i)->data(); }

    // Applies f(x, i, j) to every element in place, rows ascending.
    template <class F>
    void replace(F f) const {
        for (index_type i = 0; i < rows; ++i) {
            real_element* x = (*this)(i);
            for (std::size_t j = 0; j < cols; ++j) x[j] = f(x[j], i, j);
        }
    }
};

// Row sums, folded like `sum` from each row's first element.
std::vector<real_element> row_sums(const row_block& x) {
    std::vector<real_element> r(static_cast<std::size_t>(x.rows), 0.0);
    if (x.cols > 0)
        for (index_type i = 0; i < x.rows; ++i)
            r[static_cast<std::size_t>(i)] = fold_sum(x(i), x.cols);
    return r;
}

// Column sums, folded over the rows in order from the first row.
std::vector<real_element> column_sums(const row_block& x) {
    std::vector<real_element> c(x(0), x(0) + x.cols);
    for (index_type i = 1; i < x.rows; ++i) {
        const real_element* r = x(i);
        for (std::size_t j = 0; j < x.cols; ++j) c[j] += r[j];
    }
    return c;
}

void row_fractions(const row_block& x) {
    const auto r = row_sums(x);
    x.replace([&](real_element e, index_type i, std::size_t) {
        return e * (1.0 / r[static_cast<std::size_t>(i)]);
    });
}

void column_fractions(const row_block& x) {
    auto f = column_sums(x);
    for (auto& c : f) c = c == 0.0 ? 0.0 : 1.0 / c;
    x.replace([&](real_element e, index_type, std::size_t j) { return e * f[j]; });
}

void for_chi(const row_block& x) {
    const auto r = row_sums(x);
    auto g = column_sums(x);
    const real_element n = static_cast<real_element>(x.cols);
    for (auto& c : g) c = c == 0.0 ? 0.0 : sqrt(n / c);
    x.replace([&](real_element e, index_type i, std::size_t j) {
        return e * (1.0 / r[static_cast<std::size_t>(i)]) * g[j];
    });
}

// Column maxima start from the most negative finite value and minima from the largest, which
// any finite value replaces: a column of negative values keeps its negative maximum. They are
// the extremes of `max` and `min`: a not-a-number in a column makes its maximum (and so its
// range) nan, and the whole column becomes nan.
void ranging(const row_block& x) {
    std::vector<real_element> hi(x.cols, std::numeric_limits<real_element>::lowest());
    for (index_type i = 0; i < x.rows; ++i) {
        const real_element* r = x(i);
        for (std::size_t j = 0; j < x.cols; ++j) hi[j] = max(hi[j], r[j]);
    }
    x.replace(
        [&](real_element e, index_type, std::size_t j) { return hi[j] != 0.0 ? e / hi[j] : e; });
}

void full_ranging(const row_block& x) {
    // The maxima, made into the ranges once the minima are known.
    std::vector<real_element> range(x.cols, std::numeric_limits<real_element>::lowest());
    std::vector<real_element> lo(x.cols, std::numeric_limits<real_element>::max());
    for (index_type i = 0; i < x.rows; ++i) {
        const real_element* r = x(i);
        for (std::size_t j = 0; j < x.cols; ++j) {
            range[j] = max(range[j], r[j]);
            lo[j] = min(lo[j], r[j]);
        }
    }
    for (std::size_t j = 0; j < x.cols; ++j) range[j] -= lo[j];
    x.replace([&](real_element e, index_type, std::size_t j) {
        return range[j] != 0.0 ? (e - lo[j]) / range[j] : 0.5;
    });
}

void z_scores(const row_block& x) {
    std::vector<real_element> mean(x.cols);
    std::vector<real_element> sd(x.cols);
    column_moments(x.rows, x.cols, x, mean, sd);
    x.replace(
        [&](real_element e, index_type, std::size_t j) { return sd[j] != 0.0 ? e / sd[j] : e; });
}

void full_z_scores(const row_block& x) {
    std::vector<real_element> mean(x.cols);
    std::vector<real_element> sd(x.cols);
    column_moments(x.rows, x.cols, x, mean, sd);
    x.replace([&](real_element e, index_type, std::size_t j) {
        return sd[j] != 0.0 ? (e - mean[j]) / sd[j] : 0.0;
    });
}

// Each row's values become their ranks, counted from `origin`.
void ranks(const row_block& x, real_element origin) {
    // One work buffer of (value, position) pairs serves every row.
    std::vector<std::pair<real_element, std::size_t>> order(x.cols);
    for (index_type i = 0; i < x.rows; ++i) {
        real_element* r = x(i);
        for (std::size_t j = 0; j < x.cols; ++j) order[j] = {r[j], j};
        std::sort(order.begin(), order.end(),
                  [](const auto& a, const auto& b) { return before(a.first, b.first); });
        for (std::size_t k = 0; k < x.cols; ++k)
            r[order[k].second] = origin + static_cast<real_element>(k);
    }
}

} // namespace

void transform_matrix(real_vector& v, transformation kind) {
    const real_array& first_row = checked_rows(v);
    const row_block x{v, v.length(), first_row.span().size()};
    switch (kind) {
    case transformation::ROW_FRACTIONS:
        return row_fractions(x);
    case transformation::COLUMN_FRACTIONS:
        return column_fractions(x);
    case transformation::FOR_CHI:
        return for_chi(x);
    case transformation::RANGING:
        return ranging(x);
    case transformation::FULL_RANGING:
        return full_ranging(x);
    case transformation::Z_SCORES:
        return z_scores(x);
    case transformation::FULL_Z_SCORES:
        return full_z_scores(x);
    case transformation::RANKS:
        return ranks(x, static_cast<real_element>(first_row.first()));
    }
}

void standardize(real_matrix& m) {
    if (!basic::is_squared(m))
        throw basic::size_error("standardize needs a square matrix, not " +
                                std::to_string(m.rows()) + " x " + std::to_string(m.cols()));
    if (m.empty()) throw range_error("standardize of an empty matrix");
    if (m.col_first() != m.row_first())
        throw range_error("standardize needs equal row and column bounds, not " +
                          std::to_string(m.row_first()) + " .. " + std::to_string(m.row_last()) +
                          " and " + std::to_string(m.col_first()) + " .. " +
                          std::to_string(m.col_last()));
    const std::size_t n = static_cast<std::size_t>(m.rows());
    real_element* p = m.data();
    std::vector<real_element> diagonal(n);
    for (std::size_t i = 0; i < n; ++i) diagonal[i] = p[i * n + i];
    // Each pair i < j is independent of the others, so the upper triangle is walked in square
    // tiles to keep the mirrored column accesses within the cache.
    constexpr std::size_t tile = 64;
    for (std::size_t ib = 0; ib < n; ib += tile) {
        const std::size_t ie = std::min(n, ib + tile);
        for (std::size_t jb = ib; jb < n; jb += tile) {
            const std::size_t je = std::min(n, jb + tile);
            for (std::size_t i = ib; i < ie; ++i)
                for (std::size_t j = std::max(jb, i + 1); j < je; ++j) {
                    const real_element value =
                        (p[i * n + j] + p[j * n + i]) / (diagonal[i] + diagonal[j]);
                    p[i * n + j] = value;
                    p[j * n + i] = value;
                }
        }
    }
    for (std::size_t i = 0; i < n; ++i) p[i * n + i] = 1.0;
}

// ---- Elementary functions ------------------------------------------------------------------

real_element sqrt(real_element x) {
    if (x < 0.0) outside_domain("square root", x);
    return std::sqrt(x);
}

real_element log(real_element x) {
    if (x < 0.0) outside_domain("logarithm", x);
    if (x == 0.0) at_pole("logarithm", x);
    return std::log(x);
}

real_element log(real_element x, real_element base) {
    if (base <= 0.0 || base == 1.0) outside_domain("logarithm to the base", base);
    return log(x) / std::log(base);
}

real_element exp(real_element x) { return std::exp(x); }

real_element pow(real_element x, real_element y) {
    if (x < 0.0) throw argument_error("power of the negative base " + image(x) + " is undefined");
    if (x == 0.0 && y == 0.0) throw argument_error("0 to the power 0 is undefined");
    if (x == 0.0 && y < 0.0) throw range_error("0 to the power " + image(y) + " is infinite");
    return std::pow(x, y);
}

real_element sin(real_element x) { return std::sin(x); }
real_element cos(real_element x) { return std::cos(x); }
real_element tan(real_element x) { return std::tan(x); }

real_element cot(real_element x) {
    if (x == 0.0) at_pole("cotangent", x);
    return 1.0 / std::tan(x);
}

real_element asin(real_element x) {
    if (std::abs(x) > 1.0) outside_domain("arcsine", x);
    return std::asin(x);
}

real_element acos(real_element x) {
    if (std::abs(x) > 1.0) outside_domain("arccosine", x);
    return std::acos(x);
}

real_element atan(real_element y, real_element x) {
    if (x == 0.0 && y == 0.0) throw argument_error("arctangent of the point (0, 0) is undefined");
    return std::atan2(y, x);
}

real_element acot(real_element x, real_element y) {
    if (x == 0.0 && y == 0.0) throw argument_error("arccotangent of the point (0, 0) is undefined");
    return std::atan2(y, x);
}

real_element sinh(real_element x) { return std::sinh(x); }
real_element cosh(real_element x) { return std::cosh(x); }
real_element tanh(real_element x) { return std::tanh(x); }

real_element coth(real_element x) {
    if (x == 0.0) at_pole("hyperbolic cotangent", x);
    return 1.0 / std::tanh(x);
}

real_element asinh(real_element x) { return std::asinh(x); }

real_element acosh(real_element x) {
    if (x < 1.0) outside_domain("inverse hyperbolic cosine", x);
    return std::acosh(x);
}

real_element atanh(real_element x) {
    if (std::abs(x) > 1.0) outside_domain("inverse hyperbolic tangent", x);
    if (std::abs(x) == 1.0) at_pole("inverse hyperbolic tangent", x);
    return std::atanh(x);
}

real_element acoth(real_element x) {
    if (std::abs(x) < 1.0) outside_domain("inverse hyperbolic cotangent", x);
    if (std::abs(x) == 1.0) at_pole("inverse hyperbolic cotangent", x);
    // acoth x = atanh(1 / x) for |x| > 1.
    return std::atanh(1.0 / x);
}

} // namespace phylo::real_chars
