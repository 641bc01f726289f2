#pragma once
// The header line of a table (--header) and the columns chosen by name or number: which
// field positions a run takes, and what the long and wide tables call them.

#include <tool/options.hpp>

#include <phylo/taxonomy/group_names.hpp>

#include <string>
#include <string_view>
#include <vector>

namespace labmix {

// The names that the header lines of the long and wide tables give the chosen columns.
struct column_titles {
    std::string fixed = "fixed";
    std::string permuted = "permuted";
    std::string stratum = "stratum";

    friend bool operator==(const column_titles&, const column_titles&) = default;
};

// Takes the first row of `table` out as the column names, the other rows moving up by one.
// A table without rows has no header line: the range error, naming `input`.
std::vector<std::string> take_header(phylo::taxonomy::group_name_vector& table,
                                     std::string_view input);

// Sets the number of every column that `s` chooses by name to that name's position in
// `names`. A name that is not there, or that names two columns, is the range error naming
// `input` and the option.
void resolve_columns(settings& s, const std::vector<std::string>& names, std::string_view input);

// The titles of the chosen columns: their names from the header line when there is one,
// the defaults otherwise. A column beyond the header's fields is the range error.
column_titles titles(const settings& s, const std::vector<std::string>& names);

// The range error for a column (counting from 0) beyond the `fields` fields of every row.
generics::range_error column_beyond(index_type column, std::size_t fields);

} // namespace labmix
