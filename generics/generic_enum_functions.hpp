#pragma once
// Order-based operations on arrays, matrices and row vectors of an ordered element type:
// extremes, in-place heap sort and (for discrete kinds) modes.
//
// `generic_order_functions` holds what every ordered kind shares (extremes and sorting);
// `generic_enum_functions` adds `modes` for the discrete kinds (characters, enumerations,
// counts); `generic_float_functions` provides the shared part for reals.
//
// The order is the element type's natural order, except that characters are compared by
// their code as an unsigned byte, so that states above 127 sort after ASCII ones whatever
// the signedness of `char`.

#include <generics/bounded_array.hpp>
#include <generics/errors.hpp>

#include <cmath>
#include <cstddef>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace generics {

template <class Element>
struct generic_order_functions {
    using element = Element;
    using array = bounded_array<Element>;
    using vector = bounded_array<std::unique_ptr<array>>;
    using matrix = bounded_matrix<Element>;

    // The element order: true when a comes before b. Floating-point not-a-numbers come after
    // every number (and are equal among themselves), so extremes and sorting never depend on
    // where a not-a-number stands.
    static bool less(const Element& a, const Element& b) noexcept {
        if constexpr (std::is_same_v<Element, char>)
            return static_cast<unsigned char>(a) < static_cast<unsigned char>(b);
        else if constexpr (std::is_floating_point_v<Element>)
            return a < b || (!std::isnan(a) && std::isnan(b));
        else
            return a < b;
    }

    // a if a > b, else b.
    static Element max(const Element& a,
                       const Element& b) noexcept(std::is_nothrow_copy_constructible_v<Element>) {
        return less(b, a) ? a : b;
    }
    // b if a > b, else a.
    static Element min(const Element& a,
                       const Element& b) noexcept(std::is_nothrow_copy_constructible_v<Element>) {
        return less(b, a) ? b : a;
    }

    // Folds from the first element; an empty operand or a null row is the range error.
    static Element max(const array& a);
    static Element min(const array& a);
    static Element max(const matrix& m);
    static Element min(const matrix& m);
    // One extreme per row, over the vector's range.
    static array max(const vector& v, per_row_t);
    static array min(const vector& v, per_row_t);
    // The extreme of all rows.
    static Element max(const vector& v);
    static Element min(const vector& v);

    // Sorts into ascending order in place: heap sort, O(n log n), no extra storage.
    static void array_sort(array& a) noexcept(
        std::is_nothrow_move_constructible_v<Element>&& std::is_nothrow_move_assignable_v<Element>);

    // Callable objects through which each kind's namespace offers these overload sets under
    // their own names (`phylo::count_chars::max(a)`, `phylo::count_chars::array_sort(a)`).
    struct max_fn {
        template <class... Args>
        auto operator()(Args&&... args) const
            -> decltype(generic_order_functions::max(std::forward<Args>(args)...)) {
            return generic_order_functions::max(std::forward<Args>(args)...);
        }
    };
    struct min_fn {
        template <class... Args>
        auto operator()(Args&&... args) const
            -> decltype(generic_order_functions::min(std::forward<Args>(args)...)) {
            return generic_order_functions::min(std::forward<Args>(args)...);
        }
    };
    struct array_sort_fn {
        void operator()(array& a) const { generic_order_functions::array_sort(a); }
    };

protected:
    static void check_not_empty(const array& a, const char* what);
    static const array& row(const vector& v, index_type i);
    // Heap sort of the n elements at p.
    static void heap_sort(Element* p, std::size_t n);

private:
    // Fills the hole at `hole` of the heap p[0 .. n) with x: the hole first sinks to a leaf
    // along the larger children, then x rises to its place (fewer comparisons than the
    // textbook sift-down, which compares x at every level).
    static void sift(Element* p, std::size_t hole, std::size_t n, Element x);

    template <bool Max>
    static Element extreme(const Element* p, std::size_t n) {
        Element r = p[0];
        for (std::size_t i = 1; i < n; ++i) r = Max ? max(r, p[i]) : min(r, p[i]);
        return r;
    }
    template <bool Max>
    static Element extreme(const array& a) {
        check_not_empty(a, Max ? "max" : "min");
        return extreme<Max>(a.data(), static_cast<std::size_t>(a.length()));
    }
    template <bool Max>
    static Element extreme(const matrix& m);
    template <bool Max>
    static array extreme_per_row(const vector& v);
    template <bool Max>
    static Element extreme(const vector& v);
};

template <class Element>
struct generic_enum_functions : generic_order_functions<Element> {
    using typename generic_order_functions<Element>::array;

    // The most frequent values, each once, ascending; the result starts at a's first index.
    // An empty array is the range error.
    static array modes(const array& a);

    struct modes_fn {
        array operator()(const array& a) const { return generic_enum_functions::modes(a); }
    };
};

// ========================================================================================
// Definitions (compiled once by the library's explicit instantiations).

