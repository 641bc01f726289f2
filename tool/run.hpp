#pragma once
// One run of labmix: the input road (read the table, take the two columns, write the listing
// as read and one listing per reshuffle) and the main procedure that turns every failure into
// exit status 1 and one message on standard error.

#include <tool/header.hpp>
#include <tool/labels.hpp>
#include <tool/listing_writer.hpp>
#include <tool/options.hpp>

#include <generics/bounded_array.hpp>
#include <generics/byte_source.hpp>
#include <generics/errors.hpp>
#include <generics/generic_random_sorting.hpp>

#include <phylo/taxonomy/table.hpp>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <iosfwd>
#include <istream>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace labmix {

namespace error_names {
inline constexpr char empty_table[] = "empty table";
} // namespace error_names

// The input could not be read to its end (a device error, not a bad name).
using read_error = generics::read_error;
// A table without taxa where a run needs some (a test).
using empty_table_error = generics::basic_error<std::runtime_error, error_names::empty_table>;

// Reads the table from `in` (an std::istream or a generics::byte_source, called `name` in
// messages), cut as `format` says, row by row and hands the fields columns[0], columns[1],
// ... of every row, in row order, to take(std::span<const std::string_view>); the table itself
// is never held, and the fields of other columns are only counted. Every line's field count is
// checked (the nf_error). A column beyond the table's fields is the range error, naming the
// first such column of the list, as options[k] says it was chosen, and the number of fields;
// it is raised once the whole input has been read and checked, so that a wrong field count
// further on is still the error reported, and nothing is taken before it. Unless `header` is
// nullptr, the first row goes whole to header(std::span<const std::string_view>) first: when
// that returns true the row is a header line, which is not taken and may have changed the
// columns' values. Returns the rows taken (the header line not counted) and skipped.
template <class Input, class Header, class Take>
phylo::taxonomy::row_counts
take_columns(Input& in, std::string_view name, phylo::taxonomy::table_format format,
             std::span<index_type> columns, std::span<const std::string> options, Header&& header,
             Take&& take) {
    constexpr bool may_have_header = !std::is_null_pointer_v<std::remove_cvref_t<Header>>;
    bool beyond = false;
    bool header_line = false;
    bool first_row = true;
    std::size_t fields = 0;
    std::vector<std::size_t> wanted;
    const auto choose = [&](std::size_t count, std::span<const std::string_view> whole) {
        fields = count;
        if constexpr (may_have_header) header_line = header(whole);
        for (const index_type column : columns) {
            beyond = beyond || column < 0 || static_cast<std::size_t>(column) >= fields;
            if (!beyond) wanted.push_back(static_cast<std::size_t>(column));
        }
        if (beyond) wanted.clear();
        return std::span<const std::size_t>(wanted);
    };
    auto counts = phylo::taxonomy::for_each_picked_row(
        in, format, name, may_have_header, choose, [&](std::span<const std::string_view> picked) {
            if (std::exchange(first_row, false) && header_line) return;
            if (!beyond) take(picked);
        });
    if (beyond)
        for (std::size_t k = 0; k < columns.size(); ++k)
            if (columns[k] < 0 || static_cast<std::size_t>(columns[k]) >= fields)
                throw_beyond(k < options.size() ? std::string_view(options[k]) : "", columns[k],
                             fields, name);
    if (header_line) --counts.rows;
    return counts;
}

// How the input of `s` is cut into fields: by the separator of --csv or --separator, with
// quoting; else, for an input whose name ends in .csv, as CSV; else by tabs, quotes being data
// (as they are for a tab given to --separator).
// Rows of empty fields are skipped.
[[nodiscard]] phylo::taxonomy::table_format input_format(const settings& s);

// What reading the used columns of a run found, besides the labels.
struct columns_read {
    std::string name;                // what messages call the input
    std::vector<std::string> header; // the header line, with --header
    index_type rows = 0;             // rows taken
    index_type missing_rows = 0;     // rows left out for a missing label (--missing)
    index_type empty_rows = 0;       // rows of empty fields skipped
};

