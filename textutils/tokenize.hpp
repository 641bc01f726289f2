#pragma once
// String vectors and tokenising: cutting a string into a vector of fields (at a pattern, at
// runs of set characters, or into pieces of fixed width), joining a vector back into one
// string, and searching tokens (maximal runs of characters inside or outside a set).
//
// Sources are std::string_view, so a slice of a longer string is passed as a sub-view. The
// operations that report positions (`first_token`, `last_token`) number the source's
// characters from `first` (default 1): pass the index of the slice's first character in the
// longer string to get bounds in that string's own numbering.

#include <textutils/charset.hpp>

#include <generics/bounded_array.hpp>
#include <generics/errors.hpp>

#include <concepts>
#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace textutils {

using generics::index_type;

// Whether a token is made of the characters inside a set or of those outside it.
enum class membership { INSIDE, OUTSIDE };
// Which end a search counts from.
enum class direction { FORWARD, BACKWARD };

// Every character not in `whitespace` (charset.hpp).
inline const character_set blackspace = ~whitespace;

// A growable vector of owned strings indexed from 1 .. length(). Element access is checked
// (range error); appending beyond `max_length` elements is the capacity error and leaves the
// vector as it was.
class ustr_vecs {
public:
    using value_type = std::string;
    using iterator = std::vector<std::string>::iterator;
    using const_iterator = std::vector<std::string>::const_iterator;

    static constexpr index_type max_length = generics::max_index;

    ustr_vecs() = default;
    ustr_vecs(std::initializer_list<std::string> items) : items_(items) {}

    [[nodiscard]] static constexpr index_type first() noexcept { return 1; }
    [[nodiscard]] index_type last() const noexcept { return length(); }
    [[nodiscard]] index_type length() const noexcept {
        return static_cast<index_type>(items_.size());
    }
    [[nodiscard]] bool empty() const noexcept { return items_.empty(); }

    std::string& operator[](index_type i) {
        check(i);
        return items_[static_cast<std::size_t>(i - 1)];
    }
    const std::string& operator[](index_type i) const {
        check(i);
        return items_[static_cast<std::size_t>(i - 1)];
    }

    // Appends one string at the end.
    void append(std::string item) {
        make_room(1);
        items_.push_back(std::move(item));
    }
    // Appends all elements of `other`, in order, at the end.
    void append(const ustr_vecs& other) {
        if (&other == this) {
            append(ustr_vecs(other));
            return;
        }
        make_room(other.length());
        items_.insert(items_.end(), other.items_.begin(), other.items_.end());
    }
    void append(ustr_vecs&& other) {
        make_room(other.length());
        if (items_.empty()) {
            items_ = std::move(other.items_);
            return;
        }
        items_.insert(items_.end(), std::make_move_iterator(other.items_.begin()),
                      std::make_move_iterator(other.items_.end()));
    }

    iterator begin() noexcept { return items_.begin(); }
    iterator end() noexcept { return items_.end(); }
    const_iterator begin() const noexcept { return items_.begin(); }
    const_iterator end() const noexcept { return items_.end(); }

    friend bool operator==(const ustr_vecs&, const ustr_vecs&) = default;

private:
    void check(index_type i) const {
        if (i < 1 || i > length()) generics::throw_index_error(i, 1, length());
    }
    void make_room(index_type more) {
        if (more > max_length - length())
            throw capacity_error("string vector: " + std::to_string(length()) + " + " +
                                 std::to_string(more) + " elements exceed the largest length " +
                                 std::to_string(max_length));
        items_.reserve(items_.size() + static_cast<std::size_t>(more));
    }

    std::vector<std::string> items_;
};

// First and last index of a token; last = 0 when there is no token.
struct token_bounds {
    index_type first = 1;
    index_type last = 0;
    friend bool operator==(const token_bounds&, const token_bounds&) = default;
};

