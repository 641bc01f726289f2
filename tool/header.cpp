#include <tool/header.hpp>

#include <generics/errors.hpp>

#include <algorithm>
#include <iterator>
#include <optional>
#include <utility>

namespace labmix {

namespace {

index_type find_column(const std::vector<std::string>& names, const std::string& name,
                       std::string_view option, std::string_view input) {
    const auto at = std::find(names.begin(), names.end(), name);
    const std::string where = std::string(input) + ": the header line";
    if (at == names.end())
        throw generics::range_error(where + " has no column named \"" + name + "\" (option " +
                                    std::string(option) + ")");
    const auto again = std::find(std::next(at), names.end(), name);
    if (again != names.end())
        throw generics::range_error(where + " names two columns \"" + name + "\", " +
                                    std::to_string(at - names.begin() + 1) + " and " +
                                    std::to_string(again - names.begin() + 1) + " (option " +
                                    std::string(option) + ")");
    return at - names.begin();
}

} // namespace

void resolve_columns(settings& s, const std::vector<std::string>& names, std::string_view input) {
    if (s.fixed_name) s.fixed_column = find_column(names, *s.fixed_name, "--fixed", input);
    if (s.permuted_name)
        s.permuted_column = find_column(names, *s.permuted_name, "--permute", input);
    if (s.strata_name) s.strata_column = find_column(names, *s.strata_name, "--strata", input);
}

column_titles titles(const settings& s, const std::vector<std::string>& names) {
    column_titles t;
    if (!s.header) return t;
    const auto name = [&names](index_type column) {
        if (column < 0 || static_cast<std::size_t>(column) >= names.size())
            throw_beyond("", column, names.size(), "the header line");
        return names[static_cast<std::size_t>(column)];
    };
    t.fixed = name(s.fixed_column);
    t.permuted = name(s.permuted_column);
    if (s.strata_column) t.stratum = name(*s.strata_column);
    return t;
}

void throw_beyond(std::string_view option, index_type column, std::size_t fields,
                  std::string_view name) {
    throw generics::range_error("column " + std::to_string(column + 1) +
                                (option.empty() ? "" : " (" + std::string(option) + ")") +
                                " is beyond the " + std::to_string(fields) +
                                (fields == 1 ? " field" : " fields") + " of the rows of " +
                                std::string(name));
}

} // namespace labmix
