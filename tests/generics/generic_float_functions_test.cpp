#include <phylo/real_chars.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace phylo;

namespace {

real_array reals(index_type first, std::vector<double> values) { return real_array(first, std::move(values)); }

} // namespace

TEST(RealExtremes, ArraysMatricesAndVectors) {
    EXPECT_EQ(real_chars::max(-1.5, -2.5), -1.5);
    EXPECT_EQ(real_chars::min(-1.5, -2.5), -2.5);
    EXPECT_EQ(real_chars::max(reals(2, {-3.0, -1.0, -2.0})), -1.0);
    EXPECT_EQ(real_chars::min(reals(2, {0.5, 1e-300, 2.0})), 1e-300);

    real_matrix m(0, 1, 1, 2);
    m(0, 1) = 1.0;
    m(0, 2) = -4.0;
    m(1, 1) = 3.5;
    m(1, 2) = 2.0;
    EXPECT_EQ(real_chars::max(m), 3.5);
    EXPECT_EQ(real_chars::min(m), -4.0);

    real_vector v(0, 1);
    v[0] = std::make_unique<real_array>(reals(0, {1.0, 5.0}));
    v[1] = std::make_unique<real_array>(reals(3, {7.0, 2.0}));
    EXPECT_EQ(real_chars::max(v, per_row), reals(0, {5.0, 7.0}));
    EXPECT_EQ(real_chars::min(v), 1.0);
    try {
        real_chars::max(real_array(0, -1));
        ADD_FAILURE() << "no range error";
    } catch (const range_error& e) {
        EXPECT_EQ(std::string(e.what()), "max: the array 0 .. -1 is empty");
    }
}

TEST(RealExtremes, NotANumberFollowsTheComparison) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // a if a > b, else b: a comparison with nan is false, so the second operand wins.
    EXPECT_TRUE(std::isnan(real_chars::max(1.0, nan)));
    EXPECT_EQ(real_chars::max(nan, 1.0), 1.0);
}

TEST(RealSorting, AscendingWithNegativesAndDuplicates) {
    auto a = reals(5, {0.5, -2.0, 3.25, -2.0, 0.0, 1e10, -1e-10});
    real_chars::array_sort(a);
    EXPECT_EQ(a, reals(5, {-2.0, -2.0, -1e-10, 0.0, 0.5, 3.25, 1e10}));

    std::mt19937 random(7);
    std::normal_distribution<double> value(0.0, 100.0);
    std::vector<double> data(3001);
    for (auto& x : data) x = value(random);
    auto b = reals(0, data);
    real_chars::array_sort(b);
    std::sort(data.begin(), data.end());
    EXPECT_EQ(b, reals(0, data));
}

TEST(RealSorting, NotANumbersStayInsideTheArray) {
    // Not-a-numbers break the order; the sort must still neither lose nor invent values.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> data;
    for (int i = 0; i < 200; ++i) data.push_back(i % 7 == 0 ? nan : static_cast<double>((i * 37) % 101));
    auto a = reals(0, data);
    real_chars::array_sort(a);
    EXPECT_EQ(std::count_if(a.begin(), a.end(), [](double x) { return std::isnan(x); }),
              std::count_if(data.begin(), data.end(), [](double x) { return std::isnan(x); }));
    std::vector<double> kept, expected;
    for (double x : a) if (!std::isnan(x)) kept.push_back(x);
    for (double x : data) if (!std::isnan(x)) expected.push_back(x);
    std::sort(kept.begin(), kept.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(kept, expected);
}
