#include "../test_support.hpp"

#include <phylo/count_chars.hpp>
#include <phylo/real_chars.hpp>
#include <phylo/taxonomy/group_names.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

using namespace phylo;
using cc = count_chars::basic;
using counts = std::vector<count_element>;

// Checks the exception's type and that its message holds `text`.
#define EXPECT_THROW_MSG(statement, type, text)                                                    \
    test_support::expect_error<type>([&] { statement; }, text)

namespace {

count_array arr(index_type first, counts values) { return count_array(first, std::move(values)); }

count_array_access row_of(index_type first, counts values) {
    return std::make_unique<count_array>(first, std::move(values));
}

template <class... Rows>
count_vector vec(index_type first, Rows... rows) {
    count_vector v(first, first + static_cast<index_type>(sizeof...(Rows)) - 1);
    index_type i = first;
    ((v[i++] = std::move(rows)), ...);
    return v;
}

// A matrix of the given rows (at least one) with its first row and column at the given indices.
count_matrix mat(index_type row_first, index_type col_first, const std::vector<counts>& rows) {
    count_matrix result(row_first, row_first + static_cast<index_type>(rows.size()) - 1, col_first,
                        col_first + static_cast<index_type>(rows[0].size()) - 1);
    count_element* to = result.data();
    for (const auto& r : rows) to = std::copy(r.begin(), r.end(), to);
    return result;
}

count_element plus(const count_element& a, const count_element& b) { return a + b; }
count_element minus(const count_element& a, const count_element& b) { return a - b; }

} // namespace

TEST(RowManagement, FreeAndResize) {
    auto v = vec(3, row_of(0, {1}), count_array_access{}, row_of(0, {2}));
    cc::free_array(v); // null rows are skipped
    for (const auto& r : v) EXPECT_EQ(r, nullptr);

    // Resizing only shrinks; on a failure the rows already cut stay cut.
    auto w = vec(0, row_of(0, {0, 1, 2, 3, 4, 5}), row_of(3, {13, 14, 15}));
    EXPECT_THROW_MSG(cc::resize(w, 0, 6), range_error, "index 6 outside the bounds 0 .. 5");
    EXPECT_EQ(w[0]->length(), 6);
    EXPECT_THROW_MSG(cc::resize(w, 2, 4), range_error, "index 2 outside the bounds 3 .. 5");
    EXPECT_EQ(*w[0], arr(2, {2, 3, 4}));
    cc::resize(w, 3, 4);
    EXPECT_EQ(*w[0], arr(3, {3, 4}));
    EXPECT_EQ(*w[1], arr(3, {13, 14}));
    cc::resize(w, 5, 4); // an empty range releases every row
    EXPECT_EQ(w[1], nullptr);
    EXPECT_THROW_MSG(cc::resize(w, 0, 0), range_error, "row 0 is null");
}

TEST(RowManagement, MoveHandsRowsOverIndexByIndex) {
    auto source = vec(1, row_of(0, {1}), row_of(5, {2, 3}));
    auto target = vec(0, row_of(0, {9}), row_of(0, {8}), count_array_access{}, row_of(0, {7}));
    cc::move(source, target);
    EXPECT_TRUE(source[1] == nullptr && source[2] == nullptr);
    EXPECT_EQ(*target[1], arr(0, {1}));
    cc::move(target, target); // onto itself: nothing changes
    EXPECT_TRUE(target[2] != nullptr && *target[2] == arr(5, {2, 3}));

    EXPECT_THROW_MSG(cc::move(target, source), count_chars::size_error,
                     "4 rows, the target only 2");
    EXPECT_NE(target[0], nullptr); // nothing changed
    // Equal lengths, shifted bounds: index 1 is not in the target.
    auto shifted = vec(1, row_of(0, {1}));
    auto at_zero = vec(0, row_of(0, {9}));
    EXPECT_THROW_MSG(cc::move(shifted, at_zero), range_error, "index 1 outside the bounds 0 .. 0");

    // A null source row fails before the target's row at that index is released.
    auto with_null = vec(0, row_of(0, {1}), count_array_access{});
    auto kept = vec(0, row_of(0, {8}), row_of(0, {9}));
    EXPECT_THROW_MSG(cc::move(with_null, kept), range_error, "row 1 is null");
    EXPECT_EQ(*kept[0], arr(0, {1}));
    EXPECT_TRUE(kept[1] != nullptr && *kept[1] == arr(0, {9}));
}

