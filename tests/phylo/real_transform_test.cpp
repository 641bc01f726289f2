#include <phylo/real_transform.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <vector>

using namespace phylo;
using namespace phylo::real_chars;

namespace {

using rows_t = std::vector<std::vector<double>>;
const double not_a_number = std::numeric_limits<double>::quiet_NaN();

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

// A row vector over rows from row_first, every row indexed from col_first.
real_vector rows_of(const rows_t& rows, index_type row_first = 0, index_type col_first = 0) {
    real_vector v(row_first, row_first + static_cast<index_type>(rows.size()) - 1);
    for (std::size_t i = 0; i < rows.size(); ++i)
        v[row_first + static_cast<index_type>(i)] = std::make_unique<real_array>(col_first, rows[i]);
    return v;
}

rows_t contents(const real_vector& v) {
    rows_t out;
    for (const auto& r : v) out.emplace_back(r->begin(), r->end());
    return out;
}

// Straightforward reference of each transformation for element (i, j), column by column in
// long double with the textbook two-pass variance.
double reference(const rows_t& m, std::size_t i, std::size_t j, transformation kind, index_type col_first) {
    const std::size_t rows = m.size(), cols = m[0].size();
    long double row_sum = 0, col_sum = 0, ss = 0;
    double hi = -INFINITY, lo = INFINITY;
    for (double x : m[i]) row_sum += x;
    for (const auto& r : m) {
        col_sum += r[j];
        hi = std::max(hi, r[j]);
        lo = std::min(lo, r[j]);
    }
    const long double mean = col_sum / rows;
    for (const auto& r : m) ss += (r[j] - mean) * (r[j] - mean);
    const long double sd = std::sqrt(ss / rows), x = m[i][j];
    switch (kind) {
    case transformation::ROW_FRACTIONS: return double(x / row_sum);
    case transformation::COLUMN_FRACTIONS: return double(x / col_sum);
    case transformation::FOR_CHI: return double(x / row_sum * std::sqrt((long double)cols / col_sum));
    case transformation::RANGING: return double(x / hi);
    case transformation::FULL_RANGING: return double((x - lo) / (hi - lo));
    case transformation::Z_SCORES: return double(x / sd);
    case transformation::FULL_Z_SCORES: return double((x - mean) / sd);
    case transformation::RANKS:
        return double(col_first + std::count_if(m[i].begin(), m[i].end(), [&](double y) { return y < x; }));
    }
    return 0;
}

constexpr transformation all_kinds[] = {
    transformation::ROW_FRACTIONS, transformation::COLUMN_FRACTIONS, transformation::FOR_CHI,
    transformation::RANGING,       transformation::FULL_RANGING,     transformation::Z_SCORES,
    transformation::FULL_Z_SCORES, transformation::RANKS,
};

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
    expect_error<range_error>([] { (void)sum(real_matrix(0, 1, 0, -1)); }, "sum of an empty matrix");
    expect_error<range_error>([] { (void)sum(real_vector(0, -1)); }, "sum of an empty row vector");
    v[8] = std::make_unique<real_array>(0, -1);
    expect_error<range_error>([&] { (void)sum(v); }, "sum of the empty row 8");
    v[8].reset();
    EXPECT_THROW((void)sum(v, generics::per_row), range_error);
}

TEST(Parametric, MeanAndPopulationSd) {
    const auto r = parametric(values({2, 4, 4, 4, 5, 5, 7, 9}, 10));
    EXPECT_EQ(r.mean, 5.0);
    EXPECT_EQ(r.sd, 2.0);
    const auto empty = parametric(real_array(0, -1));
    EXPECT_TRUE(std::isnan(empty.mean) && std::isnan(empty.sd));
}

// The one-pass (sum of squares - sum^2 / n) / n goes negative or far off on these.
TEST(Parametric, NoCancellationOnConstantOrOffsetData) {
    for (int n : {1, 3, 10, 1000}) {
        const auto r = parametric(real_array(0, n - 1, 0.1));
        EXPECT_EQ(r.mean, 0.1) << n;
        EXPECT_EQ(r.sd, 0.0) << n;
    }
    EXPECT_NEAR(parametric(values({1e16, 1e16 + 2, 1e16})).sd, std::sqrt(8.0 / 9.0), 1e-12);
}

