#include <phylo/real_transform.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <vector>

using namespace phylo;
using namespace phylo::real_chars;

namespace {

template <class E, class F>
void expect_error(F&& f, const std::string& message) {
    try {
        f();
        ADD_FAILURE() << "nothing thrown, expected: " << message;
    } catch (const E& e) {
        EXPECT_EQ(std::string(e.what()), message);
    }
}

real_array values(std::vector<double> v, index_type first = 0) { return real_array(first, std::move(v)); }

// A row vector from rows of equal bounds first .. first + n - 1.
real_vector rows_of(const std::vector<std::vector<double>>& rows, index_type row_first = 0,
                    index_type col_first = 0) {
    real_vector v(row_first, row_first + static_cast<index_type>(rows.size()) - 1);
    for (std::size_t i = 0; i < rows.size(); ++i)
        v[row_first + static_cast<index_type>(i)] = std::make_unique<real_array>(col_first, rows[i]);
    return v;
}

std::vector<std::vector<double>> contents(const real_vector& v) {
    std::vector<std::vector<double>> out;
    for (const auto& r : v) out.emplace_back(r->begin(), r->end());
    return out;
}

real_vector random_rows(std::mt19937& gen, int rows, int cols, double lo, double hi,
                        index_type col_first) {
    std::uniform_real_distribution<double> value(lo, hi);
    std::vector<std::vector<double>> data(static_cast<std::size_t>(rows));
    for (auto& r : data)
        for (int j = 0; j < cols; ++j) r.push_back(value(gen));
    return rows_of(data, 3, col_first);
}

// Straightforward per-element reference of each transformation, computed column by column in
// long double with the two-pass textbook variance.
double reference(const std::vector<std::vector<double>>& m, std::size_t i, std::size_t j,
                 transformation kind, index_type col_first) {
    const std::size_t rows = m.size();
    const std::size_t cols = m[0].size();
    long double row_sum = 0, col_sum = 0, mean = 0, ss = 0;
    double hi = -std::numeric_limits<double>::infinity(), lo = std::numeric_limits<double>::infinity();
    for (std::size_t k = 0; k < cols; ++k) row_sum += m[i][k];
    for (std::size_t r = 0; r < rows; ++r) {
        col_sum += m[r][j];
        hi = std::max(hi, m[r][j]);
        lo = std::min(lo, m[r][j]);
    }
    mean = col_sum / rows;
    for (std::size_t r = 0; r < rows; ++r) ss += (m[r][j] - mean) * (m[r][j] - mean);
    const long double sd = std::sqrt(ss / rows);
    const long double x = m[i][j];
    switch (kind) {
    case transformation::ROW_FRACTIONS: return static_cast<double>(x / row_sum);
    case transformation::COLUMN_FRACTIONS: return static_cast<double>(x / col_sum);
    case transformation::FOR_CHI:
        return static_cast<double>(x / row_sum * std::sqrt(static_cast<long double>(cols) / col_sum));
    case transformation::RANGING: return static_cast<double>(x / hi);
    case transformation::FULL_RANGING: return static_cast<double>((x - lo) / (hi - lo));
    case transformation::Z_SCORES: return static_cast<double>(x / sd);
    case transformation::FULL_Z_SCORES: return static_cast<double>((x - mean) / sd);
    case transformation::RANKS: {
        index_type below = 0;
        for (std::size_t k = 0; k < cols; ++k) below += m[i][k] < m[i][j];
        return static_cast<double>(col_first + below);
    }
    }
    return 0;
}

constexpr transformation all_kinds[] = {
    transformation::ROW_FRACTIONS, transformation::COLUMN_FRACTIONS, transformation::FOR_CHI,
    transformation::RANGING,       transformation::FULL_RANGING,     transformation::Z_SCORES,
    transformation::FULL_Z_SCORES, transformation::RANKS,
};

} // namespace

// ---- Sums ------------------------------------------------------------------------------------

