#pragma once
// Writing labelled character matrices and distance matrices: PHYLIP and extended PHYLIP,
// a bare label list, bare rows, NEXUS (plain or quoted taxon names, with a closing PAUP
// block), and for distances a tab-separated table and a one-pair-per-line listing. Every
// operation has a twin without the file that writes to the current output.
//
// Errors are range errors, raised before anything is written: a character matrix without
// taxa, with a null row or with rows of different lengths; a layout that pads labels to the
// longest one when every label is empty; a label holding what the layout's reader ends a name
// at (a line end wherever labels are written as they stand; a tab, or in extended PHYLIP and
// the tab-separated and one-column distance layouts any control character); in the PHYLIP
// layouts of 10-column names, a name blank in its 10 columns and two different labels that a
// reader would take for the same name once they are cut to 10 columns and stripped (the
// message names both); a distance that is NaN or infinite; a real layout of more than 1100
// digits in any of its parts.

#include <phylo/chars_io.hpp>
#include <phylo/core.hpp>

#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>

namespace phylo::print {

// Layouts of character matrices.
enum class output_format { EXTENDED_PHYLIP, LABELS, NEXUS, NEXUS_ENCLOSED, PHYLIP, RAW };
// Layouts of distance matrices.
enum class dist_output_format {
    EXTENDED_PHYLIP,
    LABELS,
    NEXUS,
    NEXUS_ENCLOSED,
    ONE_COLUMN,
    PHYLIP,
    RAW,
    TAB_SEPARATED
};

// The label form of each distance layout.
constexpr output_format label_format(dist_output_format f) noexcept {
    switch (f) {
    case dist_output_format::EXTENDED_PHYLIP:
        return output_format::EXTENDED_PHYLIP;
    case dist_output_format::LABELS:
        return output_format::LABELS;
    case dist_output_format::NEXUS:
        return output_format::NEXUS;
    case dist_output_format::NEXUS_ENCLOSED:
        return output_format::NEXUS_ENCLOSED;
    case dist_output_format::ONE_COLUMN:
        return output_format::EXTENDED_PHYLIP;
    case dist_output_format::PHYLIP:
        return output_format::PHYLIP;
    case dist_output_format::RAW:
        return output_format::RAW;
    case dist_output_format::TAB_SEPARATED:
        break;
    }
    return output_format::EXTENDED_PHYLIP;
}

// What separates the fields of the PHYLIP and extended PHYLIP layouts (the header's two
// numbers, a name and its values, the values of count, real and distance rows): the tab, or
// a blank for readers that take a tab after a name as part of it (ape's read.dna). The other
// layouts always use the tab.
enum class field_separator { TAB, BLANK };

// Layout of real values: digits before the point, after it, and of the exponent (0: fixed).
inline constexpr std::size_t default_fore = real_chars::element_io::default_fore;
inline constexpr std::size_t default_aft = 8;
inline constexpr std::size_t default_exp = 0;

// The closing blocks written after NEXUS data and distances blocks (without their final
// line end).
extern const std::string_view data_closing_block;      // 551 characters
extern const std::string_view distances_closing_block; // 411 characters

// The greatest label length; 0 for no labels.
index_type longest_label(const taxon_labels& labels);
// The label fit for NEXUS: invalid characters (control characters, the blank, the
// punctuation " ()[]{}/\,;:=*'"`+-<>" and codes 127 .. 159) removed at both ends and turned
// into "_" inside.
std::string to_nexus_label(std::string_view label);

// The two-line ruler "[", padding to `width`, a tab, then 10, 20, ... right-aligned in
// 10 columns up to the first multiple of 10 above nchar, "]"; below it a "." under each
// number. `width` must be positive.
void print_numbers(std::ostream& file, index_type nchar, index_type width);
void print_numbers(index_type nchar, index_type width);
// One label in the form of `format`, cut or padded with blanks to `width` (PHYLIP: 10);
// LABELS writes the label and a line end, RAW nothing.
void print_label(std::ostream& file, std::string_view label, output_format format,
                 index_type width);
void print_label(std::string_view label, output_format format, index_type width);
void print_header(std::ostream& file, index_type ntax, index_type nchar, output_format format,
                  datatype kind);
void print_header(index_type ntax, index_type nchar, output_format format, datatype kind);
void print_header(std::ostream& file, const taxon_labels& labels, dist_output_format format);
void print_header(const taxon_labels& labels, dist_output_format format);
void print_footer(std::ostream& file, output_format format);
void print_footer(output_format format);
void print_footer(std::ostream& file, dist_output_format format);
void print_footer(dist_output_format format);

// A whole matrix: header, (ruler,) one line per taxon (label, tab, values), footer.
void put(std::ostream& file, const disc_data& x, output_format format);
void put(const disc_data& x, output_format format);
void put(std::ostream& file, const count_data& x, output_format format);
void put(const count_data& x, output_format format);
void put(std::ostream& file, const real_data& x, output_format format,
         std::size_t fore = default_fore, std::size_t aft = default_aft,
         std::size_t exp = default_exp);
void put(const real_data& x, output_format format, std::size_t fore = default_fore,
         std::size_t aft = default_aft, std::size_t exp = default_exp);
void put(std::ostream& file, const squared& x, dist_output_format format,
         std::size_t fore = default_fore, std::size_t aft = default_aft,
         std::size_t exp = default_exp);
void put(const squared& x, dist_output_format format, std::size_t fore = default_fore,
         std::size_t aft = default_aft, std::size_t exp = default_exp);

// The same, with the separator of the PHYLIP layouts chosen (the forms above use TAB).
void put(std::ostream& file, const disc_data& x, output_format format, field_separator separator);
void put(const disc_data& x, output_format format, field_separator separator);
void put(std::ostream& file, const count_data& x, output_format format, field_separator separator);
void put(const count_data& x, output_format format, field_separator separator);
void put(std::ostream& file, const real_data& x, output_format format, field_separator separator,
         std::size_t fore = default_fore, std::size_t aft = default_aft,
         std::size_t exp = default_exp);
void put(const real_data& x, output_format format, field_separator separator,
         std::size_t fore = default_fore, std::size_t aft = default_aft,
         std::size_t exp = default_exp);
void put(std::ostream& file, const squared& x, dist_output_format format, field_separator separator,
         std::size_t fore = default_fore, std::size_t aft = default_aft,
         std::size_t exp = default_exp);
void put(const squared& x, dist_output_format format, field_separator separator,
         std::size_t fore = default_fore, std::size_t aft = default_aft,
         std::size_t exp = default_exp);

// The same with the real layout as one value, so that its three numbers cannot be given in
// the wrong order:
//   print::put(file, x, output_format::PHYLIP, print::real_layout(2, 4, 0));
using real_layout = generics::real_layout;
// The layout that the forms with three numbers take by default (2, 8, 0).
[[nodiscard]] inline real_layout default_layout() noexcept {
    return real_layout(default_fore, default_aft, default_exp);
}
void put(std::ostream& file, const real_data& x, output_format format, const real_layout& layout,
         field_separator separator = field_separator::TAB);
void put(const real_data& x, output_format format, const real_layout& layout,
         field_separator separator = field_separator::TAB);
void put(std::ostream& file, const squared& x, dist_output_format format, const real_layout& layout,
         field_separator separator = field_separator::TAB);
void put(const squared& x, dist_output_format format, const real_layout& layout,
         field_separator separator = field_separator::TAB);

} // namespace phylo::print
