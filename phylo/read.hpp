#pragma once
// Reading character matrices (disc, count, real) and distance matrices from text files in
// the PHYLIP family of layouts and a tab-separated layout. A file is a header, then one row
// per taxon: the taxon label and the row's values (which may run over several lines), after
// which its line holds nothing but blanks; or, interleaved, the rows in blocks of one line per
// taxon (row_layout). A distance file may hold the square or a triangle of it (triangle). Line
// ends may be LF or CR LF. The reader stops after the last row: what follows stays unread.
//
// Errors say where: "line <n>: taxon <i>, character <j>: expected ...", prefixed by the
// input's name for the forms that read the current input.
//  - a malformed number or value, and a value that does not end at a blank, a tab or a line
//    end ("1,5", "2.5.1", "2x" are no number followed by something else): the data error;
//  - a row whose line holds more values than the header (and, for distances, the triangle)
//    gives the row, such as a square read as a triangle: the data error naming the count;
//  - a tab-separated distance file whose header does not name the rows' labels in their
//    order: the data error;
//  - in interleaved blocks, a line holding more values than its row has left, and a detected
//    distance file whose first rows fit no shape: the data error;
//  - a PHYLIP name of 10 blanks (what the indented later blocks of an interleaved file give
//    when it is read as sequential): the data error;
//  - a negative header number, a header declaring no taxa: the range error;
//  - the input ending inside the header, a label or a row: the end error;
//  - a header too large to hold in memory: the capacity error.

#include <phylo/core.hpp>

#include <generics/generic_character_io.hpp>
#include <textutils/charset.hpp>

#include <cstddef>
#include <iosfwd>
#include <string>

