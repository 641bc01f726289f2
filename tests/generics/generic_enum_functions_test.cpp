#include "../test_support.hpp"

#include <phylo/binary_chars.hpp>
#include <phylo/count_chars.hpp>
#include <phylo/disc_chars.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

using namespace phylo;

// Checks the exception's type and that its message holds `text`.
#define EXPECT_THROW_MSG(statement, type, text)                                                    \
    test_support::expect_error<type>([&] { statement; }, text)

namespace {

count_array counts(index_type first, std::vector<count_element> values) {
    return count_array(first, std::move(values));
}
disc_array states(index_type first, const std::string& text) {
    return disc_array(first, std::vector<char>(text.begin(), text.end()));
}
std::string text(const disc_array& a) { return {a.begin(), a.end()}; }

} // namespace

TEST(Extremes, ArraysAndMatrices) {
    EXPECT_EQ(count_chars::max(counts(0, {2, 9, 4, 9, 1})), 9);
    EXPECT_EQ(count_chars::min(counts(0, {2, 9, 4, 0, 1})), 0);
    EXPECT_THROW_MSG(count_chars::max(count_array(5, 4)), range_error,
                     "max: the array 5 .. 4 is empty");

    count_matrix m(2, 3, 5, 6);
    m(2, 6) = 8;
    m(3, 5) = -1; // counts are stored signed: the order is numeric
    EXPECT_EQ(count_chars::max(m), 8);
    EXPECT_EQ(count_chars::min(m), -1);
    EXPECT_THROW(count_chars::max(count_matrix(0, 2, 0, -1)), range_error);
}

TEST(Extremes, RowVectorsPerRowAndOverall) {
    count_vector v(3, 4);
    v[3] = std::make_unique<count_array>(counts(0, {1, 5}));
    v[4] = std::make_unique<count_array>(counts(2, {7, 2}));
    EXPECT_EQ(count_chars::max(v, per_row), counts(3, {5, 7}));
    EXPECT_EQ(count_chars::min(v), 1);

    EXPECT_THROW_MSG(count_chars::max(count_vector(2, 1)), range_error,
                     "row vector 2 .. 1 is empty");
    EXPECT_TRUE(count_chars::max(count_vector(2, 1), per_row).empty());
    v[4] = std::make_unique<count_array>();
    EXPECT_THROW_MSG(count_chars::max(v), range_error, "the array 0 .. -1 is empty");
    v[4].reset();
    EXPECT_THROW_MSG(count_chars::max(v), range_error, "row 4 is null");
    EXPECT_THROW_MSG(count_chars::min(v, per_row), range_error, "row 4 is null");
}

TEST(Extremes, StatesByUnsignedCodeAndBinaryValuesInDeclarationOrder) {
    // A state above 127 is larger than any ASCII state whatever the signedness of char.
    const char high = static_cast<char>(0xE9);
    auto a = states(0, std::string("b") + high + "a");
    EXPECT_EQ(disc_chars::max(a), high);
    disc_chars::array_sort(a);
    EXPECT_EQ(text(a), std::string("ab") + high);

    binary_array b(0, std::vector<binary>{binary::UNKNOWN, binary::PRESENCE, binary::ABSENCE});
    binary_chars::array_sort(b);
    EXPECT_EQ(b, binary_array(
                     0, std::vector<binary>{binary::PRESENCE, binary::ABSENCE, binary::UNKNOWN}));
}

// Sorted in place with the bounds kept, against the standard sort, from empty arrays to
// several heap levels, with few and many distinct values.
TEST(Sorting, AgreesWithTheStandardSortOnManyShapes) {
    const auto sorts_right = [](std::vector<count_element> data) {
        auto a = counts(11, data);
        count_chars::array_sort(a);
        std::sort(data.begin(), data.end());
        return a == counts(11, data);
    };
    std::mt19937 random(42);
    for (int n : {0, 1, 2, 3, 4, 5, 7, 8, 15, 16, 17, 100, 1023, 1024, 1025, 5000}) {
        for (int range : {2, 10, 1000000}) {
            std::uniform_int_distribution<count_element> value(0, range - 1);
            std::vector<count_element> data(static_cast<std::size_t>(n));
            for (auto& x : data) x = value(random);
            ASSERT_TRUE(sorts_right(data)) << "n = " << n << ", range = " << range;
        }
    }
}

TEST(Modes, MostFrequentValuesAscendingFromTheFirstIndex) {
    const std::pair<const char*, const char*> cases[] = {{"CACBA", "AC"},
                                                         {"BAC", "ABC"},
                                                         {"AAB", "A"},
                                                         {"BAA", "A"} /* longest run last */,
                                                         {"Z", "Z"}};
    for (const auto& [in, out] : cases) {
        const auto m = disc_chars::modes(states(4, in));
        EXPECT_EQ(text(m), out) << in;
        EXPECT_EQ(m.first(), 4) << in;
    }
    const auto a = counts(5, {3, 1, 3, 1, 2, 2, 0});
    EXPECT_EQ(count_chars::modes(a), counts(5, {1, 2, 3}));
    EXPECT_EQ(a, counts(5, {3, 1, 3, 1, 2, 2, 0})); // the input is not sorted in place
    EXPECT_THROW_MSG(count_chars::modes(count_array(1, 0)), range_error,
                     "modes: the array 1 .. 0 is empty");
}
