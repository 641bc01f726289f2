#include <phylo/binary_chars.hpp>
#include <phylo/count_chars.hpp>
#include <phylo/disc_chars.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

using namespace phylo;

#define EXPECT_THROW_MSG(statement, type, text)                                              \
    do {                                                                                      \
        try {                                                                                 \
            statement;                                                                        \
            ADD_FAILURE() << "no exception from " #statement;                                \
        } catch (const type& e) {                                                             \
            EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << e.what();       \
        }                                                                                     \
    } while (false)

namespace {

count_array counts(index_type first, std::vector<count_element> values) {
    return count_array(first, std::move(values));
}

disc_array states(index_type first, const std::string& text) {
    return disc_array(first, std::vector<char>(text.begin(), text.end()));
}

std::string text(const disc_array& a) { return {a.begin(), a.end()}; }

count_vector rows(index_type first, const std::vector<std::vector<count_element>>& values) {
    count_vector v(first, first + static_cast<index_type>(values.size()) - 1);
    for (std::size_t i = 0; i < values.size(); ++i)
        v[first + static_cast<index_type>(i)] = std::make_unique<count_array>(0, values[i]);
    return v;
}

} // namespace

// ---- Extremes -------------------------------------------------------------------------------

TEST(Extremes, TwoValuesAndArrays) {
    EXPECT_EQ(count_chars::max(3, 9), 9);
    EXPECT_EQ(count_chars::min(3, 9), 3);
    EXPECT_EQ(count_chars::max(counts(4, {7})), 7);
    EXPECT_EQ(count_chars::max(counts(0, {2, 9, 4, 9, 1})), 9);
    EXPECT_EQ(count_chars::min(counts(0, {2, 9, 4, 0, 1})), 0);
    EXPECT_THROW_MSG(count_chars::max(count_array(5, 4)), range_error, "max: the array 5 .. 4 is empty");
    EXPECT_THROW_MSG(count_chars::min(count_array()), range_error, "min: the array 0 .. -1 is empty");
}

TEST(Extremes, MatricesInRowMajorOrder) {
    count_matrix m(2, 3, 5, 6);
    m(2, 5) = 4;
    m(2, 6) = 8;
    m(3, 5) = -1; // counts are stored signed: the order is numeric
    m(3, 6) = 3;
    EXPECT_EQ(count_chars::max(m), 8);
    EXPECT_EQ(count_chars::min(m), -1);
    EXPECT_THROW(count_chars::max(count_matrix(0, 2, 0, -1)), range_error);
}

TEST(Extremes, RowVectorsPerRowAndOverall) {
    auto v = rows(3, {{1, 5}, {7, 2}});
    EXPECT_EQ(count_chars::max(v, per_row), counts(3, {5, 7}));
    EXPECT_EQ(count_chars::min(v, per_row), counts(3, {1, 2}));
    EXPECT_EQ(count_chars::max(v), 7);
    EXPECT_EQ(count_chars::min(v), 1);

    EXPECT_THROW_MSG(count_chars::max(count_vector(2, 1)), range_error, "row vector 2 .. 1 is empty");
    EXPECT_TRUE(count_chars::max(count_vector(2, 1), per_row).empty());
    auto with_null = rows(0, {{1}, {2}});
    with_null[1].reset();
    EXPECT_THROW_MSG(count_chars::max(with_null), range_error, "row 1 is null");
    EXPECT_THROW_MSG(count_chars::min(with_null, per_row), range_error, "row 1 is null");
    auto with_empty = rows(0, {{1}, {}});
    EXPECT_THROW_MSG(count_chars::max(with_empty), range_error, "the array 0 .. -1 is empty");
}

TEST(Extremes, StatesCompareByUnsignedCode) {
    // A state above 127 is larger than any ASCII state whatever the signedness of char.
    const char high = static_cast<char>(0xE9);
    EXPECT_EQ(disc_chars::max(high, 'z'), high);
    EXPECT_EQ(disc_chars::min(high, 'A'), 'A');
    auto a = states(0, std::string("b") + high + "a");
    EXPECT_EQ(disc_chars::max(a), high);
    disc_chars::array_sort(a);
    EXPECT_EQ(text(a), std::string("ab") + high);
}