namespace phylo::read {

using textutils::character_set;

// Layouts of character matrix files; also the label rules of distance files.
//  PHYLIP           the label is the next 10 characters (line ends not counted), stripped
//  EXTENDED_PHYLIP  the label is the next word, ended by whitespace
//  COMMENTED_PHYLIP as EXTENDED_PHYLIP, and a second word after it is discarded
//  TAB_SEPARATED    the label is the next cell, ended by a control character such as the
//                   tab; blanks inside and in front are kept, those before the tab dropped
enum class input_format { COMMENTED_PHYLIP, EXTENDED_PHYLIP, PHYLIP, TAB_SEPARATED };
// How the rows of a character matrix file follow each other.
//  SEQUENTIAL   taxon after taxon: a label, then the row's values, which may run over several
//               lines; anything after the last value on its line is ignored
//  INTERLEAVED  in blocks of one line per taxon, in the same order in every block: the first
//               block holds each label and the first values, each later block (after any
//               blank lines; its lines may be indented) the next values, until every row is
//               full. A line holding more values than its row has left is the data error.
//  DETECT       INTERLEAVED when the first taxon's line holds fewer values than the header
//               declares and the first ntax lines are followed by a blank line and more
//               text; SEQUENTIAL otherwise (so blocks without blank lines between them need
//               INTERLEAVED). Reading ahead over the first block consumes nothing.
// Whatever the widths of the blocks, the same matrix reads the same.
enum class row_layout { SEQUENTIAL, INTERLEAVED, DETECT };

// Layouts of distance matrix files.
enum class dist_input_format { PHYLIP, EXTENDED_PHYLIP, TAB_SEPARATED };

// Which values of the square a distance matrix file holds in row i (from 0) of n taxa:
//  SQUARE          all n (what the forms without a shape read; no symmetry assumed)
//  LOWER           the i left of the diagonal (PHYLIP's lower-triangular matrix)
//  LOWER_DIAGONAL  the i + 1 up to the diagonal
//  UPPER           the n - 1 - i right of the diagonal (PHYLIP's upper-triangular matrix)
//  UPPER_DIAGONAL  the n - i from the diagonal on
//  DETECT          one of these, told by the number of values of the first two rows, each
//                  counted over its label's line and the indented lines that continue it
//                  (as dnadist wraps rows); a count that fits none is the data error
// A row's values may run over several lines; after the last one its line holds only blanks.
// A triangle is returned as the full symmetric square, a diagonal not read as 0.
enum class triangle { SQUARE, LOWER, LOWER_DIAGONAL, UPPER, UPPER_DIAGONAL, DETECT };

// The label rule of each distance layout.
constexpr input_format label_format(dist_input_format f) noexcept {
    switch (f) {
    case dist_input_format::PHYLIP:
        return input_format::PHYLIP;
    case dist_input_format::EXTENDED_PHYLIP:
        return input_format::EXTENDED_PHYLIP;
    case dist_input_format::TAB_SEPARATED:
        break;
    }
    return input_format::TAB_SEPARATED;
}

// Kept for callers that size buffers by it; the header line of tab-separated distance files
// is read whole, however long.
inline constexpr std::size_t max_line_len = 100000;

// The blank and every control character (codes 0 .. 32 and 127 .. 159).
using textutils::whitespace;
// The control characters (codes 0 .. 31 and 127 .. 159): the delimiters of tab-separated labels.
inline const character_set control_characters =
    character_set::range(0, 31) | character_set::range(127, 159);

// The numbers of a character matrix file header.
struct dimensions {
    index_type ntax = 0;
    index_type nchar = 0;
    friend bool operator==(const dimensions&, const dimensions&) = default;
};

// Appends the next word: leading delimiters (and line ends) skipped, then characters up to a
// delimiter (consumed) or a line end (not consumed).
void get_word(std::istream& file, const character_set& delimiters, std::string& word);
void get_word(const character_set& delimiters, std::string& word);
// Appends the next `width` characters (line ends not counted), then strips `whitespace` from
// both ends of `word`.
void get_word(std::istream& file, index_type width, std::string& word);
void get_word(index_type width, std::string& word);
// Appends the next label by the rule of `format`; pass an empty string.
void get_label(std::istream& file, input_format format, std::string& label);
void get_label(input_format format, std::string& label);
// Discards the rest of the current line (nothing when already at a line end).
void skip_rest(std::istream& file);
void skip_rest();

// The header of a character matrix file: ntax and nchar, on one line or two; the rest of
// the line after nchar is ignored.
dimensions get_header(std::istream& file);
dimensions get_header();
// The number of taxa declared by the header of a distance matrix file: one number for the
// PHYLIP layouts, the number of tabs of the first line for TAB_SEPARATED (one fewer than the
// taxa when the header has no cell above the labels, as R's write.table writes it; `get` tells
// the two apart by the first row's label).
index_type get_header(std::istream& file, dist_input_format format);
index_type get_header(dist_input_format format);

// A discrete character matrix: characters in `skip` (usually `whitespace`) are passed over,
// every other character is the next state.
disc_data get(std::istream& file, input_format format, const character_set& skip);
disc_data get(input_format format, const character_set& skip);
// A count or real character matrix: get<count_data>(file, format), get<real_data>(...).
template <class Data>
Data get(std::istream& file, input_format format);
template <class Data>
Data get(input_format format);
// The same, with the rows laid out as `layout` says (the forms above read SEQUENTIAL).
disc_data get(std::istream& file, input_format format, const character_set& skip,
              row_layout layout);
disc_data get(input_format format, const character_set& skip, row_layout layout);
template <class Data>
Data get(std::istream& file, input_format format, row_layout layout);
template <class Data>
Data get(input_format format, row_layout layout);
// A distance matrix: the full square, no symmetry assumed. A tab-separated file's header
// line names the taxa in the rows' order, above their label column an empty or named cell
// (pandas, R's write.table with col.names = NA) or none (R's write.table by default).
squared get(std::istream& file, dist_input_format format);
squared get(dist_input_format format);
// A distance matrix file holding the part of the square that `shape` says.
squared get(std::istream& file, dist_input_format format, triangle shape);
squared get(dist_input_format format, triangle shape);

// Through a cursor, for callers that read several parts of one input.
void get_word(generics::text_cursor& c, const character_set& delimiters, std::string& word);
void get_word(generics::text_cursor& c, index_type width, std::string& word);
void get_label(generics::text_cursor& c, input_format format, std::string& label);
void skip_rest(generics::text_cursor& c);
dimensions get_header(generics::text_cursor& c);
index_type get_header(generics::text_cursor& c, dist_input_format format);
disc_data get(generics::text_cursor& c, input_format format, const character_set& skip);
disc_data get(generics::text_cursor& c, input_format format, const character_set& skip,
              row_layout layout);
template <class Data>
Data get(generics::text_cursor& c, input_format format);
template <class Data>
Data get(generics::text_cursor& c, input_format format, row_layout layout);
squared get(generics::text_cursor& c, dist_input_format format);
squared get(generics::text_cursor& c, dist_input_format format, triangle shape);
// After a matrix read from a whole file only blanks and line ends may follow: anything else is
// the data error (a stream that holds several matrices is read without this check).
void expect_end(generics::text_cursor& c);

template <>
count_data get<count_data>(std::istream& file, input_format format);
template <>
real_data get<real_data>(std::istream& file, input_format format);
template <>
count_data get<count_data>(input_format format);
template <>
real_data get<real_data>(input_format format);
template <>
count_data get<count_data>(generics::text_cursor& c, input_format format);
template <>
real_data get<real_data>(generics::text_cursor& c, input_format format);
template <>
count_data get<count_data>(std::istream& file, input_format format, row_layout layout);
template <>
real_data get<real_data>(std::istream& file, input_format format, row_layout layout);
template <>
count_data get<count_data>(input_format format, row_layout layout);
template <>
real_data get<real_data>(input_format format, row_layout layout);
template <>
count_data get<count_data>(generics::text_cursor& c, input_format format, row_layout layout);
template <>
real_data get<real_data>(generics::text_cursor& c, input_format format, row_layout layout);

} // namespace phylo::read
