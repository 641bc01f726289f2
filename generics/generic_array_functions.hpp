#pragma once
// The family of array, matrix and row-vector operations, written once for an element type.
// Each instantiation is one provided form (`phylo::count_chars::basic`,
// `phylo::taxonomy::group_names`, ...) with its own `direction` and its own `size_error`, so
// a handler for one form's size_error does not catch another's.
//
// Conventions of the whole family:
// - Lengths are compared as lengths, never as bounds; wherever elements of two operands are
//   then paired, they are paired by equal index values, so equal lengths with shifted bounds
//   are the range error rather than silently realigned.
// - `size_error` is raised before anything changes. Every other failure (a null row, an index
//   outside the bounds, an empty operand of a fold, a null function) is the range error;
//   in-place work already done stays done.
// - A null function is only checked when it is first needed: an operation that finds nothing
//   to do accepts it.
// - Folds start from the first element (there is no neutral element), so empty operands fail.
// - Results are returned by value; vectors returned hold new rows owned by the caller.

#include <generics/bounded_array.hpp>
#include <generics/errors.hpp>
#include <generics/transpose_tile.hpp>

#include <algorithm>
#include <concepts>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace generics {

// A caller-supplied function of one element, giving an element: any callable (a lambda, a
// function, a function object, a std::function).
template <class F, class E>
concept unary_op = requires(F& f, const E& x) {
    { f(x) } -> std::convertible_to<E>;
};
// The same for a function of two elements.
template <class F, class E>
concept binary_op = requires(F& f, const E& x, const E& y) {
    { f(x, y) } -> std::convertible_to<E>;
};

namespace detail {
// Callables that can be null (function pointers, an empty std::function) are checked; a
// lambda or a function object never is null.
template <class F>
void check_function(const F& f) {
    using D = std::remove_cvref_t<F>;
    if constexpr (std::is_pointer_v<D> || requires { &D::operator bool; }) {
        if (!f) throw range_error("apply: the function is null");
    }
}
} // namespace detail

template <class Element>
struct generic_array_functions {
    using element = Element;
    using array = bounded_array<Element>;
    using array_access = std::unique_ptr<array>; // owning row reference, null = no row
    using vector = bounded_array<array_access>;  // the row-wise form of a matrix
    using matrix = bounded_matrix<Element>;
    // The type-erased function shapes, for callers that keep a function; apply takes these
    // as it takes any callable.
    using unary_function = std::function<Element(const Element&)>;
    using binary_function = std::function<Element(const Element&, const Element&)>;

    enum class direction { COLUMN, ROW };

    // Two operands of incompatible sizes; distinct for every form.
    class size_error : public size_error_base {
    public:
        using size_error_base::size_error_base;
    };

    // ---- Row access -------------------------------------------------------------------

    // The row of `v` at index i, or the range error when i is outside v or the row is null.
    static array& row(vector& v, index_type i);
    static const array& row(const vector& v, index_type i);

    // ---- Row management ---------------------------------------------------------------

    // Releases every row; null rows are skipped.
    static void free_array(vector& v) noexcept;
    // Cuts every row to first .. last (only shrinking); last < first releases every row.
    static void resize(vector& v, index_type first, index_type last);
    // Moves every row of `source` to the same index of `target`, leaving source's rows null.
    // size_error when source is longer than target.
    static void move(vector& source, vector& target);

    // ---- Shape tests ------------------------------------------------------------------

    // As many rows as columns (bounds may differ).
    static bool is_squared(const matrix& m) noexcept;
    // Every row as long as the first; the range error on an empty vector or a null row.
    static bool is_aligned(const vector& v);

    // ---- Conversions ------------------------------------------------------------------

