#include "../test_support.hpp"

#include <phylo/binary_chars.hpp>
#include <phylo/count_chars.hpp>
#include <phylo/disc_chars.hpp>
#include <phylo/real_chars.hpp>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <type_traits>
#include <vector>

using namespace phylo;

// The statement throws range_error with a message holding `text`.
#define FAILS(statement, text) test_support::expect_error<range_error>([&] { statement; }, text)

namespace {

count_array counts(index_type first, std::vector<count_element> values) {
    return count_array(first, std::move(values));
}
disc_array states(index_type first, const std::string& text) {
    return disc_array(first, std::vector<char>(text.begin(), text.end()));
}
std::string text(const disc_array& a) { return {a.begin(), a.end()}; }

} // namespace

TEST(Extremes, ArraysMatricesAndRowVectors) {
    EXPECT_EQ(count_chars::max(counts(0, {2, 9, 4, 9, 1})), 9);
    EXPECT_EQ(count_chars::min(counts(0, {2, 9, 4, 0, 1})), 0);
    FAILS(count_chars::max(count_array(5, 4)), "max: the array 5 .. 4 is empty");

    count_matrix m(2, 3, 5, 6);
    m(2, 6) = 8;
    m(3, 5) = -1; // counts are stored signed: the order is numeric
    EXPECT_TRUE(count_chars::max(m) == 8 && count_chars::min(m) == -1);
    FAILS(count_chars::max(count_matrix(0, 2, 0, -1)), "");

    // Per row and overall.
    count_vector v(3, 4);
    v[3] = std::make_unique<count_array>(counts(0, {1, 5}));
    v[4] = std::make_unique<count_array>(counts(2, {7, 2}));
    EXPECT_EQ(count_chars::max(v, per_row), counts(3, {5, 7}));
    EXPECT_EQ(count_chars::min(v), 1);
    FAILS(count_chars::max(count_vector(2, 1)), "row vector 2 .. 1 is empty");
    EXPECT_TRUE(count_chars::max(count_vector(2, 1), per_row).empty());
    v[4] = std::make_unique<count_array>();
    FAILS(count_chars::max(v), "the array 0 .. -1 is empty");
    v[4].reset();
    FAILS(count_chars::max(v), "row 4 is null");
    FAILS(count_chars::min(v, per_row), "row 4 is null");

    // A state above 127 is larger than any ASCII state whatever the signedness of char;
    // binary values sort in their declaration order.
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
// several heap levels, with few and many distinct values; reals as well with not-a-numbers,
// which go after every number.
template <class Element>
class Sorting : public testing::Test {};
using sorted_elements = testing::Types<count_element, real_element>;
TYPED_TEST_SUITE(Sorting, sorted_elements);

TYPED_TEST(Sorting, AgreesWithTheStandardSortOnManyShapes) {
    using element = TypeParam;
    constexpr bool real = std::is_floating_point_v<element>;
    const auto is_nan = [](element x) {
        if constexpr (real) return std::isnan(x);
        return false;
    };
    std::mt19937 random(42);
    for (int n : {0, 1, 2, 3, 4, 5, 7, 8, 15, 16, 17, 100, 1023, 1024, 1025, 5000}) {
        for (int range : {2, 10, 1000000}) {
            for (const bool gaps : {false, true}) {
                if (gaps && !real) break;
                std::uniform_int_distribution<int> value(0, range - 1);
                std::vector<element> data(static_cast<std::size_t>(n));
                // Reals are spread over negative and fractional values.
                for (auto& x : data)
                    x = real ? static_cast<element>(value(random) - range / 2) / 8
                             : static_cast<element>(value(random));
                if (gaps)
                    for (std::size_t i = 0; i < data.size(); i += 7)
                        data[i] = std::numeric_limits<element>::quiet_NaN();
                generics::bounded_array<element> a(11, data);
                character_kind<element>::order::array_sort(a);
                // std::partition, not std::ranges::partition: clang 14 cannot compile the latter
                // with libstdc++ 12.
                const auto numbers =
                    std::partition(data.begin(), data.end(), [&](element x) { return !is_nan(x); });
                std::sort(data.begin(), numbers);
                ASSERT_TRUE(a.first() == 11 && a.length() == n);
                for (index_type i = 0; i < n; ++i) {
                    const element x = a[11 + i], y = data[static_cast<std::size_t>(i)];
                    ASSERT_TRUE(x == y || (is_nan(x) && is_nan(y)))
                        << "n = " << n << ", range = " << range << ", at " << i;
                }
            }
        }
    }
}

TEST(Modes, MostFrequentValuesAscendingFromTheFirstIndex) {
    // In "BAA" the longest run comes last.
    using pairs = std::pair<const char*, const char*>[];
    for (const auto& [in, out] :
         pairs{{"CACBA", "AC"}, {"BAC", "ABC"}, {"AAB", "A"}, {"BAA", "A"}, {"Z", "Z"}}) {
        const auto m = disc_chars::modes(states(4, in));
        EXPECT_TRUE(text(m) == out && m.first() == 4) << in;
    }
    const auto a = counts(5, {3, 1, 3, 1, 2, 2, 0});
    EXPECT_EQ(count_chars::modes(a), counts(5, {1, 2, 3}));
    EXPECT_EQ(a, counts(5, {3, 1, 3, 1, 2, 2, 0})); // the input is not sorted in place
    FAILS(count_chars::modes(count_array(1, 0)), "modes: the array 1 .. 0 is empty");
}