TEST(Nonparametric, MinMedianMax) {
    const auto odd_input = values({3, 1, 2});
    const auto odd = nonparametric(odd_input);
    EXPECT_EQ(std::vector<double>({odd.min, odd.median, odd.max}), std::vector<double>({1, 2, 3}));
    EXPECT_EQ(odd_input, values({3, 1, 2}));
    const auto even = nonparametric(values({4, 1, 3, 2}, 6));
    EXPECT_EQ(std::vector<double>({even.min, even.median, even.max}), std::vector<double>({1, 2.5, 4}));
    expect_error<range_error>([] { (void)nonparametric(real_array(1, 0)); },
                              "nonparametric statistics of an empty array");
    // Not-a-number orders last instead of upsetting the selection.
    const auto with_nan = nonparametric(values({not_a_number, 3, 1, not_a_number, 2}));
    EXPECT_EQ(with_nan.min, 1.0);
    EXPECT_EQ(with_nan.median, 3.0);
    EXPECT_TRUE(std::isnan(with_nan.max));
}

TEST(BrokenStick, ExpectedPieceSizes) {
    auto two = values({9, 9});
    broken_stick(two);
    EXPECT_EQ(two, values({0.75, 0.25}));
    auto one = values({5}, 3);
    broken_stick(one);
    EXPECT_EQ(one, values({1}, 3));
    real_array five(2, 6);
    broken_stick(five);
    EXPECT_DOUBLE_EQ(five[2], (1 + 1 / 2. + 1 / 3. + 1 / 4. + 1 / 5.) / 5);
    EXPECT_DOUBLE_EQ(five[6], 1.0 / 25);
    EXPECT_DOUBLE_EQ(sum(five), 1.0);
}

TEST(TransformMatrix, AgreesWithAStraightforwardComputation) {
    std::mt19937 gen(2024);
    for (const auto kind : all_kinds)
        for (int trial = 1; trial < 4; ++trial) {
            // Positive values keep fractions and the chi transformation away from poles.
            std::uniform_real_distribution<double> value(kind == transformation::RANKS ? -5.0 : 0.5, 10.0);
            rows_t data(static_cast<std::size_t>(1 + trial * 5), std::vector<double>(1 + trial * 3));
            for (auto& r : data)
                for (auto& x : r) x = value(gen);
            auto v = rows_of(data, 3, trial);
            transform_matrix(v, kind);
            const auto after = contents(v);
            for (std::size_t i = 0; i < data.size(); ++i)
                for (std::size_t j = 0; j < data[i].size(); ++j) {
                    const double expected = reference(data, i, j, kind, trial);
                    EXPECT_NEAR(after[i][j], expected, 1e-12 * std::max(1.0, std::abs(expected)))
                        << "kind " << static_cast<int>(kind) << " at (" << i << ", " << j << ")";
                }
        }
}

TEST(TransformMatrix, ConstantAndZeroColumns) {
    rows_t tenths;
    for (int k = 1; k <= 10; ++k) tenths.push_back({0.1, double(k)});
    const auto transformed = [&](transformation kind) {
        auto v = rows_of(tenths);
        transform_matrix(v, kind);
        return contents(v);
    };
    for (const auto& r : transformed(transformation::Z_SCORES)) EXPECT_EQ(r[0], 0.1);
    const auto full_z = transformed(transformation::FULL_Z_SCORES);
    for (const auto& r : full_z) EXPECT_EQ(r[0], 0.0);
    EXPECT_NEAR(full_z[0][1], -4.5 / std::sqrt(8.25), 1e-12);
    for (const auto& r : transformed(transformation::FULL_RANGING)) EXPECT_EQ(r[0], 0.5);

    auto zeros = rows_of({{0, 1}, {0, 3}});
    transform_matrix(zeros, transformation::COLUMN_FRACTIONS);
    EXPECT_EQ(contents(zeros), (rows_t{{0, 0.25}, {0, 0.75}}));
    // A column of negative values is divided by its negative maximum.
    auto negative = rows_of({{0, -2}, {0, -4}});
    transform_matrix(negative, transformation::RANGING);
    EXPECT_EQ(contents(negative), (rows_t{{0, 1}, {0, 2}}));
    auto chi = rows_of({{1, 0}, {3, 0}});
    transform_matrix(chi, transformation::FOR_CHI);
    EXPECT_DOUBLE_EQ(contents(chi)[1][0], std::sqrt(0.5));
    EXPECT_EQ(contents(chi)[1][1], 0.0);
}