TEST(Sum, FourFormsFoldFromTheFirstElement) {
    EXPECT_EQ(sum(values({1.5, 2.5, -1.0}, 4)), 3.0);
    // Folding from the first element keeps a lone negative zero (a fold from 0 would not).
    EXPECT_TRUE(std::signbit(sum(values({-0.0}))));

    real_matrix m(1, 2, 5, 6);
    m(1, 5) = 1;
    m(1, 6) = 2;
    m(2, 5) = 3;
    m(2, 6) = 4;
    EXPECT_EQ(sum(m), 10.0);

    const auto v = rows_of({{1, 2, 3}, {4}, {0.5, 0.5}}, 7);
    const real_array per_row_sums = sum(v, generics::per_row);
    EXPECT_EQ(per_row_sums, values({6, 4, 1}, 7));
    EXPECT_EQ(sum(v), 11.0);
}

TEST(Sum, EmptyOperandsAndNullRowsAreRangeErrors) {
    expect_error<range_error>([] { (void)sum(real_array(3, 2)); }, "sum of an empty array");
    expect_error<range_error>([] { (void)sum(real_matrix(0, 1, 0, -1)); }, "sum of an empty matrix");
    expect_error<range_error>([] { (void)sum(real_vector(0, -1)); }, "sum of an empty row vector");
    auto v = rows_of({{1}, {2}, {3}});
    v[1].reset();
    EXPECT_THROW((void)sum(v), range_error);
    EXPECT_THROW((void)sum(v, generics::per_row), range_error);
    v[1] = std::make_unique<real_array>(0, -1);
    expect_error<range_error>([&] { (void)sum(v); }, "sum of the empty row 1");
    // No rows at all: an empty result per row.
    EXPECT_TRUE(sum(real_vector(2, 1), generics::per_row).empty());
}

// ---- Statistics of one array -------------------------------------------------------------

TEST(Parametric, MeanAndPopulationSd) {
    const auto r = parametric(values({2, 4, 4, 4, 5, 5, 7, 9}, 10));
    EXPECT_EQ(r.mean, 5.0);
    EXPECT_EQ(r.sd, 2.0);
    const auto one = parametric(values({-3.25}));
    EXPECT_EQ(one.mean, -3.25);
    EXPECT_EQ(one.sd, 0.0);
    const auto empty = parametric(real_array(0, -1));
    EXPECT_TRUE(std::isnan(empty.mean));
    EXPECT_TRUE(std::isnan(empty.sd));
}

// The one-pass formula (sum of squares - sum^2 / n) / n goes negative or far off on these.
TEST(Parametric, NoCancellationOnConstantOrOffsetData) {
    for (int n : {3, 10, 1000}) {
        const auto r = parametric(real_array(0, n - 1, 0.1));
        EXPECT_EQ(r.mean, 0.1) << n;
        EXPECT_EQ(r.sd, 0.0) << n;
    }
    const auto big = parametric(values({1e16, 1e16 + 2, 1e16}));
    EXPECT_NEAR(big.sd, std::sqrt(8.0 / 9.0), 1e-12);
    EXPECT_NEAR(big.mean, 1e16, 2.0);

    std::mt19937 gen(7);
    std::normal_distribution<double> noise(0.0, 1e-3);
    std::vector<double> data;
    for (int k = 0; k < 500; ++k) data.push_back(1e6 + noise(gen));
    long double mean = 0, ss = 0;
    for (double x : data) mean += x;
    mean /= data.size();
    for (double x : data) ss += (x - mean) * (x - mean);
    const auto r = parametric(values(data));
    EXPECT_NEAR(r.sd, static_cast<double>(std::sqrt(ss / data.size())), 1e-12);
    EXPECT_NEAR(r.mean, static_cast<double>(mean), 1e-9);
}

TEST(Nonparametric, MinMedianMax) {
    auto odd = values({3, 1, 2});
    const auto r = nonparametric(odd);
    EXPECT_EQ(r.min, 1.0);
    EXPECT_EQ(r.median, 2.0);
    EXPECT_EQ(r.max, 3.0);
    EXPECT_EQ(odd, values({3, 1, 2})); // unchanged
    const auto even = nonparametric(values({4, 1, 3, 2}, 6));
    EXPECT_EQ(even.min, 1.0);
    EXPECT_EQ(even.median, 2.5);
    EXPECT_EQ(even.max, 4.0);
    const auto single = nonparametric(values({7}, 9));
    EXPECT_EQ(single.min, 7.0);
    EXPECT_EQ(single.median, 7.0);
    EXPECT_EQ(single.max, 7.0);
    expect_error<range_error>([] { (void)nonparametric(real_array(1, 0)); },
                              "nonparametric statistics of an empty array");
}

