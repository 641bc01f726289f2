#include "../test_support.hpp"

#include <phylo/count_chars.hpp>
#include <phylo/real_chars.hpp>
#include <phylo/taxonomy/group_names.hpp>

#include <type_traits>
#include <vector>

using namespace phylo;
using cc = count_chars::basic;
using counts = std::vector<count_element>;
constexpr auto COLUMN = cc::direction::COLUMN, ROW = cc::direction::ROW;

// The statement throws range_error (FAILS) or the count form's size_error (TOO_BIG), with a
// message holding `text`.
#define FAILS(statement, text) test_support::expect_error<range_error>([&] { statement; }, text)
#define TOO_BIG(statement, text)                                                                   \
    test_support::expect_error<count_chars::size_error>([&] { statement; }, text)

namespace {

count_array arr(index_type first, counts values) { return count_array(first, std::move(values)); }

count_array_access row(index_type first, counts values) {
    return std::make_unique<count_array>(first, std::move(values));
}
using no_row = count_array_access;

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
const auto neg = [](const count_element& x) { return -x; };

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
    ASSERT_TRUE(t.first() == 3 && t.length() == cols);
    for (index_type j = 3; j <= cols + 2; ++j) {
        ASSERT_EQ(t[j]->first(), 2);
        for (index_type i = 2; i <= rows + 1; ++i)
            ASSERT_EQ((*t[j])[i], make(i, j)) << i << ", " << j;
    }
    auto back = Family::transpose(t);
    for (index_type i = 2; i <= rows + 1; ++i) ASSERT_EQ(*back[i], *v[i]);
}

} // namespace

TEST(RowManagement, FreeResizeAndMove) {
    auto v = vec(3, row(0, {1}), no_row(), row(0, {2}));
    cc::free_array(v); // null rows are skipped
    for (const auto& r : v) EXPECT_EQ(r, nullptr);

    // Resizing only shrinks; on a failure the rows already cut stay cut.
    auto w = vec(0, row(0, {0, 1, 2, 3, 4, 5}), row(3, {13, 14, 15}));
    FAILS(cc::resize(w, 0, 6), "index 6 outside the bounds 0 .. 5");
    EXPECT_EQ(w[0]->length(), 6);
    FAILS(cc::resize(w, 2, 4), "index 2 outside the bounds 3 .. 5");
    EXPECT_EQ(*w[0], arr(2, {2, 3, 4}));
    cc::resize(w, 3, 4);
    EXPECT_TRUE(*w[0] == arr(3, {3, 4}) && *w[1] == arr(3, {13, 14}));
    cc::resize(w, 5, 4); // an empty range releases every row
    EXPECT_EQ(w[1], nullptr);
    FAILS(cc::resize(w, 0, 0), "row 0 is null");

    // Moving hands rows over index by index.
    auto source = vec(1, row(0, {1}), row(5, {2, 3}));
    auto target = vec(0, row(0, {9}), row(0, {8}), no_row(), row(0, {7}));
    cc::move(source, target);
    EXPECT_TRUE(source[1] == nullptr && source[2] == nullptr);
    EXPECT_EQ(*target[1], arr(0, {1}));
    cc::move(target, target); // onto itself: nothing changes
    EXPECT_TRUE(target[2] != nullptr && *target[2] == arr(5, {2, 3}));
    TOO_BIG(cc::move(target, source), "4 rows, the target only 2");
    EXPECT_NE(target[0], nullptr); // nothing changed
    // Equal lengths, shifted bounds: index 1 is not in the target.
    auto shifted = vec(1, row(0, {1})), at_zero = vec(0, row(0, {9}));
    FAILS(cc::move(shifted, at_zero), "index 1 outside the bounds 0 .. 0");
    // A null source row fails before the target's row at that index is released.
    auto with_null = vec(0, row(0, {1}), no_row()), kept = vec(0, row(0, {8}), row(0, {9}));
    FAILS(cc::move(with_null, kept), "row 1 is null");
    EXPECT_EQ(*kept[0], arr(0, {1}));
    EXPECT_TRUE(kept[1] != nullptr && *kept[1] == arr(0, {9}));
}

