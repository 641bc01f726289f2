#include <generics/bounded_array.hpp>

#include <gtest/gtest.h>

#include <string>

using generics::bounded_array;
using generics::bounded_matrix;
using generics::range_error;

TEST(BoundedArray, BoundsAndCheckedAccess) {
    bounded_array<int> a(3, 5);
    EXPECT_EQ(a.first(), 3);
    EXPECT_EQ(a.last(), 5);
    EXPECT_EQ(a.length(), 3);
    EXPECT_EQ(a[3], 0); // value-initialised
    a[5] = 7;
    EXPECT_EQ(a[5], 7);
    EXPECT_THROW(a[2], range_error);
    EXPECT_THROW(a[6], range_error);
    try {
        a[9];
        FAIL();
    } catch (const generics::error& e) {
        EXPECT_STREQ(e.name(), "range error");
        EXPECT_STREQ(e.message(), "index 9 outside the bounds 3 .. 5");
    }
}

TEST(BoundedArray, EmptyRangesAndNegativeFirst) {
    bounded_array<std::string> e(1, 0);
    EXPECT_TRUE(e.empty());
    EXPECT_EQ(e.first(), 1);
    EXPECT_EQ(e.last(), 0);
    EXPECT_NO_THROW((bounded_array<int>(-3, -4))); // empty ranges may start anywhere
    EXPECT_THROW((bounded_array<int>(-1, 2)), range_error);
    EXPECT_THROW((bounded_array<int>(0, generics::max_index + 1)), range_error);
}

TEST(BoundedMatrix, RowMajorWithShiftedBounds) {
    bounded_matrix<int> m(1, 2, 5, 7);
    EXPECT_EQ(m.rows(), 2);
    EXPECT_EQ(m.cols(), 3);
    m(2, 6) = 4;
    EXPECT_EQ(m.row(2)[1], 4);
    EXPECT_EQ(m.data()[4], 4);
    EXPECT_THROW(m(0, 5), range_error);
    EXPECT_THROW(m(1, 8), range_error);
    bounded_matrix<int> empty(0, -1, 0, -1);
    EXPECT_TRUE(empty.empty());
}