TEST(Nonparametric, AgreesWithSortingOnRandomArraysWithTies) {
    std::mt19937 gen(11);
    for (int n = 1; n <= 40; ++n) {
        std::uniform_int_distribution<int> value(-5, 5);
        std::vector<double> data;
        for (int k = 0; k < n; ++k) data.push_back(value(gen) * 0.5);
        auto sorted = data;
        std::sort(sorted.begin(), sorted.end());
        const std::size_t m = sorted.size() / 2;
        const double median = n % 2 ? sorted[m] : (sorted[m - 1] + sorted[m]) * 0.5;
        const auto r = nonparametric(values(data, n));
        EXPECT_EQ(r.min, sorted.front()) << n;
        EXPECT_EQ(r.median, median) << n;
        EXPECT_EQ(r.max, sorted.back()) << n;
    }
}

TEST(Nonparametric, NotANumberOrdersLast) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const auto r = nonparametric(values({nan, 3, 1, nan, 2}));
    EXPECT_EQ(r.min, 1.0);
    EXPECT_EQ(r.median, 3.0);
    EXPECT_TRUE(std::isnan(r.max));
}

TEST(BrokenStick, ExpectedPieceSizes) {
    auto two = values({9, 9});
    broken_stick(two);
    EXPECT_EQ(two, values({0.75, 0.25}));
    auto one = values({5}, 3);
    broken_stick(one);
    EXPECT_EQ(one, values({1}, 3));
    real_array none(4, 3);
    broken_stick(none);
    EXPECT_TRUE(none.empty());

    real_array five(2, 6);
    broken_stick(five);
    double harmonic = 0, total = 0;
    for (int k = 1; k <= 5; ++k) harmonic += 1.0 / k;
    EXPECT_DOUBLE_EQ(five[2], harmonic / 5);
    EXPECT_DOUBLE_EQ(five[6], 1.0 / 25);
    for (index_type i = 2; i <= 6; ++i) {
        total += five[i];
        if (i > 2) {
            EXPECT_LT(five[i], five[i - 1]);
        }
    }
    EXPECT_DOUBLE_EQ(total, 1.0);
}

// ---- Matrix transformations ---------------------------------------------------------------

TEST(TransformMatrix, AgreesWithAStraightforwardComputation) {
    std::mt19937 gen(2024);
    for (const auto kind : all_kinds) {
        for (int trial = 0; trial < 4; ++trial) {
            const int rows = 1 + trial * 5;
            const int cols = 1 + trial * 3;
            const index_type col_first = trial;
            // Positive values keep the fractions and the chi transformation away from poles.
            auto v = random_rows(gen, rows, cols, kind == transformation::RANKS ? -5.0 : 0.5, 10.0,
                                 col_first);
            if (rows == 1 && (kind == transformation::FULL_RANGING || kind == transformation::Z_SCORES ||
                              kind == transformation::FULL_Z_SCORES))
                continue; // a single row is a constant column, covered below
            const auto before = contents(v);
            transform_matrix(v, kind);
            for (std::size_t i = 0; i < before.size(); ++i)
                for (std::size_t j = 0; j < before[i].size(); ++j) {
                    const double expected = reference(before, i, j, kind, col_first);
                    const double actual = (*v[3 + static_cast<index_type>(i)])[col_first + static_cast<index_type>(j)];
                    EXPECT_NEAR(actual, expected, 1e-12 * std::max(1.0, std::abs(expected)))
                        << "kind " << static_cast<int>(kind) << " at (" << i << ", " << j << ")";
                }
        }
    }
}

