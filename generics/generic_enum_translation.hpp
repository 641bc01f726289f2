#pragma once
// Translation of one element type into another through a table indexed by a contiguous range
// of source elements (for example the characters '-' .. 'z'), applied to arrays, matrices and
// row vectors. There is no default entry: looking up an element outside the table's range is
// the range error, so a table must cover every element that occurs.

#include <generics/bounded_array.hpp>
#include <generics/errors.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace generics {

// The position of an element in the order a translation table is indexed by: character code
// 0 .. 255 for characters (whatever the signedness of char), the underlying value for
// enumerations, the value itself for integers.
template <class T>
[[nodiscard]] constexpr std::int64_t translation_ordinal(T value) noexcept {
    if constexpr (std::is_enum_v<T>)
        return static_cast<std::int64_t>(static_cast<std::underlying_type_t<T>>(value));
    else if constexpr (std::is_same_v<T, char>)
        return static_cast<unsigned char>(value);
    else
        return static_cast<std::int64_t>(value);
}

// An element as it appears in error messages: a printable character in quotes, anything else
// by its ordinal.
template <class T>
[[nodiscard]] std::string translation_image(T value) {
    if constexpr (std::is_same_v<T, char>) {
        const auto code = static_cast<unsigned char>(value);
        if (code > 32 && code < 127) return std::string{'\'', value, '\''};
        return "code " + std::to_string(code);
    } else {
        return std::to_string(translation_ordinal(value));
    }
}

template <class Source, class Target>
struct generic_enum_translation {
    using source_array = bounded_array<Source>;
    using source_matrix = bounded_matrix<Source>;
    using source_vector = bounded_array<std::unique_ptr<source_array>>;
    using target_array = bounded_array<Target>;
    using target_matrix = bounded_matrix<Target>;
    using target_vector = bounded_array<std::unique_ptr<target_array>>;

    // Target values indexed by the source elements first .. last (empty when last < first).
    // There are no default entries: an entry exists once it is assigned through operator[]
    // (or for all positions when a fill value is given), and translating an element whose
    // entry was never set is the range error, like an element outside the range.
    class table {
    public:
        table(Source first, Source last) : first_(first), last_(last) {
            entries_.resize(size(first, last));
            filled_.resize(size(first, last), 0);
        }
        table(Source first, Source last, Target fill) : first_(first), last_(last) {
            entries_.assign(size(first, last), fill);
            filled_.assign(size(first, last), 1);
        }

        [[nodiscard]] Source first() const noexcept { return first_; }
        [[nodiscard]] Source last() const noexcept { return last_; }
        [[nodiscard]] std::int64_t length() const noexcept {
            return static_cast<std::int64_t>(entries_.size());
        }
        // Whether `s` lies within first .. last.
        [[nodiscard]] bool contains(Source s) const noexcept { return offset(s) < entries_.size(); }
        // Whether `s` lies within first .. last and its entry is set.
        [[nodiscard]] bool has_entry(Source s) const noexcept {
            const auto k = offset(s);
            return k < entries_.size() && filled_[k];
        }

        // The entry for `s`, created (as Target{}) if not yet set, for assignment; the range
        // error outside first .. last.
        Target& operator[](Source s) {
            const auto k = offset(s);
            if (k >= entries_.size()) throw_missing(s, "");
            filled_[k] = 1;
            return entries_[k];
        }
        // The entry for `s`; the range error outside first .. last or when it is not set.
        const Target& operator[](Source s) const {
            const auto k = offset(s);
            if (k >= entries_.size() || !filled_[k]) throw_missing(s, "");
            return entries_[k];
        }

    private:
        friend struct generic_enum_translation;

        static std::size_t size(Source first, Source last) noexcept {
            const auto lo = translation_ordinal(first);
            const auto hi = translation_ordinal(last);
            return hi >= lo ? static_cast<std::size_t>(hi - lo + 1) : 0;
        }

        // Position of `s` in the entries; out of range (wrapping below first) when outside.
        std::size_t offset(Source s) const noexcept {
            return static_cast<std::size_t>(translation_ordinal(s) - translation_ordinal(first_));
        }

        // The entry for `s`, found at (i) or (i, j) of an operand described by `where` for the
        // error (j < 0 for an array).
        [[nodiscard]] Target lookup(Source s, const char* where, std::int64_t i,
                                    std::int64_t j = -1) const {
            const auto k = offset(s);
            if (k >= entries_.size() || !filled_[k]) [[unlikely]]
                throw_missing(s, std::string(where) + std::to_string(i) +
                                     (j >= 0 ? ", " + std::to_string(j) + ")" : ""));
            return entries_[k];
        }

        [[noreturn]] void throw_missing(Source s, const std::string& where) const {
            const std::string range =
                entries_.empty() ? std::string("empty")
                                 : translation_image(first_) + " .. " + translation_image(last_);
            const bool inside = contains(s);
            throw range_error("state " + translation_image(s) + where +
                              (inside ? " has no entry in" : " is outside") +
                              " the translation table (" + range + ")");
        }

        Source first_;
        Source last_;
        std::vector<Target> entries_;
        std::vector<std::uint8_t> filled_; // 1 where the entry is set
    };

    // result(i) = t(a(i)), with a's bounds.
    [[nodiscard]] static target_array translate(const source_array& a, const table& t) {
        target_array result(a.first(), a.last());
        for (index_type i = a.first(); i <= a.last(); ++i)
            result.unchecked(i) = t.lookup(a.unchecked(i), " at index ", i);
        return result;
    }

    // result(i, j) = t(m(i, j)), with m's bounds.
    [[nodiscard]] static target_matrix translate(const source_matrix& m, const table& t) {
        target_matrix result(m.row_first(), m.row_last(), m.col_first(), m.col_last());
        for (index_type i = m.row_first(); i <= m.row_last(); ++i)
            for (index_type j = m.col_first(); j <= m.col_last(); ++j)
                result.unchecked(i, j) = t.lookup(m.unchecked(i, j), " at (", i, j);
        return result;
    }

    // Every row translated into a new row with the source row's bounds; the rows belong to the
    // caller. A null row is the range error; the source is not changed.
    [[nodiscard]] static target_vector translate(const source_vector& v, const table& t) {
        target_vector result(v.first(), v.last());
        for (index_type i = v.first(); i <= v.last(); ++i) {
            const auto& row = v.unchecked(i);
            if (!row) throw range_error("row " + std::to_string(i) + " is null");
            auto translated = std::make_unique<target_array>(row->first(), row->last());
            for (index_type j = row->first(); j <= row->last(); ++j)
                translated->unchecked(j) = t.lookup(row->unchecked(j), " at (", i, j);
            result.unchecked(i) = std::move(translated);
        }
        return result;
    }
};

} // namespace generics