TEST(Conversions, TransposeMatricesArraysAndExtracts) {
    // Shapes that do not fit the tiles; four-byte, eight-byte and string elements take
    // different copying paths.
    for (auto [rows, cols] :
         {std::pair<index_type, index_type>{37, 45}, {8, 8}, {16, 9}, {1, 17}, {7, 1}}) {
        check_transpose_round_trip<cc>(
            rows, cols, [](index_type i, index_type j) { return count_element(i * 1000 + j); });
        check_transpose_round_trip<real_chars::basic>(
            rows, cols, [](index_type i, index_type j) { return double(i) + j / 1000.0; });
        check_transpose_round_trip<taxonomy::group_names>(
            rows, cols,
            [](index_type i, index_type j) { return std::to_string(i) + "/" + std::to_string(j); });
    }
    // Each form's size_error is its own (a handler for another form's does not catch it) and
    // no range error.
    static_assert(!std::is_base_of_v<real_chars::size_error, count_chars::size_error>);
    static_assert(!std::is_base_of_v<taxonomy::group_names::size_error, count_chars::size_error>);
    static_assert(!std::is_base_of_v<std::out_of_range, count_chars::size_error>);
    TOO_BIG(cc::transpose(vec(0, row(0, {1, 2}), row(0, {1, 2, 3}))), "differ in length");
    FAILS(cc::transpose(vec(0, row(0, {1, 2}), row(1, {1, 2}))),
          "row 1 has the bounds 1 .. 2, the first row 0 .. 1");
    FAILS(cc::transpose(count_vector(4, 3)), "4 .. 3 is empty");
    EXPECT_TRUE(cc::is_squared(count_matrix(0, 2, 1, 3))); // lengths, not bounds

    // Matrix to arrays and back, with shifted bounds.
    auto m = mat(2, 5, {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}});
    auto v = cc::matrix_to_arrays(m);
    EXPECT_EQ(*v[3], arr(5, {5, 6, 7, 8}));
    EXPECT_EQ(cc::arrays_to_matrix(v), m);
    // A matrix with rows but no columns gives empty rows starting at the column range.
    auto no_cols = cc::matrix_to_arrays(count_matrix(0, 1, 3, 2));
    EXPECT_TRUE(no_cols.length() == 2 && no_cols[1]->first() == 3);
    FAILS(cc::arrays_to_matrix(vec(0, row(0, {1, 2}), row(5, {1, 2}))),
          "row 1 has the bounds 5 .. 6");
    TOO_BIG(cc::arrays_to_matrix(vec(0, row(0, {1}), row(0, {1, 2}))), "");
    FAILS(cc::arrays_to_matrix(vec(0, row(0, {1}), no_row())), "row 1 is null");

    // Rows and columns of a matrix, index values of a vector's rows.
    auto e = mat(1, 3, {{1, 2}, {3, 4}, {5, 6}});
    EXPECT_EQ(cc::extract(e, 2, ROW), arr(3, {3, 4}));
    EXPECT_EQ(cc::extract(e, 4, COLUMN), arr(1, {2, 4, 6}));
    FAILS(cc::extract(e, 0, ROW), "index 0 outside the bounds 1 .. 3");
    FAILS(cc::extract(e, 2, COLUMN), "index 2 outside the bounds 3 .. 4");
    auto rows = vec(7, row(0, {1, 2}), row(1, {3, 4})); // index value 1 of every row
    EXPECT_EQ(cc::extract(rows, 1), arr(7, {2, 3}));
    FAILS(cc::extract(rows, 0), "index 0 outside the bounds 1 .. 2");
    FAILS(cc::extract(vec(0, no_row()), 0), "row 0 is null");
}

