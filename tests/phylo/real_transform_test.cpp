#include <phylo/real_transform.hpp>

#include "../test_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

using namespace phylo;
using namespace phylo::real_chars;
using test_support::expect_error;

namespace {

using rows_t = std::vector<std::vector<double>>;
const double not_a_number = std::numeric_limits<double>::quiet_NaN();

real_array values(std::vector<double> v, index_type first = 0) {
    return real_array(first, std::move(v));
}

// A row vector over rows from row_first, every row indexed from col_first.
real_vector rows_of(const rows_t& rows, index_type row_first = 0, index_type col_first = 0) {
    real_vector v(row_first, row_first + static_cast<index_type>(rows.size()) - 1);
    for (std::size_t i = 0; i < rows.size(); ++i)
        v[row_first + static_cast<index_type>(i)] =
            std::make_unique<real_array>(col_first, rows[i]);
    return v;
}

rows_t contents(const real_vector& v) {
    rows_t out;
    for (const auto& r : v) out.emplace_back(r->begin(), r->end());
    return out;
}

rows_t transformed(const rows_t& rows, transformation kind) {
    auto v = rows_of(rows);
    transform_matrix(v, kind);
    return contents(v);
}

constexpr transformation all_kinds[] = {
    transformation::ROW_FRACTIONS, transformation::COLUMN_FRACTIONS,
    transformation::FOR_CHI,       transformation::RANGING,
    transformation::FULL_RANGING,  transformation::Z_SCORES,
    transformation::FULL_Z_SCORES, transformation::RANKS,
};

// Element (i, j) under each transformation, in the order of all_kinds, computed straightforwardly
// in long double with the textbook two-pass variance.
std::array<double, 8> reference(const rows_t& m, std::size_t i, std::size_t j,
                                index_type col_first) {
    long double row_sum = 0, col_sum = 0, ss = 0, hi = -INFINITY, lo = INFINITY;
    for (double x : m[i]) row_sum += x;
    for (const auto& r : m)
        col_sum += r[j], hi = std::max<long double>(hi, r[j]), lo = std::min<long double>(lo, r[j]);
    const long double mean = col_sum / m.size(), x = m[i][j];
    for (const auto& r : m) ss += (r[j] - mean) * (r[j] - mean);
    const long double sd = std::sqrt(ss / m.size());
    const auto below = std::count_if(m[i].begin(), m[i].end(), [&](double y) { return y < x; });
    return {double(x / row_sum),
            double(x / col_sum),
            double(x / row_sum * std::sqrt(m[i].size() / col_sum)),
            double(x / hi),
            double((x - lo) / (hi - lo)),
            double(x / sd),
            double((x - mean) / sd),
            double(col_first + below)};
}

} // namespace

TEST(Sum, FourFormsFoldFromTheFirstElement) {
    EXPECT_EQ(sum(values({1.5, 2.5, -1.0}, 4)), 3.0);
    EXPECT_TRUE(std::signbit(sum(values({-0.0})))); // a fold from 0 would give +0
    real_matrix m(1, 2, 5, 6);
    m(1, 5) = 1, m(1, 6) = 2, m(2, 5) = 3, m(2, 6) = 4;
    EXPECT_EQ(sum(m), 10.0);
    auto v = rows_of({{1, 2, 3}, {4}, {0.5, 0.5}}, 7);
    EXPECT_EQ(sum(v, generics::per_row), values({6, 4, 1}, 7));
    EXPECT_EQ(sum(v), 11.0);
    expect_error<range_error>([] { (void)sum(real_array(3, 2)); }, "sum of an empty array");
    expect_error<range_error>([] { (void)sum(real_matrix(0, 1, 0, -1)); },
                              "sum of an empty matrix");
    expect_error<range_error>([] { (void)sum(real_vector(0, -1)); }, "sum of an empty row vector");
    v[8] = std::make_unique<real_array>(0, -1);
    expect_error<range_error>([&] { (void)sum(v); }, "sum of the empty row 8");
    v[8].reset();
    EXPECT_THROW((void)sum(v, generics::per_row), range_error);
}