    // result(j)(i) = v(i)(j); the result covers the first row's bounds, every new row the
    // vector's range. size_error unless aligned; rows with other bounds are the range error.
    static vector transpose(const vector& v);
    // One new row per matrix row, over the matrix's column range.
    static vector matrix_to_arrays(const matrix& m);
    // m(i, j) = v(i)(j) over (vector range, first row's bounds); size_error unless aligned.
    static matrix arrays_to_matrix(const vector& v);
    // Row `index` (ROW) or column `index` (COLUMN) of a matrix.
    static array extract(const matrix& m, index_type index, direction d);
    // Column `index` of a row vector: result(i) = v(i)(index), over the vector's range.
    static array extract(const vector& v, index_type index);

    // ---- Reordering and counting ------------------------------------------------------

    static void swap(Element& a, Element& b) noexcept(std::is_nothrow_swappable_v<Element>);
    static void revert(array& a) noexcept(std::is_nothrow_swappable_v<Element>);
    // Reverts every row; a null row is the range error.
    static void revert(vector& v);
    // Number of indices of a where a(i) != b(i); b must cover a's range.
    static index_type abs_dist(const array& a, const array& b);
    // Number of elements equal to x.
    static index_type how_many(const array& a, const Element& x) noexcept;
    static index_type how_many(const matrix& m, const Element& x) noexcept;
    static index_type how_many(const vector& v, const Element& x);
    // Whether some element equals x; stops at the first match.
    static bool contains(const array& a, const Element& x) noexcept;
    static bool contains(const matrix& m, const Element& x) noexcept;
    static bool contains(const vector& v, const Element& x);

    // ---- Applying functions -----------------------------------------------------------
    // Numbered 1 .. 15 so that callers, tests and benchmarks can name one overload. Each
    // takes any callable; the unary and binary shapes are told apart by what f accepts. A
    // null function pointer or an empty std::function is the range error when first needed.

    // 1: a(i) <- f(a(i)).
    template <unary_op<Element> F>
    static void apply(array& a, F&& f);
    // 2: m(i, j) <- f(m(i, j)), row-major.
    template <unary_op<Element> F>
    static void apply(matrix& m, F&& f);
    // 3: f on column `index` (COLUMN) or row `index` (ROW).
    template <unary_op<Element> F>
    static void apply(matrix& m, F&& f, index_type index, direction d);
    // 4: overload 1 on every row.
    template <unary_op<Element> F>
    static void apply(vector& v, F&& f);
    // 5: fold of the array from its first element: apply(a, std::plus<>{}) is the sum.
    template <binary_op<Element> F>
    static Element apply(const array& a, F&& f);
    // 6: fold of the matrix in row-major order.
    template <binary_op<Element> F>
    static Element apply(const matrix& m, F&& f);
    // 7: one fold per row, over the vector's range: apply(v, f, per_row).
    template <binary_op<Element> F>
    static array apply(const vector& v, F&& f, per_row_t);
    // 8: fold of the per-row folds, all with f.
    template <binary_op<Element> F>
    static Element apply(const vector& v, F&& f);
    // 9: fold with g of the per-row folds with f.
    template <binary_op<Element> F, binary_op<Element> G>
    static Element apply(const vector& v, F&& f, G&& g);
    // 10: result(i) = f(a(i), b(i)) over a's bounds; b must cover them.
    template <binary_op<Element> F>
    static array apply(const array& a, const array& b, F&& f);
    // 11: COLUMN: m(i, target) <- f(m(i, a), m(i, b)) for every row i; ROW: the same along
    // rows a, b and target for every column.
    template <binary_op<Element> F>
    static void apply(matrix& m, index_type a, index_type b, index_type target, F&& f, direction d);
    // 12: COLUMN: r(target) <- f(r(a), r(b)) in every row r; ROW: row target <- overload 10
    // on rows a and b, copied by position (lengths must match).
    template <binary_op<Element> F>
    static void apply(vector& v, index_type a, index_type b, index_type target, F&& f, direction d);
    // 13: fold with g of overload 10 with f (with minus and plus, a signed difference).
    template <binary_op<Element> F, binary_op<Element> G>
    static Element apply(const array& a, const array& b, F&& f, G&& g);
    // 14: result(i, j) = f(m1(i, j), m2(i, j)); size_error when the shapes differ.
    template <binary_op<Element> F>
    static matrix apply(const matrix& m1, const matrix& m2, F&& f);
    // 15: result(i, j) = overload 13 on rows i and j. Unless all_pairs, each unordered pair
    // (and the diagonal) is computed once and stored at (i, j) and (j, i).
    template <binary_op<Element> F, binary_op<Element> G>
    static matrix apply(const vector& v, F&& f, G&& g, bool all_pairs);

private:
    // Throws the range error unless every row is non-null with exactly `first` .. `last`.
    static void check_bounds(const vector& v, index_type first, index_type last);
    // Throws the range error unless b covers a's non-empty range.
    static void check_covers(const array& a, const array& b);
    // The first row; the range error when the vector is empty or the row is null.
    static const array& first_row(const vector& v);
    // The range error for an empty operand of a fold.
    [[noreturn]] static void fail_empty(const array& a);
    [[noreturn]] static void fail_empty(const matrix& m);
    // The range error unless `index` is within the selected range of m.
    static void check_line(const matrix& m, index_type index, direction d);
    // Fold of f over the n elements at p (n > 0).
    template <class F>
    static Element fold(const Element* p, std::size_t n, F& f);
    // Fold with g of f(a(i), b(i)); a non-empty, b checked to cover a.
    template <class F, class G>
    static Element pair_fold(const array& a, const array& b, F& f, G& g);
    // f(x) at every element of row or column `index` (checked beforehand).
    template <class Step>
    static void for_line(matrix& m, index_type index, direction d, Step&& step);
};