TEST(Reordering, RevertAbsDistHowManyAndContains) {
    auto a = arr(2, {1, 2, 3, 4, 5}); // the middle element stays
    cc::revert(a);
    EXPECT_EQ(a, arr(2, {5, 4, 3, 2, 1}));
    auto v = vec(0, row(0, {1, 2}), no_row(), row(0, {3, 4}));
    FAILS(cc::revert(v), "row 1 is null");
    EXPECT_TRUE(*v[0] == arr(0, {2, 1}) && *v[2] == arr(0, {3, 4})); // done before the null row

    EXPECT_EQ(cc::abs_dist(arr(0, {1, 2, 3}), arr(0, {1, 0, 0})), 2);
    // b covers a's range from further out: a(1), a(2) pair with b(1), b(2).
    EXPECT_EQ(cc::abs_dist(arr(1, {5, 6}), arr(0, {0, 5, 9, 0})), 1);
    FAILS(cc::abs_dist(arr(0, {1, 2}), arr(1, {1, 2})), "index 0 outside the bounds 1 .. 2");
    EXPECT_EQ(cc::abs_dist(count_array(), count_array()), 0);

    EXPECT_EQ(cc::how_many(mat(1, 1, {{1, 2}, {2, 2}}), 2), 3);
    auto w = vec(0, row(0, {1, 2}), row(4, {2}), no_row());
    EXPECT_TRUE(cc::contains(w, 2)); // found before the null row
    FAILS(cc::contains(w, 5), "row 2 is null");
    FAILS(cc::how_many(w, 2), "row 2 is null");
    w[2] = row(0, {});
    EXPECT_EQ(cc::how_many(w, 2), 2);
}

// The numbers name the overloads of apply.
TEST(Apply, EveryElementOrOneRowOrColumnAndFolds) {
    counts seen;
    auto m = mat(1, 1, {{1, 2}, {3, 4}});
    cc::apply(m, [&](const count_element& x) { return seen.push_back(x), -x; }); // 2
    EXPECT_EQ(seen, (counts{1, 2, 3, 4}));                                       // row-major
    cc::apply(m, neg, 2, COLUMN);                                                // 3
    cc::apply(m, neg, 2, ROW);
    EXPECT_EQ(m, mat(1, 1, {{-1, 2}, {3, -4}}));
    FAILS(cc::apply(m, neg, 3, COLUMN), "index 3 outside the bounds 1 .. 2");

    auto a = arr(2, {1, 2, 3});
    cc::apply(a, neg); // 1
    EXPECT_EQ(a, arr(2, {-1, -2, -3}));
    auto v = vec(0, row(0, {1}), no_row());
    FAILS(cc::apply(v, neg), "row 1 is null"); // 4
    EXPECT_EQ(*v[0], arr(0, {-1}));            // rows before it are done

    // A null function is accepted where there is nothing to do.
    const cc::unary_function no_function;
    count_array empty;
    count_matrix no_elements(0, 2, 0, -1);
    cc::apply(empty, no_function);
    cc::apply(no_elements, no_function);
    FAILS(cc::apply(a, no_function), "function is null");
    // Any callable: a null function pointer is checked like an empty std::function, and a
    // function object with state is called in place, once per element, in order.
    cc::element (*no_pointer)(const cc::element&) = nullptr;
    FAILS(cc::apply(a, no_pointer), "function is null");
    count_element calls = 0;
    cc::apply(a, [&calls](const count_element&) { return ++calls; });
    EXPECT_EQ(a, arr(2, {1, 2, 3}));

    // Folds of an array, a matrix and a vector.
    const cc::binary_function none;
    EXPECT_EQ(cc::apply(arr(4, {7}), none), 7);         // 5: one element, f never called
    EXPECT_EQ(cc::apply(arr(0, {10, 3, 2}), minus), 5); // ((10 - 3) - 2)
    FAILS(cc::apply(count_array(3, 2), plus), "3 .. 2 is empty");
    FAILS(cc::apply(arr(0, {1, 2}), none), "function is null");

    auto digits = [](const count_element& r, const count_element& x) { return r * 10 + x; };
    EXPECT_EQ(cc::apply(mat(3, 5, {{1, 2}, {3, 4}}), digits), 1234); // 6: row-major
    FAILS(cc::apply(count_matrix(0, 1, 0, -1), digits), "");

    auto u = vec(2, row(0, {10, 1}), row(5, {4}), row(1, {3, 2, 1}));
    EXPECT_EQ(cc::apply(u, minus, per_row), arr(2, {9, 4, 0})); // 7
    EXPECT_EQ(cc::apply(u, minus), 5);                          // 8: 9 - 4 - 0
    EXPECT_EQ(cc::apply(u, minus, plus), 13);                   // 9
    FAILS(cc::apply(vec(0, row(0, {1}), row(0, {})), plus, per_row), "");
    FAILS(cc::apply(count_vector(), plus), "");
}