TEST(Statistics, ParametricNonparametricAndBrokenStick) {
    const auto r = parametric(values({2, 4, 4, 4, 5, 5, 7, 9}, 10));
    EXPECT_EQ(std::vector({r.mean, r.sd}), std::vector({5.0, 2.0}));
    EXPECT_TRUE(std::isnan(parametric(real_array(0, -1)).sd));
    const auto odd = nonparametric(values({3, 1, 2})),
               even = nonparametric(values({4, 1, 3, 2}, 6));
    EXPECT_EQ(std::vector({odd.min, odd.median, odd.max, even.min, even.median, even.max}),
              std::vector<double>({1, 2, 3, 1, 2.5, 4}));
    expect_error<range_error>([] { (void)nonparametric(real_array(1, 0)); },
                              "nonparametric statistics of an empty array");
    // Not-a-number orders last instead of upsetting the selection.
    const auto with_nan = nonparametric(values({not_a_number, 3, 1, not_a_number, 2}));
    EXPECT_EQ(std::vector({with_nan.min, with_nan.median}), std::vector({1.0, 3.0}));
    EXPECT_TRUE(std::isnan(with_nan.max));
    auto two = values({9, 9});
    broken_stick(two);
    EXPECT_EQ(two, values({0.75, 0.25}));
    real_array five(2, 6);
    broken_stick(five);
    EXPECT_DOUBLE_EQ(sum(five), 1.0);
}

// The one-pass (sum of squares - sum^2 / n) / n goes negative or far off on these.
TEST(Statistics, NoCancellationOnConstantOrOffsetData) {
    for (int n : {1, 3, 10, 1000}) {
        const auto r = parametric(real_array(0, n - 1, 0.1));
        EXPECT_EQ(r.mean, 0.1) << n;
        EXPECT_EQ(r.sd, 0.0) << n;
    }
    EXPECT_NEAR(parametric(values({1e16, 1e16 + 2, 1e16})).sd, std::sqrt(8.0 / 9.0), 1e-12);
}

TEST(TransformMatrix, AgreesWithAStraightforwardComputation) {
    std::mt19937 gen(2024);
    for (std::size_t k = 0; k < std::size(all_kinds); ++k)
        for (int trial = 1; trial < 4; ++trial) {
            // Positive values keep fractions and the chi transformation away from poles.
            std::uniform_real_distribution<double> value(
                all_kinds[k] == transformation::RANKS ? -5.0 : 0.5, 10.0);
            rows_t data(static_cast<std::size_t>(1 + trial * 5),
                        std::vector<double>(1 + trial * 3));
            for (auto& r : data) std::ranges::generate(r, [&] { return value(gen); });
            auto v = rows_of(data, 3, trial);
            transform_matrix(v, all_kinds[k]);
            const auto after = contents(v);
            for (std::size_t i = 0; i < data.size(); ++i)
                for (std::size_t j = 0; j < data[i].size(); ++j) {
                    const double expected = reference(data, i, j, trial)[k];
                    EXPECT_NEAR(after[i][j], expected, 1e-12 * std::max(1.0, std::abs(expected)))
                        << "kind " << k << " at (" << i << ", " << j << ")";
                }
        }
}

// Zero sums, maxima, ranges and deviations take fixed values instead of dividing by zero.
TEST(TransformMatrix, ConstantAndZeroColumns) {
    rows_t tenths;
    for (int k = 1; k <= 10; ++k) tenths.push_back({0.1, double(k)});
    const auto z = transformed(tenths, transformation::Z_SCORES),
               ranged = transformed(tenths, transformation::FULL_RANGING),
               full_z = transformed(tenths, transformation::FULL_Z_SCORES);
    for (std::size_t i = 0; i < tenths.size(); ++i)
        EXPECT_EQ(std::vector({z[i][0], full_z[i][0], ranged[i][0]}), std::vector({0.1, 0.0, 0.5}))
            << i;
    EXPECT_EQ(transformed({{0, 1}, {0, 3}}, transformation::COLUMN_FRACTIONS),
              (rows_t{{0, 0.25}, {0, 0.75}}));
    // A column of negative values is divided by its negative maximum.
    EXPECT_EQ(transformed({{0, -2}, {0, -4}}, transformation::RANGING), (rows_t{{0, 1}, {0, 2}}));
    const auto chi = transformed({{1, 0}, {3, 0}}, transformation::FOR_CHI);
    EXPECT_DOUBLE_EQ(chi[1][0], std::sqrt(0.5));
    EXPECT_EQ(chi[1][1], 0.0);
    // A not-a-number makes a column's maximum and range nan, as max does: the column becomes
    // nan instead of taking values made from its numbers alone; other columns are unaffected.
    for (const auto kind : {transformation::RANGING, transformation::FULL_RANGING})
        for (const rows_t& m :
             {rows_t{{2, 1}, {not_a_number, 3}}, rows_t{{not_a_number, 1}, {2, 3}}}) {
            const auto t = transformed(m, kind);
            EXPECT_TRUE(std::isnan(t[0][0]) && std::isnan(t[1][0])) << static_cast<int>(kind);
            EXPECT_EQ(t[1][1], 1.0) << static_cast<int>(kind);
        }
    // Ties get distinct ranks; not-a-number ranks last.
    auto ranks = transformed({{0.5, 0.5, 0.1, 0.5, not_a_number}}, transformation::RANKS)[0];
    EXPECT_EQ(std::vector({ranks[2], ranks[4]}), std::vector({0.0, 4.0}));
    std::sort(ranks.begin(), ranks.end());
    EXPECT_EQ(ranks, (std::vector<double>{0, 1, 2, 3, 4}));
}