TEST(TransformMatrix, ConstantColumns) {
    const auto constant = [] {
        return rows_of({{0.1, 1}, {0.1, 2}, {0.1, 3}, {0.1, 4}, {0.1, 5}, {0.1, 6}, {0.1, 7},
                        {0.1, 8}, {0.1, 9}, {0.1, 10}});
    };
    auto z = constant();
    transform_matrix(z, transformation::Z_SCORES);
    for (const auto& r : z) EXPECT_EQ((*r)[0], 0.1); // unchanged where the sd is 0
    auto full_z = constant();
    transform_matrix(full_z, transformation::FULL_Z_SCORES);
    for (const auto& r : full_z) EXPECT_EQ((*r)[0], 0.0);
    EXPECT_NEAR((*full_z[0])[1], -1.5666989036012806, 1e-12);
    auto ranged = constant();
    transform_matrix(ranged, transformation::FULL_RANGING);
    for (const auto& r : ranged) EXPECT_EQ((*r)[0], 0.5);
    EXPECT_EQ((*ranged[9])[1], 1.0);

    auto zeros = rows_of({{0, 1}, {0, 3}});
    transform_matrix(zeros, transformation::COLUMN_FRACTIONS);
    EXPECT_EQ(contents(zeros), (std::vector<std::vector<double>>{{0, 0.25}, {0, 0.75}}));
    auto unranged = rows_of({{0, -2}, {0, -4}});
    transform_matrix(unranged, transformation::RANGING);
    // A column of negative values is divided by its negative maximum.
    EXPECT_EQ(contents(unranged), (std::vector<std::vector<double>>{{0, 1}, {0, 2}}));
    auto chi = rows_of({{1, 0}, {3, 0}});
    transform_matrix(chi, transformation::FOR_CHI);
    EXPECT_EQ((*chi[0])[1], 0.0);
    EXPECT_DOUBLE_EQ((*chi[0])[0], std::sqrt(2.0 / 4.0));
}

TEST(TransformMatrix, RanksCountFromTheRowsFirstIndexAndSplitTies) {
    auto v = rows_of({{0.3, 0.1, 0.2}});
    transform_matrix(v, transformation::RANKS);
    EXPECT_EQ(contents(v), (std::vector<std::vector<double>>{{2, 0, 1}}));
    auto from_one = rows_of({{0.3, 0.1, 0.2}, {-1, -2, -3}}, 0, 1);
    transform_matrix(from_one, transformation::RANKS);
    EXPECT_EQ(contents(from_one), (std::vector<std::vector<double>>{{3, 1, 2}, {3, 2, 1}}));
    auto ties = rows_of({{0.5, 0.5, 0.1, 0.5}});
    transform_matrix(ties, transformation::RANKS);
    auto r = contents(ties)[0];
    EXPECT_EQ(r[2], 0.0);
    std::vector<double> tied{r[0], r[1], r[3]};
    std::sort(tied.begin(), tied.end());
    EXPECT_EQ(tied, (std::vector<double>{1, 2, 3}));
    // Not-a-number ranks after every number.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    auto odd = rows_of({{nan, 1, 0, nan}});
    transform_matrix(odd, transformation::RANKS);
    r = contents(odd)[0];
    EXPECT_EQ(r[1], 1.0);
    EXPECT_EQ(r[2], 0.0);
    EXPECT_EQ(r[0] + r[3], 5.0);
}

TEST(TransformMatrix, ZeroRowSumFollowsIeeeArithmetic) {
    auto v = rows_of({{0, 1, -1}, {1, 1, 2}});
    transform_matrix(v, transformation::ROW_FRACTIONS);
    EXPECT_TRUE(std::isnan((*v[0])[0]));
    EXPECT_EQ((*v[0])[1], std::numeric_limits<double>::infinity());
    EXPECT_EQ((*v[0])[2], -std::numeric_limits<double>::infinity());
    EXPECT_EQ(contents(v)[1], (std::vector<double>{0.25, 0.25, 0.5}));
}