TEST(ApplyPairwise, ArraysMatricesAndWithinOne) {
    EXPECT_EQ(cc::apply(arr(1, {1, 2}), arr(0, {0, 10, 20, 30}), plus), arr(1, {11, 22})); // 10
    FAILS(cc::apply(arr(0, {1, 2}), arr(1, {1, 2}), plus), "index 0 outside the bounds 1 .. 2");
    EXPECT_EQ(cc::apply(arr(0, {1, 2, 3}), arr(0, {4, 5, 6}), plus, minus), 5 - 7 - 9); // 13
    FAILS(cc::apply(count_array(), count_array(), plus, plus), "");

    auto m1 = mat(0, 0, {{1, 2, 3}, {4, 5, 6}}), m2 = mat(0, 0, {{1, 1, 1}, {2, 2, 2}});
    EXPECT_EQ(cc::apply(m1, m2, minus), mat(0, 0, {{0, 1, 2}, {2, 3, 4}})); // 14
    TOO_BIG(cc::apply(m1, mat(0, 0, {{1, 2}, {3, 4}, {5, 6}}), plus),
            "2 x 3 matrix paired with a 3 x 2");
    FAILS(cc::apply(m1, mat(1, 0, {{1, 1, 1}, {2, 2, 2}}), plus), "");

    auto m = mat(0, 1, {{1, 2, 0}, {3, 4, 0}});
    cc::apply(m, 1, 2, 3, plus, COLUMN); // 11
    cc::apply(m, 1, 0, 0, minus, ROW);
    EXPECT_EQ(m, mat(0, 1, {{2, 2, 4}, {3, 4, 7}}));
    FAILS(cc::apply(m, 1, 2, 4, plus, COLUMN), "index 4 outside the bounds 1 .. 3");

    auto v = vec(0, row(0, {1, 2, 0}), row(5, {0, 0, 0}), row(2, {3, 4, 0}));
    FAILS(cc::apply(v, 0, 1, 2, plus, COLUMN), "index 2 outside the bounds 5 .. 7"); // 12: row 1
    EXPECT_EQ((*v[0])[2], 3); // lacks the target; rows before it are done
    auto w = vec(0, row(0, {1, 2}), row(0, {10, 20}), row(4, {0, 0}));
    cc::apply(w, 0, 1, 2, plus, ROW);
    EXPECT_EQ(*w[2], arr(4, {11, 22})); // copied by position, the target keeps its bounds
    w[2] = row(0, {0});
    FAILS(cc::apply(w, 0, 1, 2, plus, ROW), "give 2 elements, the target row 2 has 1");

    // All row pairs: f is called once per element pair, twice per row pair here.
    auto r = vec(1, row(0, {1, 2}), row(0, {3, 4}), row(0, {5, 7}));
    int pairs = 0;
    auto f = [&](const count_element& a, const count_element& b) { return ++pairs, a * b; };
    const auto half = cc::apply(r, f, plus, false); // 15
    EXPECT_EQ(pairs, 2 * 6);                        // n(n+1)/2 row pairs for n = 3
    EXPECT_EQ(half, mat(1, 1, {{5, 11, 19}, {11, 25, 43}, {19, 43, 74}}));
    pairs = 0;
    EXPECT_EQ(cc::apply(r, f, plus, true), half);
    EXPECT_EQ(pairs, 2 * 9); // n² row pairs
    FAILS(cc::apply(vec(0, row(0, {1}), no_row()), f, plus, false), "row 1 is null");
    EXPECT_TRUE(cc::apply(count_vector(), f, plus, true).empty());
}