// A rows x cols vector with rows from 2 and columns from 3 and distinct elements, transposed
// and transposed back; both directions cross the edges of the transposition tiles.
template <class Family, class Make>
void check_transpose_round_trip(index_type rows, index_type cols, Make make) {
    typename Family::vector v(2, rows + 1);
    for (index_type i = 2; i <= rows + 1; ++i) {
        v[i] = std::make_unique<typename Family::array>(3, cols + 2);
        for (index_type j = 3; j <= cols + 2; ++j) (*v[i])[j] = make(i, j);
    }
    auto t = Family::transpose(v);
    ASSERT_EQ(t.first(), 3);
    ASSERT_EQ(t.length(), cols);
    for (index_type j = 3; j <= cols + 2; ++j) {
        ASSERT_EQ(t[j]->first(), 2);
        for (index_type i = 2; i <= rows + 1; ++i)
            ASSERT_EQ((*t[j])[i], make(i, j)) << i << ", " << j;
    }
    auto back = Family::transpose(t);
    for (index_type i = 2; i <= rows + 1; ++i) ASSERT_EQ(*back[i], *v[i]);
}

TEST(Conversions, TransposeOfShapesThatDoNotFitTheTiles) {
    // Four-byte, eight-byte and string elements take different copying paths.
    for (auto [rows, cols] :
         {std::pair<index_type, index_type>{37, 45}, {8, 8}, {16, 9}, {1, 17}, {7, 1}}) {
        check_transpose_round_trip<cc>(rows, cols, [](index_type i, index_type j) {
            return static_cast<count_element>(i * 1000 + j);
        });
        check_transpose_round_trip<real_chars::basic>(rows, cols, [](index_type i, index_type j) {
            return static_cast<double>(i) + j / 1000.0;
        });
        check_transpose_round_trip<taxonomy::group_names>(
            rows, cols,
            [](index_type i, index_type j) { return std::to_string(i) + "/" + std::to_string(j); });
    }
}

TEST(Conversions, TransposeFailuresAndEachFormsOwnSizeError) {
    // Each form's size_error is its own (a handler for another form's does not catch it) and
    // no range error.
    static_assert(!std::is_base_of_v<real_chars::size_error, count_chars::size_error>);
    static_assert(!std::is_base_of_v<taxonomy::group_names::size_error, count_chars::size_error>);
    static_assert(!std::is_base_of_v<std::out_of_range, count_chars::size_error>);
    EXPECT_THROW_MSG(cc::transpose(vec(0, row_of(0, {1, 2}), row_of(0, {1, 2, 3}))),
                     count_chars::size_error, "differ in length");
    EXPECT_THROW_MSG(cc::transpose(vec(0, row_of(0, {1, 2}), row_of(1, {1, 2}))), range_error,
                     "row 1 has the bounds 1 .. 2, the first row 0 .. 1");
    EXPECT_THROW_MSG(cc::transpose(count_vector(4, 3)), range_error, "4 .. 3 is empty");
    EXPECT_TRUE(cc::is_squared(count_matrix(0, 2, 1, 3))); // lengths, not bounds
}

