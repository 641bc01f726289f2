// The forms without a file parameter: each passes the current input or output to its
// stream form, so the redirection of generics::current_input() and current_output() is
// the only state they read. The readers' cursor carries the current input's name, which
// messages about it start with.

#include <phylo/disc_io.hpp>
#include <phylo/print.hpp>
#include <phylo/read.hpp>
#include <phylo/taxonomy/table.hpp>

#include <generics/current_io.hpp>
#include <generics/generic_character_io.hpp>

#include <string>

namespace phylo {

using generics::current_input;
using generics::current_output;

namespace disc_io {

disc_element get(const character_set& skip) { return get(current_input(), skip); }
void get(disc_array& a, const character_set& skip) { get(current_input(), a, skip); }
void get_row(index_type row, disc_matrix& m, const character_set& skip) {
    get_row(current_input(), row, m, skip);
}
void get(disc_matrix& m, const character_set& skip) { get(current_input(), m, skip); }
void get(disc_vector& v, const character_set& skip) { get(current_input(), v, skip); }
void print(const disc_array& a, bool numbered, char separator) {
    print(current_output(), a, numbered, separator);
}
void print_row(index_type row, const disc_matrix& m, bool numbered, char separator) {
    print_row(current_output(), row, m, numbered, separator);
}
void print(const disc_matrix& m, bool numbered, char separator) {
    print(current_output(), m, numbered, separator);
}

} // namespace disc_io

namespace read {

namespace {
generics::text_cursor current_cursor() {
    return generics::text_cursor(current_input(), true, generics::current_input_name());
}
} // namespace

void get_word(const character_set& delimiters, std::string& word) {
    auto c = current_cursor();
    get_word(c, delimiters, word);
}
void get_word(index_type width, std::string& word) {
    auto c = current_cursor();
    get_word(c, width, word);
}
void get_label(input_format format, std::string& label) {
    auto c = current_cursor();
    get_label(c, format, label);
}
void skip_rest() {
    auto c = current_cursor();
    skip_rest(c);
}
dimensions get_header() {
    auto c = current_cursor();
    return get_header(c);
}
index_type get_header(dist_input_format format) {
    auto c = current_cursor();
    return get_header(c, format);
}
disc_data get(input_format format, const character_set& skip) {
    auto c = current_cursor();
    return get(c, format, skip);
}
template <>
count_data get<count_data>(input_format format) {
    auto c = current_cursor();
    return get<count_data>(c, format);
}
template <>
real_data get<real_data>(input_format format) {
    auto c = current_cursor();
    return get<real_data>(c, format);
}
disc_data get(input_format format, const character_set& skip, row_layout layout) {
    auto c = current_cursor();
    return get(c, format, skip, layout);
}
template <>
count_data get<count_data>(input_format format, row_layout layout) {
    auto c = current_cursor();
    return get<count_data>(c, format, layout);
}
template <>
real_data get<real_data>(input_format format, row_layout layout) {
    auto c = current_cursor();
    return get<real_data>(c, format, layout);
}
squared get(dist_input_format format) {
    auto c = current_cursor();
    return get(c, format);
}
squared get(dist_input_format format, triangle shape) {
    auto c = current_cursor();
    return get(c, format, shape);
}

} // namespace read

namespace print {

void print_numbers(index_type nchar, index_type width) {
    print_numbers(current_output(), nchar, width);
}
void print_label(std::string_view label, output_format format, index_type width) {
    print_label(current_output(), label, format, width);
}
void print_header(index_type ntax, index_type nchar, output_format format, datatype kind) {
    print_header(current_output(), ntax, nchar, format, kind);
}
void print_header(const taxon_labels& labels, dist_output_format format) {
    print_header(current_output(), labels, format);
}
void print_footer(output_format format) { print_footer(current_output(), format); }
void print_footer(dist_output_format format) { print_footer(current_output(), format); }
void put(const disc_data& x, output_format format) { put(current_output(), x, format); }
void put(const count_data& x, output_format format) { put(current_output(), x, format); }
void put(const real_data& x, output_format format, std::size_t fore, std::size_t aft,
         std::size_t exp) {
    put(current_output(), x, format, fore, aft, exp);
}
void put(const squared& x, dist_output_format format, std::size_t fore, std::size_t aft,
         std::size_t exp) {
    put(current_output(), x, format, fore, aft, exp);
}
void put(const disc_data& x, output_format format, field_separator separator) {
    put(current_output(), x, format, separator);
}
void put(const count_data& x, output_format format, field_separator separator) {
    put(current_output(), x, format, separator);
}
void put(const real_data& x, output_format format, field_separator separator, std::size_t fore,
         std::size_t aft, std::size_t exp) {
    put(current_output(), x, format, separator, fore, aft, exp);
}
void put(const squared& x, dist_output_format format, field_separator separator, std::size_t fore,
         std::size_t aft, std::size_t exp) {
    put(current_output(), x, format, separator, fore, aft, exp);
}
void put(const real_data& x, output_format format, const real_layout& layout,
         field_separator separator) {
    put(current_output(), x, format, layout, separator);
}
void put(const squared& x, dist_output_format format, const real_layout& layout,
         field_separator separator) {
    put(current_output(), x, format, layout, separator);
}

} // namespace print

namespace taxonomy {

group_name_vector get(char separator) {
    return get(current_input(), separator, generics::current_input_name());
}
void put(const group_name_vector& table, char separator) {
    put(current_output(), table, separator);
}

} // namespace taxonomy

} // namespace phylo
