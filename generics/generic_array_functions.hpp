#pragma once
// The family of array, matrix and row-vector operations, written once for an element type.
// Each instantiation is one provided form (`phylo::count_chars::basic`,
// `phylo::taxonomy::group_names`, ...) with its own `direction` and its own `size_error`, so
// a handler for one form's size_error does not catch another's.

#include <generics/bounded_array.hpp>
#include <generics/errors.hpp>

#include <memory>

namespace generics {

template <class Element>
struct generic_array_functions {
    using element = Element;
    using array = bounded_array<Element>;
    using array_access = std::unique_ptr<array>;   // owning row reference, null = no row
    using vector = bounded_array<array_access>;     // the row-wise form of a matrix
    using matrix = bounded_matrix<Element>;

    enum class direction { COLUMN, ROW };

    // Two operands of incompatible sizes; distinct for every form.
    class size_error : public size_error_base {
    public:
        using size_error_base::size_error_base;
    };

    // The row of `v` at index i, or the range error when it is null.
    static array& row(vector& v, index_type i) {
        auto& r = v[i];
        if (!r) throw range_error("row " + std::to_string(i) + " is null");
        return *r;
    }
    static const array& row(const vector& v, index_type i) {
        const auto& r = v[i];
        if (!r) throw range_error("row " + std::to_string(i) + " is null");
        return *r;
    }

    // Column `index` of a row vector: result(i) = v(i)(index), over the vector's range.
    static array extract(const vector& v, index_type index) {
        array result(v.first(), v.last());
        for (index_type i = v.first(); i <= v.last(); ++i)
            result.unchecked(i) = row(v, i)[index];
        return result;
    }
};

} // namespace generics