// ========================================================================================
// Definitions. The forms are instantiated explicitly by the library, so these are compiled
// once there and not in every file that includes this header.

template <class E>
auto generic_array_functions<E>::row(vector& v, index_type i) -> array& {
    auto& r = v[i];
    if (!r) throw range_error("row " + std::to_string(i) + " is null");
    return *r;
}

template <class E>
auto generic_array_functions<E>::row(const vector& v, index_type i) -> const array& {
    const auto& r = v[i];
    if (!r) throw range_error("row " + std::to_string(i) + " is null");
    return *r;
}

template <class E>
auto generic_array_functions<E>::first_row(const vector& v) -> const array& {
    if (v.empty())
        throw range_error("the row vector " + std::to_string(v.first()) + " .. " +
                          std::to_string(v.last()) + " is empty");
    return row(v, v.first());
}

template <class E>
void generic_array_functions<E>::check_bounds(const vector& v, index_type first, index_type last) {
    for (index_type i = v.first(); i <= v.last(); ++i) {
        const array& r = row(v, i);
        if (r.first() != first || r.last() != last)
            throw range_error("row " + std::to_string(i) + " has the bounds " +
                              std::to_string(r.first()) + " .. " + std::to_string(r.last()) +
                              ", the first row " + std::to_string(first) + " .. " +
                              std::to_string(last));
    }
}

template <class E>
void generic_array_functions<E>::check_covers(const array& a, const array& b) {
    if (a.empty()) return;
    b.check(a.first());
    b.check(a.last());
}

template <class E>
void generic_array_functions<E>::free_array(vector& v) noexcept {
    for (auto& r : v) r.reset();
}

template <class E>
void generic_array_functions<E>::resize(vector& v, index_type first, index_type last) {
    if (last < first) {
        free_array(v);
        return;
    }
    for (index_type i = v.first(); i <= v.last(); ++i) {
        array& old = row(v, i);
        old.check(first);
        old.check(last);
        const E* from = old.data() + (first - old.first());
        auto cut = std::make_unique<array>(first, std::vector<E>(from, from + (last - first + 1)));
        v.unchecked(i) = std::move(cut);
    }
}

