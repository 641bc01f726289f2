#pragma once
// Arrays that carry their own index bounds. A 1-D array covers first .. last (empty when
// last = first - 1); a 2-D array covers a row range times a column range, stored row-major
// in one block. Element access by index is always checked and throws `range_error` with the
// index and the bounds; hot loops check a whole range once and then use `data()` or
// iterators. Elements are value-initialised (0, '\0', the first enumeration literal, "").

#include <generics/errors.hpp>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace generics {

// Selects the per-row form of an operation on a row vector (one result per row) where the
// plain form folds the whole vector into one element.
struct per_row_t {
    explicit per_row_t() = default;
};
inline constexpr per_row_t per_row{};

// Index of every array of the project: a natural number 0 .. max_index when the range is not
// empty. Held in 64 bits so that last - first + 1 and first - 1 never overflow.
using index_type = std::int64_t;
inline constexpr index_type max_index = 2147483647;

[[noreturn]] inline void throw_index_error(index_type i, index_type first, index_type last) {
    throw range_error("index " + std::to_string(i) + " outside the bounds " +
                      std::to_string(first) + " .. " + std::to_string(last));
}

// Checks that first .. last is a valid range: empty, or within 0 .. max_index.
inline void check_range(index_type first, index_type last) {
    if (last >= first && (first < 0 || last > max_index))
        throw range_error("range " + std::to_string(first) + " .. " + std::to_string(last) +
                          " is not within 0 .. " + std::to_string(max_index));
}

template <class T>
class bounded_array {
public:
    using value_type = T;
    using iterator = typename std::vector<T>::iterator;
    using const_iterator = typename std::vector<T>::const_iterator;

    // The empty range 0 .. -1.
    bounded_array() = default;

    // first .. last with value-initialised elements; any last < first gives an empty range
    // starting at first.
    bounded_array(index_type first, index_type last) : first_(first) {
        check_range(first, last);
        if (last >= first) data_.resize(static_cast<std::size_t>(last - first + 1));
    }

    bounded_array(index_type first, index_type last, const T& value) : first_(first) {
        check_range(first, last);
        if (last >= first) data_.assign(static_cast<std::size_t>(last - first + 1), value);
    }

    // Takes over `values` as the elements first .. first + size - 1.
    bounded_array(index_type first, std::vector<T> values)
        : first_(first), data_(std::move(values)) {
        if (!data_.empty()) check_range(first, last());
    }

    [[nodiscard]] index_type first() const noexcept { return first_; }
    [[nodiscard]] index_type last() const noexcept {
        return first_ + static_cast<index_type>(data_.size()) - 1;
    }
    [[nodiscard]] index_type length() const noexcept {
        return static_cast<index_type>(data_.size());
    }
    [[nodiscard]] bool empty() const noexcept { return data_.empty(); }
    [[nodiscard]] bool contains(index_type i) const noexcept { return i >= first_ && i <= last(); }

    // Checked access: the range error when i is outside first .. last.
    T& operator[](index_type i) {
        check(i);
        return data_[static_cast<std::size_t>(i - first_)];
    }
    const T& operator[](index_type i) const {
        check(i);
        return data_[static_cast<std::size_t>(i - first_)];
    }

    // Throws the range error unless i lies within the bounds.
    void check(index_type i) const {
        if (!contains(i)) throw_index_error(i, first_, last());
    }
    // Throws the range error unless the non-empty range lo .. hi lies within the bounds.
    void check(index_type lo, index_type hi) const {
        if (hi < lo) return;
        check(lo);
        check(hi);
    }

    // Unchecked access to the element at index i (after the caller has checked the range).
    T& unchecked(index_type i) noexcept { return data_[static_cast<std::size_t>(i - first_)]; }
    const T& unchecked(index_type i) const noexcept {
        return data_[static_cast<std::size_t>(i - first_)];
    }

    T* data() noexcept { return data_.data(); }
    const T* data() const noexcept { return data_.data(); }
    std::span<T> span() noexcept { return data_; }
    std::span<const T> span() const noexcept { return data_; }
    iterator begin() noexcept { return data_.begin(); }
    iterator end() noexcept { return data_.end(); }
    const_iterator begin() const noexcept { return data_.begin(); }
    const_iterator end() const noexcept { return data_.end(); }

    // Equal when both bounds and all elements are equal.
    friend bool operator==(const bounded_array& a, const bounded_array& b) {
        return a.length() == b.length() && (a.empty() || a.first_ == b.first_) &&
               a.data_ == b.data_;
    }

private:
    index_type first_ = 0;
    std::vector<T> data_;
};

