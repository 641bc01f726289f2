#include <phylo/disc_io.hpp>

#include <istream>
#include <ostream>
#include <string>

namespace phylo::disc_io {

using generics::text_cursor;
using generics::text_sink;

disc_element read(text_cursor& c, const character_set& skip) {
    for (;;) {
        const int ch = c.text_char();
        if (ch == text_cursor::eof) c.fail_end("a character");
        if (!skip.contains(static_cast<char>(ch))) return static_cast<disc_element>(ch);
    }
}

void read(text_cursor& c, disc_array& a, const character_set& skip, const char* item_word) {
    for (index_type i = a.first(); i <= a.last(); ++i) {
        c.set_item(item_word, i);
        a.unchecked(i) = read(c, skip);
    }
    c.clear_item();
}

namespace {
void read_row(text_cursor& c, index_type row, disc_matrix& m, const character_set& skip) {
    m.check_row(row);
    for (index_type j = m.col_first(); j <= m.col_last(); ++j) {
        c.set_item("column", j);
        m.unchecked(row, j) = read(c, skip);
    }
    c.clear_item();
}

void write_row(text_sink& s, index_type row, const disc_matrix& m, bool numbered, char separator) {
    m.check_row(row);
    generics::print_layout(s, m.col_first(), m.col_last(), numbered, separator,
                           generics::layout_style::plain,
                           [&m, row](text_sink& ss, index_type j) { ss.put(m.unchecked(row, j)); });
}
} // namespace

disc_element get(std::istream& file, const character_set& skip) {
    text_cursor c(file);
    return read(c, skip);
}

void get(std::istream& file, disc_array& a, const character_set& skip) {
    text_cursor c(file);
    read(c, a, skip);
}

void get_row(std::istream& file, index_type row, disc_matrix& m, const character_set& skip) {
    text_cursor c(file);
    read_row(c, row, m, skip);
}

void get(std::istream& file, disc_matrix& m, const character_set& skip) {
    text_cursor c(file);
    for (index_type i = m.row_first(); i <= m.row_last(); ++i) {
        c.set_row("row " + std::to_string(i) + ", ");
        read_row(c, i, m, skip);
    }
}

void get(std::istream& file, disc_vector& v, const character_set& skip) {
    text_cursor c(file);
    for (index_type i = v.first(); i <= v.last(); ++i) {
        if (!v.unchecked(i)) throw range_error("row " + std::to_string(i) + " is null");
        c.set_row("row " + std::to_string(i) + ", ");
        read(c, *v.unchecked(i), skip);
    }
}

void write(text_sink& s, const disc_array& a, bool numbered, char separator) {
    generics::print_layout(s, a.first(), a.last(), numbered, separator,
                           generics::layout_style::plain,
                           [&a](text_sink& ss, index_type i) { ss.put(a.unchecked(i)); });
}

void print(std::ostream& file, const disc_array& a, bool numbered, char separator) {
    text_sink s(file);
    write(s, a, numbered, separator);
    s.flush();
}

void print_row(std::ostream& file, index_type row, const disc_matrix& m, bool numbered,
               char separator) {
    text_sink s(file);
    write_row(s, row, m, numbered, separator);
    s.flush();
}

void print(std::ostream& file, const disc_matrix& m, bool numbered, char separator) {
    text_sink s(file);
    for (index_type i = m.row_first(); i <= m.row_last(); ++i)
        write_row(s, i, m, numbered, separator);
    s.flush();
}

} // namespace phylo::disc_io