// Opens the input of `s` (read_input) and reads the columns the run uses: the fixed, the
// permuted and, with --strata, the stratum column, chosen by number or, with --header, by
// name (which sets their numbers in `s`). Every row without a missing label goes to
// take(std::span<const std::string_view>) with those fields in that order.
// (A template, so that the tab-separated road calls `take` without another indirection.)
// Rows left out for a missing label go to left_out(std::span<const std::string_view>), when
// it is given.
template <class Take, class LeftOut = std::nullptr_t>
columns_read read_used_columns(settings& s, Take&& take, LeftOut&& left_out = nullptr);

// How messages call the options that chose the used columns ("option -p", "the default of
// -p"), in the order of read_used_columns.
[[nodiscard]] std::vector<std::string> used_column_options(const settings& s);

// The warnings and notes that a run's columns call for, one line each (without "labmix: ").
// `labels` holds each used grouping column: its label numbers row by row, the distinct
// labels, and how messages call it ("column 3 (habitat)").
struct used_column {
    std::string called;
    std::span<const std::uint32_t> rows;
    std::span<const std::string_view> distinct;
    bool grouping = true; // whether its labels are groups (the stratum, a column of a test)
};
[[nodiscard]] std::vector<std::string> column_warnings(const settings& s, const columns_read& read,
                                                       std::span<const used_column> columns);

// How messages call column `column` (counting from 0): its number, and its name with --header.
[[nodiscard]] std::string column_called(index_type column, const std::vector<std::string>& header);

// Reads the table from `in` and keeps column `fixed` and column `permuted` (counting from 0)
// as a run needs them.
void read_columns(generics::byte_source& in, std::string_view name, index_type fixed,
                  index_type permuted, packed_labels& fixed_out, permuted_labels& permuted_out);
void read_columns(std::istream& in, std::string_view name, index_type fixed, index_type permuted,
                  packed_labels& fixed_out, permuted_labels& permuted_out);

// Opens the file named `input`, or standard input for "-", checks its first bytes
// (check_input_start: a UTF-8 byte order mark is skipped), calls read(source, name) with a
// byte source on the descriptor and the name that messages give, and closes a file opened
// by name. A name that cannot be opened is the name error, a directory the use error, a
// failing device the read_error (out of the reading call).
void read_input(const std::string& input,
                const std::function<void(generics::byte_source&, std::string_view)>& read);

// The input road for settings `s`: reads the table from the named file or standard input,
// writes 1 + s.reshuffles listings to `out`. Errors propagate.
// Warnings and notes go to `notes` (unless s.quiet).
void traverse_files(const settings& s, listing_writer& out, std::ostream& notes);

// --- Implementation of the template ---------------------------------------------------------

template <class Take, class LeftOut>
columns_read read_used_columns(settings& s, Take&& take, LeftOut&& left_out) {
    columns_read result;
    std::vector<index_type> columns = {s.fixed_column, s.permuted_column};
    if (s.strata_column) columns.push_back(*s.strata_column);
    const std::vector<std::string> options = used_column_options(s);
    const auto header_line = [&](std::span<const std::string_view> row) {
        if (!s.header) return false;
        result.header.assign(row.begin(), row.end());
        resolve_columns(s, result.header, result.name);
        columns[0] = s.fixed_column;
        columns[1] = s.permuted_column;
        if (s.strata_column) columns[2] = *s.strata_column;
        return true;
    };
    const auto& missing = s.missing;
    const auto keep = [&](std::span<const std::string_view> picked) {
        if (missing)
            for (const std::string_view field : picked)
                if (std::find(missing->begin(), missing->end(), field) != missing->end()) {
                    ++result.missing_rows;
                    if constexpr (!std::is_null_pointer_v<std::remove_cvref_t<LeftOut>>)
                        left_out(picked);
                    return;
                }
        take(picked);
    };
    const auto format = input_format(s);
    read_input(s.input, [&](generics::byte_source& in, std::string_view name) {
        result.name = name;
        const std::span<index_type> chosen(columns);
        // Without --header the first line is split like every other, keeping only the
        // columns that the run needs.
        const auto counts = s.header
                                ? take_columns(in, name, format, chosen, options, header_line, keep)
                                : take_columns(in, name, format, chosen, options, nullptr, keep);
        result.rows = counts.rows - result.missing_rows;
        result.empty_rows = counts.empty_rows;
    });
    if (s.header && result.header.empty())
        throw generics::range_error(result.name +
                                    ": no header line (--header), the input has no non-empty line");
    return result;
}

} // namespace labmix