TEST(Conversions, MatrixAndArraysRoundTripWithShiftedBounds) {
    auto m = mat(2, 5, {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}});
    auto v = cc::matrix_to_arrays(m);
    EXPECT_EQ(*v[3], arr(5, {5, 6, 7, 8}));
    EXPECT_EQ(cc::arrays_to_matrix(v), m);
    // A matrix with rows but no columns gives empty rows starting at the column range.
    auto no_cols = cc::matrix_to_arrays(count_matrix(0, 1, 3, 2));
    ASSERT_EQ(no_cols.length(), 2);
    EXPECT_EQ(no_cols[1]->first(), 3);

    EXPECT_THROW_MSG(cc::arrays_to_matrix(vec(0, row_of(0, {1, 2}), row_of(5, {1, 2}))),
                     range_error, "row 1 has the bounds 5 .. 6");
    EXPECT_THROW(cc::arrays_to_matrix(vec(0, row_of(0, {1}), row_of(0, {1, 2}))),
                 count_chars::size_error);
    EXPECT_THROW_MSG(cc::arrays_to_matrix(vec(0, row_of(0, {1}), count_array_access{})),
                     range_error, "row 1 is null");
}

TEST(Conversions, ExtractRowsAndColumns) {
    auto m = mat(1, 3, {{1, 2}, {3, 4}, {5, 6}});
    EXPECT_EQ(cc::extract(m, 2, cc::direction::ROW), arr(3, {3, 4}));
    EXPECT_EQ(cc::extract(m, 4, cc::direction::COLUMN), arr(1, {2, 4, 6}));
    EXPECT_THROW_MSG(cc::extract(m, 0, cc::direction::ROW), range_error,
                     "index 0 outside the bounds 1 .. 3");
    EXPECT_THROW_MSG(cc::extract(m, 2, cc::direction::COLUMN), range_error,
                     "index 2 outside the bounds 3 .. 4");

    auto v = vec(7, row_of(0, {1, 2}), row_of(1, {3, 4})); // index value 1 of every row
    EXPECT_EQ(cc::extract(v, 1), arr(7, {2, 3}));
    EXPECT_THROW_MSG(cc::extract(v, 0), range_error, "index 0 outside the bounds 1 .. 2");
    EXPECT_THROW_MSG(cc::extract(vec(0, count_array_access{}), 0), range_error, "row 0 is null");
}

TEST(Reordering, RevertArraysAndVectors) {
    auto a = arr(2, {1, 2, 3, 4, 5}); // the middle element stays
    cc::revert(a);
    EXPECT_EQ(a, arr(2, {5, 4, 3, 2, 1}));
    auto v = vec(0, row_of(0, {1, 2}), count_array_access{}, row_of(0, {3, 4}));
    EXPECT_THROW_MSG(cc::revert(v), range_error, "row 1 is null");
    EXPECT_EQ(*v[0], arr(0, {2, 1})); // done before the null row
    EXPECT_EQ(*v[2], arr(0, {3, 4}));
}

TEST(Counting, AbsDistHowManyAndContains) {
    EXPECT_EQ(cc::abs_dist(arr(0, {1, 2, 3}), arr(0, {1, 0, 0})), 2);
    // b covers a's range from further out: a(1), a(2) pair with b(1), b(2).
    EXPECT_EQ(cc::abs_dist(arr(1, {5, 6}), arr(0, {0, 5, 9, 0})), 1);
    EXPECT_THROW_MSG(cc::abs_dist(arr(0, {1, 2}), arr(1, {1, 2})), range_error,
                     "index 0 outside the bounds 1 .. 2");
    EXPECT_EQ(cc::abs_dist(count_array(), count_array()), 0);

    const auto m = mat(1, 1, {{1, 2}, {2, 2}});
    EXPECT_EQ(cc::how_many(m, 2), 3);
    auto v = vec(0, row_of(0, {1, 2}), row_of(4, {2}), count_array_access{});
    EXPECT_TRUE(cc::contains(v, 2)); // found before the null row
    EXPECT_THROW_MSG(cc::contains(v, 5), range_error, "row 2 is null");
    EXPECT_THROW_MSG(cc::how_many(v, 2), range_error, "row 2 is null");
    v[2] = row_of(0, {});
    EXPECT_EQ(cc::how_many(v, 2), 2);
}