TEST(Extremes, BinaryValuesInDeclarationOrder) {
    EXPECT_EQ(binary_chars::max(binary::PRESENCE, binary::ABSENCE), binary::ABSENCE);
    EXPECT_EQ(binary_chars::min(binary::UNKNOWN, binary::ABSENCE), binary::ABSENCE);
    binary_array a(0, std::vector<binary>{binary::UNKNOWN, binary::PRESENCE, binary::ABSENCE});
    EXPECT_EQ(binary_chars::max(a), binary::UNKNOWN);
    binary_chars::array_sort(a);
    EXPECT_EQ(a, binary_array(0, std::vector<binary>{binary::PRESENCE, binary::ABSENCE, binary::UNKNOWN}));
}

// ---- Sorting --------------------------------------------------------------------------------

TEST(Sorting, SmallArraysKeepTheirBounds) {
    count_array empty(7, 6);
    count_chars::array_sort(empty);
    EXPECT_TRUE(empty.empty());
    auto one = counts(3, {5});
    count_chars::array_sort(one);
    EXPECT_EQ(one, counts(3, {5}));
    auto two = counts(3, {5, 1});
    count_chars::array_sort(two);
    EXPECT_EQ(two, counts(3, {1, 5}));
    auto three = counts(9, {2, 3, 1});
    count_chars::array_sort(three);
    EXPECT_EQ(three, counts(9, {1, 2, 3}));
}

TEST(Sorting, AgreesWithTheStandardSortOnManyShapes) {
    std::mt19937 random(42);
    for (int n : {4, 5, 7, 8, 15, 16, 17, 100, 1023, 1024, 1025, 5000}) {
        for (int range : {2, 10, 1000000}) {
            std::uniform_int_distribution<count_element> value(0, range - 1);
            std::vector<count_element> data(static_cast<std::size_t>(n));
            for (auto& x : data) x = value(random);
            auto a = counts(11, data);
            count_chars::array_sort(a);
            std::sort(data.begin(), data.end());
            ASSERT_EQ(a, counts(11, data)) << "n = " << n << ", range = " << range;
        }
    }
    std::vector<count_element> ascending(1000), descending(1000);
    for (int i = 0; i < 1000; ++i) ascending[static_cast<std::size_t>(i)] = i;
    descending.assign(ascending.rbegin(), ascending.rend());
    auto a = counts(0, descending);
    count_chars::array_sort(a);
    EXPECT_EQ(a, counts(0, ascending));
    auto b = counts(0, ascending);
    count_chars::array_sort(b);
    EXPECT_EQ(b, counts(0, ascending));
}

// ---- Modes ----------------------------------------------------------------------------------

TEST(Modes, MostFrequentValuesAscending) {
    EXPECT_EQ(text(disc_chars::modes(states(0, "CACBA"))), "AC");
    EXPECT_EQ(disc_chars::modes(states(4, "CACBA")).first(), 4);
    EXPECT_EQ(text(disc_chars::modes(states(0, "BAC"))), "ABC");
    EXPECT_EQ(text(disc_chars::modes(states(0, "AAB"))), "A");
    EXPECT_EQ(text(disc_chars::modes(states(0, "BAA"))), "A"); // the longest run comes last
    EXPECT_EQ(text(disc_chars::modes(states(2, "Z"))), "Z");
    EXPECT_EQ(count_chars::modes(counts(5, {3, 1, 3, 1, 2, 2, 0})), counts(5, {1, 2, 3}));
    EXPECT_EQ(binary_chars::modes(binary_array(0, std::vector<binary>{binary::UNKNOWN, binary::UNKNOWN,
                                                                     binary::PRESENCE})),
              binary_array(0, std::vector<binary>{binary::UNKNOWN}));
}

TEST(Modes, InputIsUnchangedAndEmptyFails) {
    const auto a = counts(1, {3, 1, 3});
    EXPECT_EQ(count_chars::modes(a), counts(1, {3}));
    EXPECT_EQ(a, counts(1, {3, 1, 3}));
    EXPECT_THROW_MSG(count_chars::modes(count_array(1, 0)), range_error, "modes: the array 1 .. 0 is empty");
}
