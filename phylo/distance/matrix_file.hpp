#pragma once
// A distance matrix file of any layout the library reads, told from its content, and the checks
// that a matrix to test with must pass.
//
//     const squared d = distance::read_matrix("primates.dist");   // any layout
//     distance::check_matrix(d, "primates.dist");
//
// Layouts (matrix_layout): PHYLIP (a first line holding the number of taxa, then rows of a
// label and values: the square, or a lower or upper triangle with or without its diagonal,
// values between blanks or tabs, a row's values possibly wrapped onto indented lines), with
// strict 10-character names or relaxed ones ended by a blank or tab; a NEXUS file's DISTANCES
// block; a tab-separated square under a header line of the labels, with an empty or named cell
// above the label column (pandas' to_csv(sep = "\t"), scikit-bio's lsmat) or none (R's
// write.table(m, sep = "\t")). <phylo/read.hpp> and <phylo/nexus.hpp> say how each is read.
//
// AUTOMATIC tells the layout by these rules, in order:
//  1. the first text (after blank lines and blanks) is #NEXUS, in any case: NEXUS;
//  2. the first line holding text, blanks and tabs around it dropped, holds a tab: the
//     tab-separated square (a PHYLIP header is one number, without tabs), read as the square
//     when the shape is DETECT (pandas, R and scikit-bio write squares);
//  3. its first word is made of digits: PHYLIP; the file is read both with strict and with
//     relaxed names (and the triangle detected from its first two rows, unless named). When
//     only one reading succeeds, it is the matrix; when both succeed to the same labels and
//     values, that is the matrix; when they give different matrices, the data error says so
//     and asks for the layout to be named (PHYLIP or EXTENDED_PHYLIP), never choosing one;
//     when both fail, the error holds both reasons;
//  4. anything else is the data error naming the three layouts.
// Each layout but NEXUS (where other blocks may follow the DISTANCES block) reads the whole
// input: text after the matrix is the data error, so that extra rows or a second matrix are
// never dropped unseen. Errors name the file and the line.

#include <phylo/core.hpp>
#include <phylo/read.hpp>

#include <cstddef>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>

namespace phylo::distance {

// The layout of a distance matrix file, or AUTOMATIC to tell it from the content.
enum class matrix_layout { AUTOMATIC, PHYLIP, EXTENDED_PHYLIP, TAB_SEPARATED, NEXUS };

// The matrix of the whole input `file`, named `name` in messages. `shape` is the part of the
// square that PHYLIP and tab-separated rows hold (DETECT: told from the first two rows); a
// NEXUS block declares its own. A triangle comes back as the full symmetric square. An input
// that cannot seek is read into memory first, as AUTOMATIC may read it twice.
[[nodiscard]] squared read_matrix(std::istream& file, std::string_view name,
                                  matrix_layout layout = matrix_layout::AUTOMATIC,
                                  read::triangle shape = read::triangle::DETECT);
// The same for the file at `path`, named by it; a file that cannot be opened is the data error.
[[nodiscard]] squared read_matrix(const std::string& path,
                                  matrix_layout layout = matrix_layout::AUTOMATIC,
                                  read::triangle shape = read::triangle::DETECT);

// Checks that `d` holds distances to test with, as read from `file`: the labels unique (after
// the readers' trimming), every value finite, m(i, j) and m(j, i) within 1e-9 of the larger,
// distances not below 0, and every taxon at 0 from itself. The first failure (duplicates
// first, then the pairs row by row) is the data error "<file>: ..." naming the two taxa and
// the reason, or, for a duplicate, the label and its two rows (counted from 1).
void check_matrix(const squared& d, std::string_view file);

// The rows and columns `rows` of the square `d` (counted from 0), in that order, as a square
// from 0: the matrix of those taxa.
[[nodiscard]] inline real_matrix submatrix(const real_matrix& d,
                                           std::span<const std::size_t> rows) {
    const auto m = static_cast<index_type>(rows.size());
    real_matrix result(0, m - 1, 0, m - 1);
    const auto n = static_cast<std::size_t>(d.cols());
    double* out = result.data();
    for (const std::size_t i : rows)
        for (const std::size_t j : rows) *out++ = d.data()[i * n + j];
    return result;
}

} // namespace phylo::distance
