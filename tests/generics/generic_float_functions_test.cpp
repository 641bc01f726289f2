#include <phylo/real_chars.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <random>
#include <vector>

using namespace phylo;

// Matrices, row vectors and empty operands share their code with the discrete kinds.

namespace {

const double not_a_number = std::numeric_limits<double>::quiet_NaN();

real_array reals(index_type first, std::vector<double> values) { return real_array(first, std::move(values)); }

} // namespace

TEST(RealExtremes, NotANumberFollowsThePlainComparison) {
    // a if a > b, else b: a comparison with nan is false, so the second operand wins.
    EXPECT_TRUE(std::isnan(real_chars::max(1.0, not_a_number)));
    EXPECT_EQ(real_chars::max(not_a_number, 1.0), 1.0);
}

TEST(RealSorting, AgreesWithTheStandardSort) {
    std::vector<double> data = {0.5, -2.0, 3.25, -2.0, 0.0, 1e10, -1e-10};
    std::mt19937 random(7);
    std::normal_distribution<double> value(0.0, 100.0);
    for (int i = 0; i < 3000; ++i) data.push_back(value(random));
    auto a = reals(5, data);
    real_chars::array_sort(a);
    std::sort(data.begin(), data.end());
    EXPECT_EQ(a, reals(5, data));
}

TEST(RealSorting, NotANumbersStayInsideTheArray) {
    // Not-a-numbers break the order; the sort must still neither lose nor invent values. With
    // the length unchanged, equal numbers on both sides mean equal not-a-numbers too.
    std::vector<double> data;
    for (int i = 0; i < 200; ++i) data.push_back(i % 7 == 0 ? not_a_number : static_cast<double>((i * 37) % 101));
    auto a = reals(0, data);
    real_chars::array_sort(a);
    const auto numbers = [](auto first, auto last) {
        std::vector<double> kept;
        std::copy_if(first, last, std::back_inserter(kept), [](double x) { return !std::isnan(x); });
        std::sort(kept.begin(), kept.end());
        return kept;
    };
    ASSERT_EQ(a.length(), 200);
    EXPECT_EQ(numbers(a.begin(), a.end()), numbers(data.begin(), data.end()));
}
