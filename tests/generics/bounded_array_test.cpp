#include "../test_support.hpp"

#include <generics/bounded_array.hpp>

using generics::bounded_array;
using generics::bounded_matrix;
using generics::range_error;

TEST(BoundedArray, CheckedAccessValidRangesAndRowMajorMatrices) {
    bounded_array<int> a(3, 5);
    EXPECT_EQ(a.length(), 3);
    EXPECT_EQ(a[3], 0); // value-initialised
    EXPECT_THROW(a[2], range_error);
    test_support::expect_error<range_error>([&] { a[6]; }, "index 6 outside the bounds 3 .. 5");
    EXPECT_TRUE((bounded_array<std::string>(-3, -4)).empty()); // empty ranges may start anywhere
    EXPECT_THROW((bounded_array<int>(-1, 2)), range_error);
    EXPECT_THROW((bounded_array<int>(0, generics::max_index + 1)), range_error);

    bounded_matrix<int> m(1, 2, 5, 7); // shifted bounds
    m(2, 6) = 4;
    EXPECT_TRUE(m.row(2)[1] == 4 && m.data()[4] == 4);
    EXPECT_THROW(m(0, 5), range_error);
    EXPECT_THROW(m(1, 8), range_error);
    EXPECT_TRUE((bounded_matrix<int>(0, -1, 0, -1)).empty());
}