TEST(TransformMatrix, FailuresChangeNothing) {
    const std::vector<std::vector<double>> uneven{{1, 2, 3}, {4, 5, 6, 7}};
    for (const auto kind : all_kinds) {
        auto v = rows_of(uneven);
        expect_error<basic::size_error>([&] { transform_matrix(v, kind); },
                                        "transform_matrix: row 1 has 4 elements where the first row has 3");
        EXPECT_EQ(contents(v), uneven);
    }
    auto shifted = rows_of({{1, 2}, {3, 4}});
    shifted[1] = std::make_unique<real_array>(1, std::vector<double>{3, 4});
    expect_error<range_error>([&] { transform_matrix(shifted, transformation::RANKS); },
                              "transform_matrix: row 1 has bounds 1 .. 2 where the first row has 0 .. 1");
    EXPECT_EQ(contents(shifted), (std::vector<std::vector<double>>{{1, 2}, {3, 4}}));

    // A negative column sum puts a negative number under the square root: nothing changes.
    const std::vector<std::vector<double>> negative{{1, -2}, {1, -3}};
    auto chi = rows_of(negative);
    expect_error<argument_error>([&] { transform_matrix(chi, transformation::FOR_CHI); },
                                 "square root of -0.4 is undefined");
    EXPECT_EQ(contents(chi), negative);

    real_vector empty(0, -1);
    EXPECT_THROW(transform_matrix(empty, transformation::RANKS), range_error);
    auto with_null = rows_of({{1}, {2}, {3}});
    with_null[2].reset();
    EXPECT_THROW(transform_matrix(with_null, transformation::Z_SCORES), range_error);
    EXPECT_EQ((*with_null[0])[0], 1.0);
    // A length mismatch before a null row is still the size error, and safe.
    with_null[1] = std::make_unique<real_array>(0, 3);
    EXPECT_THROW(transform_matrix(with_null, transformation::Z_SCORES), basic::size_error);
}

TEST(TransformMatrix, RowsWithoutCharactersAreLeftAlone) {
    for (const auto kind : all_kinds) {
        real_vector v(0, 1);
        v[0] = std::make_unique<real_array>(2, 1);
        v[1] = std::make_unique<real_array>(2, 1);
        transform_matrix(v, kind);
        EXPECT_TRUE(v[0]->empty());
        EXPECT_TRUE(v[1]->empty());
    }
}

// ---- Standardisation ------------------------------------------------------------------------

TEST(Standardize, UsesTheOldDiagonal) {
    real_matrix m(0, 1, 0, 1);
    m(0, 0) = 2;
    m(0, 1) = 1;
    m(1, 0) = 1;
    m(1, 1) = 4;
    standardize(m);
    EXPECT_EQ(m(0, 0), 1.0);
    EXPECT_EQ(m(1, 1), 1.0);
    EXPECT_DOUBLE_EQ(m(0, 1), 1.0 / 3);
    EXPECT_EQ(m(0, 1), m(1, 0));

    // Asymmetric input, bounds from 2: every pair uses its own diagonal values as given.
    real_matrix a(2, 4, 2, 4);
    const double in[3][3] = {{1, 2, 3}, {4, 3, 5}, {6, 7, 5}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) a(2 + i, 2 + j) = in[i][j];
    standardize(a);
    EXPECT_DOUBLE_EQ(a(2, 3), 6.0 / 4);
    EXPECT_DOUBLE_EQ(a(2, 4), 9.0 / 6);
    EXPECT_DOUBLE_EQ(a(3, 4), 12.0 / 8);
    EXPECT_EQ(a(4, 3), a(3, 4));
    EXPECT_EQ(a(4, 4), 1.0);
}

TEST(Standardize, AgreesWithAStraightforwardComputationOnALargeMatrix) {
    std::mt19937 gen(5);
    std::uniform_real_distribution<double> value(0.1, 1.0);
    const index_type n = 150; // more than one tile of the blocked walk
    real_matrix m(1, n, 1, n);
    for (index_type i = 1; i <= n; ++i)
        for (index_type j = 1; j <= n; ++j) m(i, j) = value(gen);
    const real_matrix before = m;
    standardize(m);
    for (index_type i = 1; i <= n; ++i)
        for (index_type j = 1; j <= n; ++j) {
            const double expected = i == j ? 1.0
                                           : (before(i, j) + before(j, i)) / (before(i, i) + before(j, j));
            ASSERT_EQ(m(i, j), expected) << i << ", " << j;
        }
}

TEST(Standardize, ShapeErrors) {
    real_matrix wide(0, 1, 0, 2);
    expect_error<basic::size_error>([&] { standardize(wide); },
                                    "standardize needs a square matrix, not 2 x 3");
    real_matrix empty;
    expect_error<range_error>([&] { standardize(empty); }, "standardize of an empty matrix");
    real_matrix shifted(0, 1, 1, 2);
    shifted(0, 1) = 7;
    expect_error<range_error>([&] { standardize(shifted); },
                              "standardize needs equal row and column bounds, not 0 .. 1 and 1 .. 2");
    EXPECT_EQ(shifted(0, 1), 7.0);
}