template <class E>
void generic_array_functions<E>::move(vector& source, vector& target) {
    if (source.length() > target.length())
        throw size_error("move: the source has " + std::to_string(source.length()) +
                         " rows, the target only " + std::to_string(target.length()));
    for (index_type i = source.first(); i <= source.last(); ++i) {
        target.check(i);
        // Checked before the target's row is released, so a failure loses nothing at i.
        if (!source.unchecked(i)) throw range_error("row " + std::to_string(i) + " is null");
        // Moving a vector onto itself leaves it as it was.
        target.unchecked(i) = std::move(source.unchecked(i));
    }
}

template <class E>
bool generic_array_functions<E>::is_squared(const matrix& m) noexcept {
    return m.rows() == m.cols();
}

template <class E>
bool generic_array_functions<E>::is_aligned(const vector& v) {
    const index_type n = first_row(v).length();
    for (index_type i = v.first() + 1; i <= v.last(); ++i)
        if (row(v, i).length() != n) return false;
    return true;
}

template <class E>
auto generic_array_functions<E>::transpose(const vector& v) -> vector {
    if (!is_aligned(v))
        throw size_error("transpose: the rows of " + std::to_string(v.first()) + " .. " +
                         std::to_string(v.last()) + " differ in length");
    const array& head = *v.unchecked(v.first());
    check_bounds(v, head.first(), head.last());

    // Every result row is allocated first, then filled tile by tile so that both the
    // source rows and the result rows are walked in cache-sized pieces.
    const std::size_t n_rows = static_cast<std::size_t>(v.length());
    const std::size_t n_cols = static_cast<std::size_t>(head.length());
    vector result(head.first(), head.last());
    std::vector<const E*> from(n_rows);
    std::vector<E*> to(n_cols);
    for (std::size_t i = 0; i < n_rows; ++i)
        from[i] = v.unchecked(v.first() + static_cast<index_type>(i))->data();
    for (std::size_t j = 0; j < n_cols; ++j) {
        auto& r = result.unchecked(head.first() + static_cast<index_type>(j));
        r = std::make_unique<array>(v.first(), v.last());
        to[j] = r->data();
    }
    // Full tiles go through a kernel of fixed size; the rest element by element.
    constexpr std::size_t tile = detail::transpose_tile_size;
    for (std::size_t i0 = 0; i0 < n_rows; i0 += tile) {
        const std::size_t i1 = std::min(i0 + tile, n_rows);
        for (std::size_t j0 = 0; j0 < n_cols; j0 += tile) {
            const std::size_t j1 = std::min(j0 + tile, n_cols);
            if (i1 - i0 == tile && j1 - j0 == tile) {
                const E* src[tile];
                E* dst[tile];
                for (std::size_t k = 0; k < tile; ++k) {
                    src[k] = from[i0 + k] + j0;
                    dst[k] = to[j0 + k] + i0;
                }
                detail::transpose_tile(src, dst);
            } else {
                for (std::size_t i = i0; i < i1; ++i)
                    for (std::size_t j = j0; j < j1; ++j) to[j][i] = from[i][j];
            }
        }
    }
    return result;
}

template <class E>
auto generic_array_functions<E>::matrix_to_arrays(const matrix& m) -> vector {
    vector result(m.row_first(), m.row_last());
    for (index_type i = m.row_first(); i <= m.row_last(); ++i) {
        const E* from = m.data() + (i - m.row_first()) * m.cols();
        result.unchecked(i) =
            std::make_unique<array>(m.col_first(), std::vector<E>(from, from + m.cols()));
    }
    return result;
}