// The numbers name the overloads of apply.
TEST(ApplyUnary, EveryElementOrOneRowOrColumn) {
    counts seen;
    auto m = mat(1, 1, {{1, 2}, {3, 4}});
    cc::apply(m, [&](const count_element& x) {
        seen.push_back(x);
        return -x;
    });                                    // 2
    EXPECT_EQ(seen, (counts{1, 2, 3, 4})); // row-major
    const auto neg = [](const count_element& x) { return -x; };
    cc::apply(m, neg, 2, cc::direction::COLUMN); // 3
    cc::apply(m, neg, 2, cc::direction::ROW);
    EXPECT_EQ(m, mat(1, 1, {{-1, 2}, {3, -4}}));
    EXPECT_THROW_MSG(cc::apply(m, neg, 3, cc::direction::COLUMN), range_error,
                     "index 3 outside the bounds 1 .. 2");

    auto a = arr(2, {1, 2, 3});
    cc::apply(a, neg); // 1
    EXPECT_EQ(a, arr(2, {-1, -2, -3}));
    auto v = vec(0, row_of(0, {1}), count_array_access{});
    EXPECT_THROW_MSG(cc::apply(v, neg), range_error, "row 1 is null"); // 4
    EXPECT_EQ(*v[0], arr(0, {-1}));                                    // rows before it are done

    // A null function is accepted where there is nothing to do.
    const cc::unary_function none;
    count_array empty;
    count_matrix no_elements(0, 2, 0, -1);
    cc::apply(empty, none);
    cc::apply(no_elements, none);
    EXPECT_THROW_MSG(cc::apply(a, none), range_error, "function is null");

    // Any callable: a null function pointer is checked like an empty std::function, and a
    // function object with state is called in place, once per element, in order.
    cc::element (*no_pointer)(const cc::element&) = nullptr;
    EXPECT_THROW_MSG(cc::apply(a, no_pointer), range_error, "function is null");
    count_element calls = 0;
    auto numbering = [&calls](const count_element&) { return ++calls; };
    cc::apply(a, numbering);
    EXPECT_EQ(a, arr(2, {1, 2, 3}));
}

TEST(ApplyFold, ArrayMatrixAndVector) {
    const cc::binary_function none;
    EXPECT_EQ(cc::apply(arr(4, {7}), none), 7);         // 5: one element, f never called
    EXPECT_EQ(cc::apply(arr(0, {10, 3, 2}), minus), 5); // ((10 - 3) - 2)
    EXPECT_THROW_MSG(cc::apply(count_array(3, 2), plus), range_error, "3 .. 2 is empty");
    EXPECT_THROW_MSG(cc::apply(arr(0, {1, 2}), none), range_error, "function is null");

    auto digits = [](const count_element& r, const count_element& x) { return r * 10 + x; };
    EXPECT_EQ(cc::apply(mat(3, 5, {{1, 2}, {3, 4}}), digits), 1234); // 6: row-major
    EXPECT_THROW(cc::apply(count_matrix(0, 1, 0, -1), digits), range_error);

    auto v = vec(2, row_of(0, {10, 1}), row_of(5, {4}), row_of(1, {3, 2, 1}));
    EXPECT_EQ(cc::apply(v, minus, per_row), arr(2, {9, 4, 0})); // 7
    EXPECT_EQ(cc::apply(v, minus), 5);                          // 8: 9 - 4 - 0
    EXPECT_EQ(cc::apply(v, minus, plus), 13);                   // 9
    EXPECT_THROW(cc::apply(vec(0, row_of(0, {1}), row_of(0, {})), plus, per_row), range_error);
    EXPECT_THROW(cc::apply(count_vector(), plus), range_error);
}

