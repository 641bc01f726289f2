#include <phylo/real_chars.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using namespace phylo;

// Matrices, row vectors and empty operands share their code with the discrete kinds, and so
// does sorting (checked beside the counts' in generic_enum_functions_test).

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