template <class E>
auto generic_array_functions<E>::arrays_to_matrix(const vector& v) -> matrix {
    if (!is_aligned(v))
        throw size_error("arrays_to_matrix: the rows of " + std::to_string(v.first()) + " .. " +
                         std::to_string(v.last()) + " differ in length");
    const array& head = *v.unchecked(v.first());
    check_bounds(v, head.first(), head.last());
    matrix result(v.first(), v.last(), head.first(), head.last());
    E* to = result.data();
    for (index_type i = v.first(); i <= v.last(); ++i) {
        const array& r = *v.unchecked(i);
        to = std::copy(r.begin(), r.end(), to);
    }
    return result;
}

template <class E>
auto generic_array_functions<E>::extract(const matrix& m, index_type index, direction d) -> array {
    if (d == direction::ROW) {
        const auto r = m.row(index);
        return array(m.col_first(), std::vector<E>(r.begin(), r.end()));
    }
    m.check_col(index);
    array result(m.row_first(), m.row_last());
    for (index_type i = m.row_first(); i <= m.row_last(); ++i)
        result.unchecked(i) = m.unchecked(i, index);
    return result;
}

template <class E>
auto generic_array_functions<E>::extract(const vector& v, index_type index) -> array {
    array result(v.first(), v.last());
    for (index_type i = v.first(); i <= v.last(); ++i) result.unchecked(i) = row(v, i)[index];
    return result;
}

template <class E>
void generic_array_functions<E>::swap(E& a, E& b) noexcept(std::is_nothrow_swappable_v<E>) {
    using std::swap;
    swap(a, b);
}

template <class E>
void generic_array_functions<E>::revert(array& a) noexcept(std::is_nothrow_swappable_v<E>) {
    std::reverse(a.begin(), a.end());
}

template <class E>
void generic_array_functions<E>::revert(vector& v) {
    for (index_type i = v.first(); i <= v.last(); ++i) revert(row(v, i));
}

template <class E>
index_type generic_array_functions<E>::abs_dist(const array& a, const array& b) {
    check_covers(a, b);
    if (a.empty()) return 0;
    const E* q = b.data() + (a.first() - b.first());
    index_type n = 0;
    for (const E& x : a) n += !(x == *q++);
    return n;
}

template <class E>
index_type generic_array_functions<E>::how_many(const array& a, const E& x) noexcept {
    return static_cast<index_type>(std::count(a.begin(), a.end(), x));
}

template <class E>
index_type generic_array_functions<E>::how_many(const matrix& m, const E& x) noexcept {
    return static_cast<index_type>(std::count(m.data(), m.data() + m.rows() * m.cols(), x));
}

template <class E>
index_type generic_array_functions<E>::how_many(const vector& v, const E& x) {
    index_type n = 0;
    for (index_type i = v.first(); i <= v.last(); ++i) n += how_many(row(v, i), x);
    return n;
}

template <class E>
bool generic_array_functions<E>::contains(const array& a, const E& x) noexcept {
    return std::find(a.begin(), a.end(), x) != a.end();
}

template <class E>
bool generic_array_functions<E>::contains(const matrix& m, const E& x) noexcept {
    const E* end = m.data() + m.rows() * m.cols();
    return std::find(m.data(), end, x) != end;
}

template <class E>
bool generic_array_functions<E>::contains(const vector& v, const E& x) {
    for (index_type i = v.first(); i <= v.last(); ++i)
        if (contains(row(v, i), x)) return true;
    return false;
}

// ---- apply ------------------------------------------------------------------------------

template <class E>
void generic_array_functions<E>::fail_empty(const array& a) {
    throw range_error("apply: the array " + std::to_string(a.first()) + " .. " +
                      std::to_string(a.last()) + " is empty");
}

template <class E>
void generic_array_functions<E>::fail_empty(const matrix& m) {
    throw range_error("apply: the matrix (" + std::to_string(m.row_first()) + " .. " +
                      std::to_string(m.row_last()) + ", " + std::to_string(m.col_first()) + " .. " +
                      std::to_string(m.col_last()) + ") is empty");
}