template <class E>
void generic_order_functions<E>::check_not_empty(const array& a, const char* what) {
    if (a.empty())
        throw range_error(std::string(what) + ": the array " + std::to_string(a.first()) + " .. " +
                          std::to_string(a.last()) + " is empty");
}

template <class E>
auto generic_order_functions<E>::row(const vector& v, index_type i) -> const array& {
    const auto& r = v[i];
    if (!r) throw range_error("row " + std::to_string(i) + " is null");
    return *r;
}

template <class E>
template <bool Max>
E generic_order_functions<E>::extreme(const matrix& m) {
    if (m.empty())
        throw range_error(std::string(Max ? "max" : "min") + ": the matrix (" +
                          std::to_string(m.row_first()) + " .. " + std::to_string(m.row_last()) +
                          ", " + std::to_string(m.col_first()) + " .. " +
                          std::to_string(m.col_last()) + ") is empty");
    return extreme<Max>(m.data(), static_cast<std::size_t>(m.rows() * m.cols()));
}

template <class E>
template <bool Max>
auto generic_order_functions<E>::extreme_per_row(const vector& v) -> array {
    array result(v.first(), v.last());
    for (index_type i = v.first(); i <= v.last(); ++i)
        result.unchecked(i) = extreme<Max>(row(v, i));
    return result;
}

template <class E>
template <bool Max>
E generic_order_functions<E>::extreme(const vector& v) {
    if (v.empty())
        throw range_error(std::string(Max ? "max" : "min") + ": the row vector " +
                          std::to_string(v.first()) + " .. " + std::to_string(v.last()) +
                          " is empty");
    E r = extreme<Max>(row(v, v.first()));
    for (index_type i = v.first() + 1; i <= v.last(); ++i) {
        const E x = extreme<Max>(row(v, i));
        r = Max ? max(r, x) : min(r, x);
    }
    return r;
}

template <class E>
E generic_order_functions<E>::max(const array& a) {
    return extreme<true>(a);
}
template <class E>
E generic_order_functions<E>::min(const array& a) {
    return extreme<false>(a);
}
template <class E>
E generic_order_functions<E>::max(const matrix& m) {
    return extreme<true>(m);
}
template <class E>
E generic_order_functions<E>::min(const matrix& m) {
    return extreme<false>(m);
}
template <class E>
auto generic_order_functions<E>::max(const vector& v, per_row_t) -> array {
    return extreme_per_row<true>(v);
}
template <class E>
auto generic_order_functions<E>::min(const vector& v, per_row_t) -> array {
    return extreme_per_row<false>(v);
}
template <class E>
E generic_order_functions<E>::max(const vector& v) {
    return extreme<true>(v);
}
template <class E>
E generic_order_functions<E>::min(const vector& v) {
    return extreme<false>(v);
}

template <class E>
void generic_order_functions<E>::sift(E* p, std::size_t hole, std::size_t n, E x) {
    const std::size_t top = hole;
    std::size_t child = 2 * hole + 1;
    while (child + 1 < n) {
        if (less(p[child], p[child + 1])) ++child;
        p[hole] = std::move(p[child]);
        hole = child;
        child = 2 * hole + 1;
    }
    if (child < n) {
        p[hole] = std::move(p[child]);
        hole = child;
    }
    while (hole > top) {
        const std::size_t parent = (hole - 1) / 2;
        if (!less(p[parent], x)) break;
        p[hole] = std::move(p[parent]);
        hole = parent;
    }
    p[hole] = std::move(x);
}

template <class E>
void generic_order_functions<E>::heap_sort(E* p, std::size_t n) {
    if (n < 2) return;
    for (std::size_t i = n / 2; i-- > 0;) sift(p, i, n, std::move(p[i]));
    for (std::size_t end = n - 1; end > 0; --end) {
        E x = std::move(p[end]);
        p[end] = std::move(p[0]);
        sift(p, 0, end, std::move(x));
    }
}

template <class E>
void generic_order_functions<E>::array_sort(array& a) noexcept(
    std::is_nothrow_move_constructible_v<E>&& std::is_nothrow_move_assignable_v<E>) {
    heap_sort(a.data(), static_cast<std::size_t>(a.length()));
}

template <class E>
auto generic_enum_functions<E>::modes(const array& a) -> array {
    using base = generic_order_functions<E>;
    base::check_not_empty(a, "modes");
    std::vector<E> sorted(a.begin(), a.end());
    base::heap_sort(sorted.data(), sorted.size());

    std::vector<E> listed;
    std::size_t best = 0;
    for (std::size_t start = 0; start < sorted.size();) {
        std::size_t end = start + 1;
        while (end < sorted.size() && sorted[end] == sorted[start]) ++end;
        const std::size_t run = end - start;
        if (run > best) {
            best = run;
            listed.clear();
        }
        if (run == best) listed.push_back(sorted[start]);
        start = end;
    }
    return array(a.first(), std::move(listed));
}

} // namespace generics