template <class T>
class bounded_matrix {
public:
    using value_type = T;

    // The empty matrix (0 .. -1, 0 .. -1).
    bounded_matrix() = default;

    // Rows row_first .. row_last times columns col_first .. col_last, value-initialised.
    bounded_matrix(index_type row_first, index_type row_last, index_type col_first,
                   index_type col_last)
        : row_first_(row_first), col_first_(col_first) {
        check_range(row_first, row_last);
        check_range(col_first, col_last);
        rows_ = row_last >= row_first ? row_last - row_first + 1 : 0;
        cols_ = col_last >= col_first ? col_last - col_first + 1 : 0;
        data_.resize(static_cast<std::size_t>(rows_ * cols_));
    }
    // The same over row-major `values`, which must hold exactly rows * columns elements (the
    // range error otherwise); nothing is copied.
    bounded_matrix(index_type row_first, index_type row_last, index_type col_first,
                   index_type col_last, std::vector<T> values)
        : row_first_(row_first), col_first_(col_first) {
        check_range(row_first, row_last);
        check_range(col_first, col_last);
        rows_ = row_last >= row_first ? row_last - row_first + 1 : 0;
        cols_ = col_last >= col_first ? col_last - col_first + 1 : 0;
        if (values.size() != static_cast<std::size_t>(rows_ * cols_))
            throw range_error(std::to_string(values.size()) + " values do not fill a matrix of " +
                              std::to_string(rows_) + " x " + std::to_string(cols_));
        data_ = std::move(values);
    }

    [[nodiscard]] index_type row_first() const noexcept { return row_first_; }
    [[nodiscard]] index_type row_last() const noexcept { return row_first_ + rows_ - 1; }
    [[nodiscard]] index_type col_first() const noexcept { return col_first_; }
    [[nodiscard]] index_type col_last() const noexcept { return col_first_ + cols_ - 1; }
    [[nodiscard]] index_type rows() const noexcept { return rows_; }
    [[nodiscard]] index_type cols() const noexcept { return cols_; }
    [[nodiscard]] bool empty() const noexcept { return data_.empty(); }
    [[nodiscard]] bool contains_row(index_type i) const noexcept {
        return i >= row_first_ && i <= row_last();
    }
    [[nodiscard]] bool contains_col(index_type j) const noexcept {
        return j >= col_first_ && j <= col_last();
    }

    // Checked access: the range error when (i, j) is outside the bounds.
    T& operator()(index_type i, index_type j) {
        check(i, j);
        return unchecked(i, j);
    }
    const T& operator()(index_type i, index_type j) const {
        check(i, j);
        return unchecked(i, j);
    }

    void check_row(index_type i) const {
        if (!contains_row(i)) throw_index_error(i, row_first_, row_last());
    }
    void check_col(index_type j) const {
        if (!contains_col(j)) throw_index_error(j, col_first_, col_last());
    }
    void check(index_type i, index_type j) const {
        check_row(i);
        check_col(j);
    }

    T& unchecked(index_type i, index_type j) noexcept {
        return data_[static_cast<std::size_t>((i - row_first_) * cols_ + (j - col_first_))];
    }
    const T& unchecked(index_type i, index_type j) const noexcept {
        return data_[static_cast<std::size_t>((i - row_first_) * cols_ + (j - col_first_))];
    }

    // Row-major storage: row i starts at data() + (i - row_first()) * cols().
    T* data() noexcept { return data_.data(); }
    const T* data() const noexcept { return data_.data(); }
    // The elements of row i (checked), for loops over one row.
    std::span<T> row(index_type i) {
        check_row(i);
        return std::span<T>(data_).subspan(static_cast<std::size_t>((i - row_first_) * cols_),
                                           static_cast<std::size_t>(cols_));
    }
    std::span<const T> row(index_type i) const {
        check_row(i);
        return std::span<const T>(data_).subspan(static_cast<std::size_t>((i - row_first_) * cols_),
                                                 static_cast<std::size_t>(cols_));
    }

    friend bool operator==(const bounded_matrix& a, const bounded_matrix& b) {
        return a.rows_ == b.rows_ && a.cols_ == b.cols_ && a.row_first_ == b.row_first_ &&
               a.col_first_ == b.col_first_ && a.data_ == b.data_;
    }

private:
    index_type row_first_ = 0;
    index_type col_first_ = 0;
    index_type rows_ = 0;
    index_type cols_ = 0;
    std::vector<T> data_;
};

} // namespace generics
