#pragma once
// The header line of a table (--header) and the columns chosen by name or number: which
// field positions a run takes, and what the long and wide tables call them.

#include <tool/options.hpp>

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

// Sets the number of every column that `s` chooses by name to that name's position in
// `names`. A name that is not there, or that names two columns, is the range error naming
// `input` and the option.
void resolve_columns(settings& s, const std::vector<std::string>& names, std::string_view input);

// The titles of the chosen columns: their names from the header line when there is one,
// the defaults otherwise. A column beyond the header's fields is the range error.
column_titles titles(const settings& s, const std::vector<std::string>& names);

// The range error for column `column` (counting from 0), chosen as `option` says ("option
// -p", "the default of -p"), beyond the `fields` fields of the rows of the input `name`.
[[noreturn]] void throw_beyond(std::string_view option, index_type column, std::size_t fields,
                               std::string_view name);

} // namespace labmix