TEST(TransformMatrix, FailuresChangeNothing) {
    const rows_t uneven{{1, 2, 3}, {4, 5, 6, 7}};
    for (const auto kind : all_kinds) {
        auto v = rows_of(uneven);
        expect_error<basic::size_error>(
            [&] { transform_matrix(v, kind); },
            "transform_matrix: row 1 has 4 elements where the first row has 3");
        EXPECT_EQ(contents(v), uneven);
        EXPECT_EQ(transformed({{}, {}}, kind), (rows_t{{}, {}}));
    }
    auto shifted = rows_of({{1, 2}, {3, 4}});
    shifted[1] = std::make_unique<real_array>(1, std::vector<double>{3, 4});
    expect_error<range_error>(
        [&] { transform_matrix(shifted, transformation::RANKS); },
        "transform_matrix: row 1 has bounds 1 .. 2 where the first row has 0 .. 1");
    EXPECT_EQ(contents(shifted), (rows_t{{1, 2}, {3, 4}}));
    // A negative column sum puts a negative number under the square root.
    auto chi = rows_of({{1, -2}, {1, -3}});
    expect_error<argument_error>([&] { transform_matrix(chi, transformation::FOR_CHI); },
                                 "square root of -0.4 is undefined");
    EXPECT_EQ(contents(chi), (rows_t{{1, -2}, {1, -3}}));
    real_vector empty(0, -1);
    EXPECT_THROW(transform_matrix(empty, transformation::RANKS), range_error);
    auto holes = rows_of({{1}, {2}, {3}});
    holes[2].reset();
    EXPECT_THROW(transform_matrix(holes, transformation::Z_SCORES), range_error);
    // A length mismatch before a null row is the size error, found without touching the hole.
    holes[1] = std::make_unique<real_array>(0, 3);
    EXPECT_THROW(transform_matrix(holes, transformation::Z_SCORES), basic::size_error);
}

// More than one tile of the blocked walk, from index 1, against the formula with the old diagonal.
TEST(Standardize, AgreesWithTheFormulaAndChecksTheShape) {
    std::mt19937 gen(5);
    std::uniform_real_distribution<double> value(0.1, 1.0);
    const index_type n = 150;
    real_matrix big(1, n, 1, n);
    std::generate_n(big.data(), n * n, [&] { return value(gen); });
    const real_matrix before = big;
    standardize(big);
    for (index_type i = 1; i <= n; ++i)
        for (index_type j = 1; j <= n; ++j)
            ASSERT_EQ(big(i, j),
                      i == j ? 1.0 : (before(i, j) + before(j, i)) / (before(i, i) + before(j, j)))
                << i << ", " << j;
    real_matrix wide(0, 1, 0, 2), empty, shifted(0, 1, 1, 2);
    expect_error<basic::size_error>([&] { standardize(wide); },
                                    "standardize needs a square matrix, not 2 x 3");
    expect_error<range_error>([&] { standardize(empty); }, "standardize of an empty matrix");
    expect_error<range_error>(
        [&] { standardize(shifted); },
        "standardize needs equal row and column bounds, not 0 .. 1 and 1 .. 2");
}

TEST(ElementaryFunctions, ValuesAndDomains) {
    EXPECT_DOUBLE_EQ(real_chars::acot(-1.0), 3 * std::numbers::pi / 4);
    EXPECT_TRUE(std::isnan(real_chars::sqrt(not_a_number)));
    expect_error<argument_error>([] { (void)real_chars::sqrt(-1.0); },
                                 "square root of -1 is undefined");
    expect_error<range_error>([] { (void)real_chars::log(0.0); }, "logarithm of 0 is infinite");
    expect_error<argument_error>([] { (void)real_chars::pow(0.0, 0.0); },
                                 "0 to the power 0 is undefined");
    expect_error<range_error>([] { (void)real_chars::pow(0.0, -1.5); },
                              "0 to the power -1.5 is infinite");
    for (const auto& f :
         {+[] { (void)real_chars::log(2.0, 1.0); }, +[] { (void)real_chars::pow(-2.0, 2.0); },
          +[] { (void)real_chars::asin(1.5); }, +[] { (void)real_chars::atan(0.0, 0.0); },
          +[] { (void)real_chars::acosh(0.5); }, +[] { (void)real_chars::acoth(0.5); }})
        EXPECT_THROW(f(), argument_error);
    for (const auto& f :
         {+[] { (void)real_chars::cot(0.0); }, +[] { (void)real_chars::atanh(1.0); }})
        EXPECT_THROW(f(), range_error);
}
