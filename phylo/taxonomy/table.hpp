#pragma once
// Group-name tables as text: one taxon per line, one field per classification, fields
// separated by one separator character (the tool uses the tab). Empty lines are skipped;
// blanks (code 32) around fields are removed. A line ends at a line feed; a carriage return
// right before it, or at the very end of the input, belongs to the line end, so a table saved
// with CR LF line ends reads like its LF twin. Lines may be of any length.

#include <phylo/taxonomy/group_names.hpp>

#include <generics/errors.hpp>

#include <cstddef>
#include <iosfwd>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace generics {
class byte_source;
}

namespace phylo::taxonomy {

namespace error_names {
inline constexpr char nf[] = "wrong number of fields";
}

// A non-empty line with another number of fields than the first non-empty line. The message
// is the input's name, ": line ", and the line number with a leading blank ("t.tsv: line  5").
using nf_error = generics::basic_error<std::runtime_error, error_names::nf>;

namespace detail {
// A borrowed row callback: the visitor's loop is compiled once, whatever the caller passes.
struct row_callback {
    void* object;
    void (*call)(void* object, std::span<const std::string_view> fields);
};
index_type visit_rows(std::istream& file, char separator, std::string_view name, row_callback row);
index_type visit_rows(generics::byte_source& source, char separator, std::string_view name,
                      row_callback row);
// The wanted positions, asked for once the first row's field count is known.
struct pick_callback {
    void* object;
    std::span<const std::size_t> (*call)(void* object, std::size_t count,
                                         std::span<const std::string_view> whole);
};
index_type visit_picked(std::istream& file, char separator, std::string_view name, bool whole_first,
                        pick_callback first, row_callback row);
index_type visit_picked(generics::byte_source& source, char separator, std::string_view name,
                        bool whole_first, pick_callback first, row_callback row);

template <class F>
row_callback borrow_row(F& f) {
    return {const_cast<void*>(static_cast<const void*>(std::addressof(f))),
            [](void* object, std::span<const std::string_view> fields) {
                (*static_cast<F*>(object))(fields);
            }};
}
} // namespace detail

// Reads the rest of `file` as a table, one row at a time, without keeping it: calls
// `row(fields)` for every non-empty line, in order, with `fields` a
// std::span<const std::string_view> of the line's fields, blanks trimmed. The views are valid
// only during the call. Every line's field count is checked as `get` checks it (the same
// nf_error and message), so a row the callback has seen may still be followed by the error.
// Returns the number of rows.
template <class Row>
index_type for_each_row(std::istream& file, char separator, std::string_view name, Row&& row) {
    return detail::visit_rows(file, separator, name, detail::borrow_row(row));
}
// The same on a byte source (which may read a file descriptor); the line numbers of the
// messages count from where the source stands.
template <class Row>
index_type for_each_row(generics::byte_source& source, char separator, std::string_view name,
                        Row&& row) {
    return detail::visit_rows(source, separator, name, detail::borrow_row(row));
}

// The row visitor for a caller that wants only some fields of every row: the fields of a
// line that are not wanted are only counted (for the same field-count check and nf_error),
// never kept, so that a line of a million fields costs no more than its text.
//
// On the first non-empty line, `first(count, whole)` is called with the line's number of
// fields and, when `whole_first`, all its fields (else an empty span); it returns the
// positions wanted (a std::span<const std::size_t>, each below `count`, in any order and
// repeated as the caller likes, valid during the call). Then `row(picked)` is called for
// every non-empty line, the first included, with the fields at those positions in that
// order (a std::span<const std::string_view>, blanks trimmed, valid only during the call).
// `input` is an std::istream (checked as `for_each_row` checks it) or a generics::byte_source.
template <class Input, class First, class Row>
index_type for_each_picked_row(Input& input, char separator, std::string_view name,
                               bool whole_first, First&& first, Row&& row) {
    using chooser = std::remove_reference_t<First>;
    return detail::visit_picked(
        input, separator, name, whole_first,
        {const_cast<void*>(static_cast<const void*>(std::addressof(first))),
         [](void* object, std::size_t count, std::span<const std::string_view> whole) {
             return std::span<const std::size_t>((*static_cast<chooser*>(object))(count, whole));
         }},
        detail::borrow_row(row));
}

// Reads the rest of `file` as a table, rows and fields indexed from 0; `name` (a full path,
// or "standard input") is what the messages call the input. A line with another number of
// fields than the first non-empty line is the nf_error; a stream that fails or goes bad (a
// directory, an unreadable file) is the use error, never an empty table.
group_name_vector get(std::istream& file, char separator, std::string_view name);
// The same on the current input.
group_name_vector get(char separator);

// Writes every row as its fields joined by the separator, one line per row, fields as they
// stand. A missing row or a row without fields is the range error, a failed write the use
// error; the lines before either stay written.
void put(std::ostream& file, const group_name_vector& table, char separator);
// The same on the current output.
void put(const group_name_vector& table, char separator);

// `group_names::extract(table, index)` takes one field position of every row.

} // namespace phylo::taxonomy
