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

real_array reals(index_type first, std::vector<double> values) {
    return real_array(first, std::move(values));
}

} // namespace

TEST(RealExtremes, NotANumberOrdersAfterEveryNumberWhereverItStands) {
    EXPECT_TRUE(std::isnan(real_chars::max(1.0, not_a_number)));
    EXPECT_TRUE(std::isnan(real_chars::max(not_a_number, 1.0)));
    EXPECT_EQ(real_chars::min(1.0, not_a_number), 1.0);
    EXPECT_EQ(real_chars::min(not_a_number, 1.0), 1.0);
    // The folds give the same extremes in every arrangement.
    const struct {
        std::vector<double> values;
        double min;
    } cases[] = {{{2, not_a_number}, 2},
                 {{not_a_number, 2}, 2},
                 {{not_a_number, 3, -1, not_a_number}, -1},
                 {{5, not_a_number, 4}, 4},
                 {{not_a_number}, not_a_number}};
    for (const auto& c : cases) {
        const auto a = reals(3, c.values);
        EXPECT_TRUE(std::isnan(real_chars::max(a))) << c.values.size();
        const double m = real_chars::min(a);
        EXPECT_TRUE(m == c.min || (std::isnan(m) && std::isnan(c.min))) << c.values.size();
    }
}

// Sorted in place with the bounds kept: the numbers first, as the standard sort orders them,
// the not-a-numbers after them; the sort neither loses nor invents values.
TEST(RealSorting, AgreesWithTheStandardSortAndPutsNotANumbersLast) {
    std::vector<double> plain = {0.5, -2.0, 3.25, -2.0, 0.0, 1e10, -1e-10}, mixed;
    std::mt19937 random(7);
    std::normal_distribution<double> value(0.0, 100.0);
    for (int i = 0; i < 3000; ++i) plain.push_back(value(random));
    for (int i = 0; i < 200; ++i) // 29 not-a-numbers
        mixed.push_back(i % 7 == 0 ? not_a_number : static_cast<double>((i * 37) % 101));
    for (const auto& data : {plain, mixed}) {
        auto a = reals(5, data);
        real_chars::array_sort(a);
        std::vector<double> numbers;
        std::copy_if(data.begin(), data.end(), std::back_inserter(numbers),
                     [](double x) { return !std::isnan(x); });
        std::sort(numbers.begin(), numbers.end());
        ASSERT_TRUE(a.first() == 5 && a.length() == static_cast<index_type>(data.size()));
        EXPECT_TRUE(std::equal(numbers.begin(), numbers.end(), a.begin()));
        EXPECT_TRUE(std::all_of(a.begin() + static_cast<std::ptrdiff_t>(numbers.size()), a.end(),
                                [](double x) { return std::isnan(x); }));
    }
}