template <class E>
void generic_array_functions<E>::check_line(const matrix& m, index_type index, direction d) {
    if (d == direction::ROW)
        m.check_row(index);
    else
        m.check_col(index);
}

template <class E>
template <class Step>
void generic_array_functions<E>::for_line(matrix& m, index_type index, direction d, Step&& step) {
    if (d == direction::ROW) {
        for (index_type j = m.col_first(); j <= m.col_last(); ++j) step(m.unchecked(index, j));
    } else {
        for (index_type i = m.row_first(); i <= m.row_last(); ++i) step(m.unchecked(i, index));
    }
}

template <class E>
template <class F>
E generic_array_functions<E>::fold(const E* p, std::size_t n, F& f) {
    E r = p[0];
    if (n > 1) {
        detail::check_function(f);
        for (std::size_t i = 1; i < n; ++i) r = f(r, p[i]);
    }
    return r;
}

template <class E>
template <class F, class G>
E generic_array_functions<E>::pair_fold(const array& a, const array& b, F& f, G& g) {
    // The pairs are combined as they are made, which gives the same calls as building the
    // array of overload 10 first but needs no temporary.
    const E* p = a.data();
    const E* q = b.data() + (a.first() - b.first());
    const std::size_t n = static_cast<std::size_t>(a.length());
    detail::check_function(f);
    E r = f(p[0], q[0]);
    if (n > 1) {
        detail::check_function(g);
        for (std::size_t i = 1; i < n; ++i) r = g(r, f(p[i], q[i]));
    }
    return r;
}

template <class E>
template <unary_op<E> F>
void generic_array_functions<E>::apply(array& a, F&& f) {
    if (a.empty()) return;
    detail::check_function(f);
    for (E& x : a) x = f(x);
}

template <class E>
template <unary_op<E> F>
void generic_array_functions<E>::apply(matrix& m, F&& f) {
    if (m.empty()) return;
    detail::check_function(f);
    for (E *p = m.data(), *end = p + m.rows() * m.cols(); p != end; ++p) *p = f(*p);
}

template <class E>
template <unary_op<E> F>
void generic_array_functions<E>::apply(matrix& m, F&& f, index_type index, direction d) {
    if ((d == direction::ROW ? m.cols() : m.rows()) == 0) return;
    check_line(m, index, d);
    detail::check_function(f);
    for_line(m, index, d, [&f](E& x) { x = f(x); });
}

template <class E>
template <unary_op<E> F>
void generic_array_functions<E>::apply(vector& v, F&& f) {
    for (index_type i = v.first(); i <= v.last(); ++i) apply(row(v, i), f);
}

template <class E>
template <binary_op<E> F>
E generic_array_functions<E>::apply(const array& a, F&& f) {
    if (a.empty()) fail_empty(a);
    return fold(a.data(), static_cast<std::size_t>(a.length()), f);
}

template <class E>
template <binary_op<E> F>
E generic_array_functions<E>::apply(const matrix& m, F&& f) {
    if (m.empty()) fail_empty(m);
    return fold(m.data(), static_cast<std::size_t>(m.rows() * m.cols()), f);
}

template <class E>
template <binary_op<E> F>
auto generic_array_functions<E>::apply(const vector& v, F&& f, per_row_t) -> array {
    array result(v.first(), v.last());
    for (index_type i = v.first(); i <= v.last(); ++i) result.unchecked(i) = apply(row(v, i), f);
    return result;
}

template <class E>
template <binary_op<E> F>
E generic_array_functions<E>::apply(const vector& v, F&& f) {
    return apply(apply(v, f, per_row), f);
}

template <class E>
template <binary_op<E> F, binary_op<E> G>
E generic_array_functions<E>::apply(const vector& v, F&& f, G&& g) {
    return apply(apply(v, f, per_row), g);
}