TEST(ApplyPairwise, ArraysAndMatricesPairedByIndexValue) {
    EXPECT_EQ(cc::apply(arr(1, {1, 2}), arr(0, {0, 10, 20, 30}), plus), arr(1, {11, 22})); // 10
    EXPECT_THROW_MSG(cc::apply(arr(0, {1, 2}), arr(1, {1, 2}), plus), range_error,
                     "index 0 outside the bounds 1 .. 2");
    EXPECT_EQ(cc::apply(arr(0, {1, 2, 3}), arr(0, {4, 5, 6}), plus, minus), 5 - 7 - 9); // 13
    EXPECT_THROW(cc::apply(count_array(), count_array(), plus, plus), range_error);

    auto m1 = mat(0, 0, {{1, 2, 3}, {4, 5, 6}});
    auto m2 = mat(0, 0, {{1, 1, 1}, {2, 2, 2}});
    EXPECT_EQ(cc::apply(m1, m2, minus), mat(0, 0, {{0, 1, 2}, {2, 3, 4}})); // 14
    EXPECT_THROW_MSG(cc::apply(m1, mat(0, 0, {{1, 2}, {3, 4}, {5, 6}}), plus),
                     count_chars::size_error, "2 x 3 matrix paired with a 3 x 2");
    EXPECT_THROW(cc::apply(m1, mat(1, 0, {{1, 1, 1}, {2, 2, 2}}), plus), range_error);
}

TEST(ApplyPairwise, WithinAMatrixOrAVector) {
    auto m = mat(0, 1, {{1, 2, 0}, {3, 4, 0}});
    cc::apply(m, 1, 2, 3, plus, cc::direction::COLUMN); // 11
    cc::apply(m, 1, 0, 0, minus, cc::direction::ROW);
    EXPECT_EQ(m, mat(0, 1, {{2, 2, 4}, {3, 4, 7}}));
    EXPECT_THROW_MSG(cc::apply(m, 1, 2, 4, plus, cc::direction::COLUMN), range_error,
                     "index 4 outside the bounds 1 .. 3");

    auto v = vec(0, row_of(0, {1, 2, 0}), row_of(5, {0, 0, 0}), row_of(2, {3, 4, 0}));
    EXPECT_THROW_MSG(cc::apply(v, 0, 1, 2, plus, cc::direction::COLUMN), range_error,
                     "index 2 outside the bounds 5 .. 7"); // 12: row 1 lacks the target
    EXPECT_EQ((*v[0])[2], 3);                              // rows before it are done
    auto w = vec(0, row_of(0, {1, 2}), row_of(0, {10, 20}), row_of(4, {0, 0}));
    cc::apply(w, 0, 1, 2, plus, cc::direction::ROW);
    EXPECT_EQ(*w[2], arr(4, {11, 22})); // copied by position, the target keeps its bounds
    w[2] = row_of(0, {0});
    EXPECT_THROW_MSG(cc::apply(w, 0, 1, 2, plus, cc::direction::ROW), range_error,
                     "give 2 elements, the target row 2 has 1");
}

TEST(ApplyPairwise, AllRowPairsCountsTheCalls) {
    auto v = vec(1, row_of(0, {1, 2}), row_of(0, {3, 4}), row_of(0, {5, 7}));
    int pairs = 0; // f is called once per element pair, twice per row pair here
    auto f = [&](const count_element& a, const count_element& b) {
        ++pairs;
        return a * b;
    };
    const auto half = cc::apply(v, f, plus, false); // 15
    EXPECT_EQ(pairs, 2 * 6);                        // n(n+1)/2 row pairs for n = 3
    EXPECT_EQ(half, mat(1, 1, {{5, 11, 19}, {11, 25, 43}, {19, 43, 74}}));
    pairs = 0;
    EXPECT_EQ(cc::apply(v, f, plus, true), half);
    EXPECT_EQ(pairs, 2 * 9); // n² row pairs

    EXPECT_THROW_MSG(cc::apply(vec(0, row_of(0, {1}), count_array_access{}), f, plus, false),
                     range_error, "row 1 is null");
    EXPECT_TRUE(cc::apply(count_vector(), f, plus, true).empty());
}