TEST(TransformMatrix, RanksAreDistinctAndCountFromTheFirstIndex) {
    auto v = rows_of({{0.3, 0.1, 0.2}});
    transform_matrix(v, transformation::RANKS);
    EXPECT_EQ(contents(v), (rows_t{{2, 0, 1}}));
    auto from_one = rows_of({{0.3, 0.1, 0.2}, {-1, -2, -3}}, 0, 1);
    transform_matrix(from_one, transformation::RANKS);
    EXPECT_EQ(contents(from_one), (rows_t{{3, 1, 2}, {3, 2, 1}}));
    auto ties = rows_of({{0.5, 0.5, 0.1, 0.5, not_a_number}});
    transform_matrix(ties, transformation::RANKS);
    auto r = contents(ties)[0];
    EXPECT_EQ(r[2], 0.0);
    EXPECT_EQ(r[4], 4.0);
    std::sort(r.begin(), r.end());
    EXPECT_EQ(r, (std::vector<double>{0, 1, 2, 3, 4}));
}

TEST(TransformMatrix, FailuresChangeNothing) {
    const rows_t uneven{{1, 2, 3}, {4, 5, 6, 7}};
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
    for (const auto kind : all_kinds) {
        auto no_characters = rows_of({{}, {}});
        transform_matrix(no_characters, kind);
        EXPECT_EQ(contents(no_characters), (rows_t{{}, {}}));
    }
}

TEST(Standardize, UsesTheOldDiagonal) {
    real_matrix m(0, 1, 0, 1);
    m(0, 0) = 2, m(0, 1) = 1, m(1, 0) = 1, m(1, 1) = 4;
    standardize(m);
    EXPECT_EQ(m(0, 0), 1.0);
    EXPECT_EQ(m(1, 1), 1.0);
    EXPECT_DOUBLE_EQ(m(0, 1), 1.0 / 3);
    EXPECT_EQ(m(1, 0), m(0, 1));

    // More than one tile of the blocked walk, from index 1, against the formula itself.
    std::mt19937 gen(5);
    std::uniform_real_distribution<double> value(0.1, 1.0);
    const index_type n = 150;
    real_matrix big(1, n, 1, n);
    for (index_type i = 1; i <= n; ++i)
        for (index_type j = 1; j <= n; ++j) big(i, j) = value(gen);
    const real_matrix before = big;
    standardize(big);
    for (index_type i = 1; i <= n; ++i)
        for (index_type j = 1; j <= n; ++j)
            ASSERT_EQ(big(i, j), i == j ? 1.0 : (before(i, j) + before(j, i)) / (before(i, i) + before(j, j)))
                << i << ", " << j;
}

TEST(Standardize, ShapeErrors) {
    real_matrix wide(0, 1, 0, 2);
    expect_error<basic::size_error>([&] { standardize(wide); }, "standardize needs a square matrix, not 2 x 3");
    real_matrix empty;
    expect_error<range_error>([&] { standardize(empty); }, "standardize of an empty matrix");
    real_matrix shifted(0, 1, 1, 2);
    expect_error<range_error>([&] { standardize(shifted); },
                              "standardize needs equal row and column bounds, not 0 .. 1 and 1 .. 2");
}

TEST(ElementaryFunctions, ValuesAndDomains) {
    EXPECT_EQ(real_chars::sqrt(2.25), 1.5);
    EXPECT_DOUBLE_EQ(real_chars::log(8.0, 2.0), 3.0);
    EXPECT_DOUBLE_EQ(real_chars::acot(-1.0), 3 * std::numbers::pi / 4);
    EXPECT_TRUE(std::isnan(real_chars::sqrt(not_a_number)));
    expect_error<argument_error>([] { (void)real_chars::sqrt(-1.0); }, "square root of -1 is undefined");
    expect_error<range_error>([] { (void)real_chars::log(0.0); }, "logarithm of 0 is infinite");
    expect_error<argument_error>([] { (void)real_chars::pow(0.0, 0.0); }, "0 to the power 0 is undefined");
    expect_error<range_error>([] { (void)real_chars::pow(0.0, -1.5); }, "0 to the power -1.5 is infinite");
    for (const auto& f : {+[] { (void)real_chars::log(2.0, 1.0); }, +[] { (void)real_chars::pow(-2.0, 2.0); },
                          +[] { (void)real_chars::asin(1.5); }, +[] { (void)real_chars::atan(0.0, 0.0); },
                          +[] { (void)real_chars::acosh(0.5); }, +[] { (void)real_chars::acoth(0.5); }})
        EXPECT_THROW(f(), argument_error);
    for (const auto& f : {+[] { (void)real_chars::cot(0.0); }, +[] { (void)real_chars::atanh(1.0); }})
        EXPECT_THROW(f(), range_error);
}
