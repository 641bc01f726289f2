#include <phylo/core.hpp>

#include <gtest/gtest.h>

using namespace phylo;

TEST(FreeData, ReleasesRowsAndNullsTheReference) {
    auto data = std::make_unique<count_data>(0, 2);
    EXPECT_EQ(data->labels.length(), 3);
    data->rows[0] = std::make_unique<count_array>(0, 4);
    data->rows[2] = std::make_unique<count_array>(0, 4); // row 1 stays null
    free_data(data);
    EXPECT_EQ(data, nullptr);
}

TEST(FreeData, EmptyRecordAndNullReference) {
    auto empty = std::make_unique<real_data>(0, -1);
    EXPECT_EQ(empty->last, -1);
    EXPECT_TRUE(empty->rows.empty());
    free_data(empty);
    EXPECT_EQ(empty, nullptr);
    disc_data_access none;
    EXPECT_THROW(free_data(none), range_error);
}

TEST(Records, NegativeFirstIsARangeError) {
    EXPECT_THROW(squared(-1, 3), range_error);
    squared s(0, 1);
    EXPECT_EQ(s.matrix.rows(), 2);
    EXPECT_EQ(s.matrix(1, 1), 0.0);
}
