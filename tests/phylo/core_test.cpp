#include <phylo/core.hpp>

#include <gtest/gtest.h>

#include <string>
#include <type_traits>

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
    try {
        free_data(none);
        ADD_FAILURE() << "no range error";
    } catch (const range_error& e) {
        EXPECT_EQ(std::string(e.what()), "free_data: the data record reference is null");
    }
    binary_data_access no_binary;
    EXPECT_THROW(free_data(no_binary), range_error);
}

TEST(Records, StartEmptyWithNullRowsAndValueInitialisedElements) {
    binary_data b(3, 5);
    EXPECT_EQ(b.first, 3);
    EXPECT_EQ(b.last, 5);
    EXPECT_EQ(b.labels.first(), 3);
    for (index_type i = 3; i <= 5; ++i) {
        EXPECT_TRUE(b.labels[i].empty());
        EXPECT_EQ(b.rows[i], nullptr);
    }
    EXPECT_EQ(binary_array(0, 1)[1], binary::PRESENCE);
    EXPECT_EQ(disc_matrix(0, 0, 0, 0)(0, 0), '\0');
    static_assert(std::is_same_v<disc_data::row_vector, disc_vector>);
    static_assert(std::is_same_v<real_data::row_vector, real_vector>);
}

TEST(Records, NegativeFirstIsARangeError) {
    EXPECT_THROW(squared(-1, 3), range_error);
    EXPECT_THROW(disc_data(-2, 0), range_error);
    EXPECT_THROW(taxon_labels(-1, 0), range_error);
    disc_data empty_below_zero(-1, -2); // an empty range may start anywhere
    EXPECT_TRUE(empty_below_zero.rows.empty());
    squared s(0, 1);
    EXPECT_EQ(s.matrix.rows(), 2);
    EXPECT_EQ(s.matrix.col_first(), 0);
    EXPECT_EQ(s.matrix(1, 1), 0.0);
}
