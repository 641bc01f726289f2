#include <tool/distance_input.hpp>

#include <phylo/distance/matrix_file.hpp>

#include <generics/errors.hpp>

#include <algorithm>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace labmix {

namespace {

std::string quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

std::string taxa_count(std::size_t n) { return std::to_string(n) + (n == 1 ? " taxon" : " taxa"); }

} // namespace

phylo::squared read_distances(const settings& s, const std::string& file) {
    try {
        auto d = phylo::distance::read_matrix(file, s.matrix_format);
        phylo::distance::check_matrix(d, file);
        return d;
    } catch (const generics::capacity_error&) {
        throw;
    } catch (const generics::error& e) {
        std::string message = e.message();
        if (message.find("name the layout") != std::string::npos)
            message += ": --matrix-format relaxed-phylip or --matrix-format phylip";
        throw distance_error(message);
    }
}

taxon_match match_taxa(const phylo::squared& d, std::string_view matrix_name,
                       std::span<const std::string> taxa, std::string_view table_name,
                       std::span<const std::string> left_out, bool matrix_in_table,
                       std::vector<std::string>& notes) {
    std::unordered_map<std::string_view, std::size_t> row_of;
    row_of.reserve(taxa.size());
    for (std::size_t r = 0; r < taxa.size(); ++r) {
        const auto [at, fresh] = row_of.emplace(taxa[r], r);
        if (!fresh)
            throw distance_error(std::string(table_name) + ": taxon " + quoted(taxa[r]) +
                                 " is on two rows (" + std::to_string(at->second + 1) + " and " +
                                 std::to_string(r + 1) +
                                 " of the rows taken); a taxon must be on one");
    }
    const std::unordered_set<std::string_view> missing(left_out.begin(), left_out.end());
    taxon_match match;
    std::size_t absent = 0, dropped = 0;
    std::string first_absent;
    const auto n = static_cast<std::size_t>(d.labels.length());
    for (std::size_t i = 0; i < n; ++i) {
        const std::string& label = d.labels.data()[i];
        const auto found = row_of.find(label);
        if (found != row_of.end()) {
            match.matrix_rows.push_back(i);
            match.table_rows.push_back(found->second);
        } else if (missing.count(label) > 0 || !matrix_in_table) {
            ++dropped;
        } else if (absent++ == 0) {
            first_absent = label;
        }
    }
    if (absent > 0)
        throw distance_error(std::string(matrix_name) + ": taxon " + quoted(first_absent) +
                             " is not in " + std::string(table_name) +
                             (absent == 1 ? ""
                                          : " (nor are " + std::to_string(absent - 1) +
                                                " more of the matrix's " + taxa_count(n) + ")") +
                             ": every taxon of the matrix must be on a row of the table");
    if (dropped > 0)
        notes.push_back(taxa_count(dropped) + " of " + std::string(matrix_name) + " " +
                        (dropped == 1 ? "is" : "are") + " left out: " +
                        (matrix_in_table ? "a label of theirs in " + std::string(table_name) +
                                               " is missing (--missing)"
                                         : "not in " + std::string(table_name)));
    const std::size_t unmatched = taxa.size() - match.table_rows.size();
    if (unmatched > 0)
        notes.push_back(taxa_count(unmatched) + " of " + std::string(table_name) + " " +
                        (unmatched == 1 ? "is" : "are") + " not in " + std::string(matrix_name) +
                        ", so left out");
    return match;
}

std::vector<std::size_t> same_taxa(const phylo::squared& first, std::string_view first_name,
                                   const phylo::squared& second, std::string_view second_name) {
    std::unordered_map<std::string_view, std::size_t> row_of;
    const auto n = static_cast<std::size_t>(second.labels.length());
    for (std::size_t i = 0; i < n; ++i) row_of.emplace(second.labels.data()[i], i);
    std::vector<std::size_t> rows;
    std::size_t absent = 0;
    std::string first_absent;
    const auto m = static_cast<std::size_t>(first.labels.length());
    for (std::size_t i = 0; i < m; ++i) {
        const auto found = row_of.find(first.labels.data()[i]);
        if (found != row_of.end())
            rows.push_back(found->second);
        else if (absent++ == 0)
            first_absent = first.labels.data()[i];
    }
    if (absent > 0)
        throw distance_error(
            std::string(first_name) + ": taxon " + quoted(first_absent) + " is not in " +
            std::string(second_name) +
            (absent == 1 ? "" : " (nor are " + std::to_string(absent - 1) + " more)") +
            ": the two matrices of a Mantel test must hold the same taxa");
    if (m != n) // every label of the first is in the second, which holds more
        for (std::size_t i = 0; i < n; ++i)
            if (std::find(rows.begin(), rows.end(), i) == rows.end())
                throw distance_error(
                    std::string(second_name) + ": taxon " + quoted(second.labels.data()[i]) +
                    " is not in " + std::string(first_name) + " (" + taxa_count(n - m) +
                    " of it are not): the two matrices of a Mantel test must hold the same taxa");
    return rows;
}

} // namespace labmix
