#pragma once
// The input of a test of distances (--distances): the matrices read and checked, and the taxa
// of a table matched to a matrix's labels.

#include <tool/options.hpp>

#include <phylo/core.hpp>

#include <generics/errors.hpp>

#include <cstddef>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace labmix {

namespace error_names {
inline constexpr char distances[] = "distance error";
}
// A matrix of --distances that cannot be read or tested, or whose taxa do not match the table's
// or the other matrix's; the message names the file and the reason.
using distance_error = generics::basic_error<std::runtime_error, error_names::distances>;

// The matrix of --distances file `file`, in the layout of s.matrix_format, checked as a matrix
// of distances (symmetric, zero diagonal, finite, non-negative, unique labels); the distance_error
// names the file and the reason (the distance_error).
[[nodiscard]] phylo::squared read_distances(const settings& s, const std::string& file);

// Where the taxa of a test lie: for each taxon, in the order of the matrix, its row in the
// matrix and its row among the table's rows taken.
struct taxon_match {
    std::vector<std::size_t> matrix_rows;
    std::vector<std::size_t> table_rows;
};

// Matches the labels of matrix `d` (from `matrix_name`) with the taxa of a table (`taxa`, one
// per row taken, from `table_name`, whose rows `left_out` were left out for a missing value).
// A taxon given twice in the table is the distance_error. With `matrix_in_table`, every matrix
// label must be a taxon of the table, or one left out (the distance_error names the first that is
// not and says how many are not); otherwise matrix labels that are not taxa of the table are left
// out with a note. Taxa of the table that the matrix lacks are left out with a note. Notes, without
// "labmix: ", go to `notes`.
[[nodiscard]] taxon_match match_taxa(const phylo::squared& d, std::string_view matrix_name,
                                     std::span<const std::string> taxa, std::string_view table_name,
                                     std::span<const std::string> left_out, bool matrix_in_table,
                                     std::vector<std::string>& notes);

// The rows of `second` in the order of the labels of `first`: the two must hold the same labels;
// the distance_error names the first label of one that the other lacks and how many it lacks.
[[nodiscard]] std::vector<std::size_t> same_taxa(const phylo::squared& first,
                                                 std::string_view first_name,
                                                 const phylo::squared& second,
                                                 std::string_view second_name);

} // namespace labmix
