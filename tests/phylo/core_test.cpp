#include <phylo/core.hpp>

#include <gtest/gtest.h>

#include <string>

using namespace phylo;

TEST(FreeData, ReleasesRecordsWithNullRowsAndRefusesANullReference) {
    auto data = std::make_unique<count_data>(0, 2);
    data->rows[0] = std::make_unique<count_array>(0, 4);
    data->rows[2] = std::make_unique<count_array>(0, 4); // row 1 stays null
    free_data(data);
    EXPECT_EQ(data, nullptr);
    auto empty = std::make_unique<real_data>(0, -1);
    free_data(empty);
    EXPECT_EQ(empty, nullptr);
    disc_data_access none;
    try {
        free_data(none);
        ADD_FAILURE() << "no range error";
    } catch (const range_error& e) {
        EXPECT_EQ(std::string(e.what()), "free_data: the data record reference is null");
    }
}

TEST(Records, StartWithNullRowsAndZeroedElements) {
    binary_data b(3, 5);
    EXPECT_EQ(b.labels.first(), 3);
    for (index_type i = 3; i <= 5; ++i) EXPECT_TRUE(b.labels[i].empty() && b.rows[i] == nullptr);
    EXPECT_EQ(binary_array(0, 1)[1], binary::PRESENCE);
    EXPECT_EQ(squared(0, 1).matrix(1, 1), 0.0);
    // A negative first index is refused, but an empty range may start anywhere.
    EXPECT_THROW(squared(-1, 3), range_error);
    EXPECT_THROW(disc_data(-2, 0), range_error);
    EXPECT_TRUE(disc_data(-1, -2).rows.empty());
}