// --- Cutting at a pattern -------------------------------------------------------------------
// The fields between non-overlapping occurrences of `pattern`, left to right: k occurrences
// give k + 1 fields, empty ones kept. Source characters pass through `mapping` only for the
// comparison; fields hold them unmapped. An empty source gives no fields; an empty pattern
// gives one field per character.
ustr_vecs split(std::string_view source, std::string_view pattern,
                const character_mapping& mapping = identity);
void split(ustr_vecs& target, std::string_view source, std::string_view pattern,
           const character_mapping& mapping = identity);

// The same at a one-character pattern. Without this form a character argument would
// silently convert to a piece width.
template <std::same_as<char> Char>
ustr_vecs split(std::string_view source, Char separator,
                const character_mapping& mapping = identity) {
    return split(source, std::string_view(&separator, 1), mapping);
}
template <std::same_as<char> Char>
void split(ustr_vecs& target, std::string_view source, Char separator,
           const character_mapping& mapping = identity) {
    split(target, source, std::string_view(&separator, 1), mapping);
}

// --- Cutting at runs of set characters ------------------------------------------------------
// Like the pattern form, but every maximal run of characters of `set` is one separator. The
// empty set gives one field per character.
ustr_vecs split(std::string_view source, const character_set& set);
void split(ustr_vecs& target, std::string_view source, const character_set& set);

// --- Cutting into pieces --------------------------------------------------------------------
// Pieces of `width` characters, the last one possibly shorter. A width below 1 is the range
// error.
ustr_vecs split(std::string_view source, index_type width);
void split(ustr_vecs& target, std::string_view source, index_type width);

// The elements in order with `separator` between neighbours; "" for an empty vector.
std::string join(const ustr_vecs& items, std::string_view separator);

// Every token of `set` characters, left to right. The empty set is the pattern error.
ustr_vecs scan(std::string_view source, const character_set& set);
void scan(ustr_vecs& target, std::string_view source, const character_set& set);

// The n-th token (counting from 1 at the front or at the back) of characters that pass
// `test` against `set`; "" when n is 0 or there are fewer than n tokens.
std::string word(std::string_view source, index_type n, direction from,
                 const character_set& set = whitespace, membership test = membership::OUTSIDE);

// The bounds of the first / last token of characters that pass `test` against `set`, with
// the source's characters numbered from `first`; {first, 0} when there is none. An empty
// source or a `first` below 1 is the range error.
token_bounds first_token(std::string_view source, const character_set& set, membership test,
                         index_type first = 1);
token_bounds last_token(std::string_view source, const character_set& set, membership test,
                        index_type first = 1);

// Position (from 0) of the first occurrence of `pattern` in `source` at or after `from`,
// source characters compared through `mapping`; npos when there is none or the pattern is
// empty.
std::size_t find_pattern(std::string_view source, std::string_view pattern,
                         const character_mapping& mapping = identity, std::size_t from = 0);

// Calls `field(std::string_view)` for every field that the pattern form of `split` gives with
// a one-character pattern and the identity mapping, without copying: readers that cut many
// lines use it with storage of their own.
template <class Field>
void for_each_field(std::string_view source, char separator, Field&& field);

// --- Implementation of the template ---------------------------------------------------------

namespace detail {
// The loop shared by every splitting form: `find(start)` gives the bounds [at, after) of the
// next separator at or after `start`, or at == npos.
template <class Find, class Field>
void walk_fields(std::string_view source, Find&& find, Field&& field) {
    if (source.empty()) return;
    std::size_t start = 0;
    for (;;) {
        const auto [at, after] = find(start);
        if (at == std::string_view::npos) {
            field(source.substr(start));
            return;
        }
        field(source.substr(start, at - start));
        start = after;
        if (start >= source.size()) {
            field(std::string_view{});
            return;
        }
    }
}
} // namespace detail

template <class Field>
void for_each_field(std::string_view source, char separator, Field&& field) {
    detail::walk_fields(
        source,
        [source, separator](std::size_t start) {
            const std::size_t at = source.find(separator, start);
            return std::pair{at, at + 1};
        },
        field);
}

} // namespace textutils