template <class E>
template <binary_op<E> F>
auto generic_array_functions<E>::apply(const array& a, const array& b, F&& f) -> array {
    check_covers(a, b);
    array result(a.first(), a.last());
    if (a.empty()) return result;
    detail::check_function(f);
    const E* p = a.data();
    const E* q = b.data() + (a.first() - b.first());
    for (E& x : result) x = f(*p++, *q++);
    return result;
}

template <class E>
template <binary_op<E> F>
void generic_array_functions<E>::apply(matrix& m, index_type a, index_type b, index_type target,
                                       F&& f, direction d) {
    if ((d == direction::ROW ? m.cols() : m.rows()) == 0) return;
    check_line(m, a, d);
    check_line(m, b, d);
    check_line(m, target, d);
    detail::check_function(f);
    if (d == direction::ROW) {
        for (index_type j = m.col_first(); j <= m.col_last(); ++j)
            m.unchecked(target, j) = f(m.unchecked(a, j), m.unchecked(b, j));
    } else {
        for (index_type i = m.row_first(); i <= m.row_last(); ++i)
            m.unchecked(i, target) = f(m.unchecked(i, a), m.unchecked(i, b));
    }
}

template <class E>
template <binary_op<E> F>
void generic_array_functions<E>::apply(vector& v, index_type a, index_type b, index_type target,
                                       F&& f, direction d) {
    if (d == direction::ROW) {
        array& to = row(v, target);
        array result = apply(row(v, a), row(v, b), f);
        if (result.length() != to.length())
            throw range_error("apply: rows " + std::to_string(a) + " and " + std::to_string(b) +
                              " give " + std::to_string(result.length()) +
                              " elements, the target row " + std::to_string(target) + " has " +
                              std::to_string(to.length()));
        std::move(result.begin(), result.end(), to.begin());
        return;
    }
    for (index_type i = v.first(); i <= v.last(); ++i) {
        array& r = row(v, i);
        E& t = r[target];
        detail::check_function(f);
        t = f(r[a], r[b]);
    }
}

template <class E>
template <binary_op<E> F, binary_op<E> G>
E generic_array_functions<E>::apply(const array& a, const array& b, F&& f, G&& g) {
    if (a.empty()) fail_empty(a);
    check_covers(a, b);
    return pair_fold(a, b, f, g);
}

template <class E>
template <binary_op<E> F>
auto generic_array_functions<E>::apply(const matrix& m1, const matrix& m2, F&& f) -> matrix {
    if (m1.rows() != m2.rows() || m1.cols() != m2.cols())
        throw size_error("apply: a " + std::to_string(m1.rows()) + " x " +
                         std::to_string(m1.cols()) + " matrix paired with a " +
                         std::to_string(m2.rows()) + " x " + std::to_string(m2.cols()) + " one");
    matrix result(m1.row_first(), m1.row_last(), m1.col_first(), m1.col_last());
    if (m1.empty()) return result;
    // Elements are paired by index values: m2 must have m1's bounds.
    m2.check(m1.row_first(), m1.col_first());
    m2.check(m1.row_last(), m1.col_last());
    detail::check_function(f);
    const E* p = m1.data();
    const E* q = m2.data();
    for (E *r = result.data(), *end = r + m1.rows() * m1.cols(); r != end; ++r) *r = f(*p++, *q++);
    return result;
}

template <class E>
template <binary_op<E> F, binary_op<E> G>
auto generic_array_functions<E>::apply(const vector& v, F&& f, G&& g, bool all_pairs) -> matrix {
    matrix result(v.first(), v.last(), v.first(), v.last());
    for (index_type i = v.first(); i <= v.last(); ++i) {
        const array& a = row(v, i);
        for (index_type j = all_pairs ? v.first() : i; j <= v.last(); ++j) {
            const E value = apply(a, row(v, j), f, g);
            result.unchecked(i, j) = value;
            if (!all_pairs) result.unchecked(j, i) = value;
        }
    }
    return result;
}

} // namespace generics
