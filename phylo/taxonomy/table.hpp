#pragma once
// Group-name tables as text: one taxon per line, one field per classification, fields
// separated by one separator character (the tool uses the tab). Empty lines are skipped;
// blanks (code 32) around fields are removed. A line ends at a line feed; a carriage return
// right before it, or at the very end of the input, belongs to the line end, so a table saved
// with CR LF line ends reads like its LF twin. Lines may be of any length.

#include <phylo/taxonomy/group_names.hpp>

#include <generics/errors.hpp>

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

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

// How the text of a table is cut into fields.
struct table_format {
    char separator = '\t';
    // Fields may be quoted as in CSV files (RFC 4180): a field that starts with a double quote
    // (after blanks) runs to the next lone double quote, holds separators and line ends as
    // they stand, and a doubled double quote inside stands for one; it is taken exactly,
    // without trimming. A double quote elsewhere is data. Without quoting every double quote
    // is data.
    bool quoted = false;
    // A line whose every field is empty (blanks only), such as the rows of separators that
    // spreadsheets leave below a table, is skipped like an empty line and counted.
    bool skip_empty_rows = false;
};

// What a row visitor read: the rows handed over, and the rows of empty fields it skipped.
struct row_counts {
    index_type rows = 0;
    index_type empty_rows = 0;
};

// The nf_error, with the counts that a message for a user adds to it.
class field_count_error : public nf_error {
public:
    field_count_error(std::string_view name, std::int64_t line, std::size_t found,
                      std::size_t expected);
    std::int64_t line;
    std::size_t found;    // fields on the line
    std::size_t expected; // fields on the first line
};

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
row_counts visit_picked(std::istream& file, table_format format, std::string_view name,
                        bool whole_first, pick_callback first, row_callback row);
row_counts visit_picked(generics::byte_source& source, table_format format, std::string_view name,
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

// The row visitor for a caller that wants only some fields of every row, the tool's road: the
// fields of a line that are not wanted are only counted (for the same field-count check and
// nf_error), never kept, so that a line of a million fields costs no more than its text.
//
// On the first non-empty line, `first(count, whole)` is called with the line's number of
// fields and, when `whole_first`, all its fields (else an empty span); it returns the
// positions wanted (a std::span<const std::size_t>, each below `count`, in any order and
// repeated as the caller likes, valid during the call). Then `row(picked)` is called for
// every non-empty line, the first included, with the fields at those positions in that
// order (a std::span<const std::string_view>, blanks trimmed, valid only during the call).
// `input` is an std::istream (checked as `for_each_row` checks it) or a generics::byte_source.
// `format` says how lines are cut (the first form); a quoted field left open at the end of
// the input is the data error naming the line where it opened.
template <class Input, class First, class Row>
row_counts for_each_picked_row(Input& input, table_format format, std::string_view name,
                               bool whole_first, First&& first, Row&& row) {
    using chooser = std::remove_reference_t<First>;
    return detail::visit_picked(
        input, format, name, whole_first,
        {const_cast<void*>(static_cast<const void*>(std::addressof(first))),
         [](void* object, std::size_t count, std::span<const std::string_view> whole) {
             return std::span<const std::size_t>((*static_cast<chooser*>(object))(count, whole));
         }},
        detail::borrow_row(row));
}
// The same with one separator and nothing else: returns the number of rows.
template <class Input, class First, class Row>
index_type for_each_picked_row(Input& input, char separator, std::string_view name,
                               bool whole_first, First&& first, Row&& row) {
    return for_each_picked_row(input, table_format{separator}, name, whole_first,
                               std::forward<First>(first), std::forward<Row>(row))
        .rows;
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