// ---- Elementary functions ------------------------------------------------------------------

TEST(ElementaryFunctions, ValuesInsideTheDomain) {
    using std::numbers::pi;
    EXPECT_EQ(real_chars::sqrt(2.25), 1.5);
    EXPECT_EQ(real_chars::sqrt(0.0), 0.0);
    EXPECT_DOUBLE_EQ(real_chars::log(std::numbers::e), 1.0);
    EXPECT_DOUBLE_EQ(real_chars::log(8.0, 2.0), 3.0);
    EXPECT_DOUBLE_EQ(real_chars::exp(1.0), std::numbers::e);
    EXPECT_EQ(real_chars::pow(2.0, 10.0), 1024.0);
    EXPECT_EQ(real_chars::pow(0.0, 2.0), 0.0);
    EXPECT_DOUBLE_EQ(real_chars::cot(pi / 4), 1.0);
    EXPECT_DOUBLE_EQ(real_chars::atan(1.0), pi / 4);
    EXPECT_DOUBLE_EQ(real_chars::atan(1.0, -1.0), 3 * pi / 4);
    EXPECT_DOUBLE_EQ(real_chars::acot(1.0), pi / 4);
    EXPECT_DOUBLE_EQ(real_chars::acot(-1.0), 3 * pi / 4);
    EXPECT_DOUBLE_EQ(real_chars::asin(1.0), pi / 2);
    EXPECT_DOUBLE_EQ(real_chars::acos(-1.0), pi);
    EXPECT_DOUBLE_EQ(real_chars::coth(1.0), 1.0 / std::tanh(1.0));
    EXPECT_EQ(real_chars::acosh(1.0), 0.0);
    EXPECT_DOUBLE_EQ(real_chars::acoth(2.0), std::atanh(0.5));
    EXPECT_DOUBLE_EQ(real_chars::acoth(-2.0), -std::atanh(0.5));
    EXPECT_DOUBLE_EQ(real_chars::asinh(real_chars::sinh(0.7)), 0.7);
}

TEST(ElementaryFunctions, DomainErrorsAndPoles) {
    expect_error<argument_error>([] { (void)real_chars::sqrt(-1.0); }, "square root of -1 is undefined");
    expect_error<argument_error>([] { (void)real_chars::log(-2.0); }, "logarithm of -2 is undefined");
    expect_error<range_error>([] { (void)real_chars::log(0.0); }, "logarithm of 0 is infinite");
    expect_error<argument_error>([] { (void)real_chars::log(2.0, 1.0); },
                                 "logarithm to the base of 1 is undefined");
    EXPECT_THROW((void)real_chars::log(2.0, 0.0), argument_error);
    expect_error<argument_error>([] { (void)real_chars::pow(-2.0, 2.0); },
                                 "power of the negative base -2 is undefined");
    expect_error<argument_error>([] { (void)real_chars::pow(0.0, 0.0); }, "0 to the power 0 is undefined");
    expect_error<range_error>([] { (void)real_chars::pow(0.0, -1.5); }, "0 to the power -1.5 is infinite");
    expect_error<range_error>([] { (void)real_chars::cot(0.0); }, "cotangent of 0 is infinite");
    expect_error<argument_error>([] { (void)real_chars::asin(1.5); }, "arcsine of 1.5 is undefined");
    EXPECT_THROW((void)real_chars::acos(-1.01), argument_error);
    expect_error<argument_error>([] { (void)real_chars::atan(0.0, 0.0); },
                                 "arctangent of the point (0, 0) is undefined");
    EXPECT_THROW((void)real_chars::acot(0.0, 0.0), argument_error);
    EXPECT_THROW((void)real_chars::coth(0.0), range_error);
    EXPECT_THROW((void)real_chars::acosh(0.5), argument_error);
    EXPECT_THROW((void)real_chars::atanh(1.0), range_error);
    EXPECT_THROW((void)real_chars::atanh(-1.5), argument_error);
    EXPECT_THROW((void)real_chars::acoth(0.5), argument_error);
    EXPECT_THROW((void)real_chars::acoth(-1.0), range_error);
    // Not-a-number passes through rather than being reported as a domain error.
    EXPECT_TRUE(std::isnan(real_chars::sqrt(std::numeric_limits<double>::quiet_NaN())));
}
