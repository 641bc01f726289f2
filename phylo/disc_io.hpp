#pragma once
// Discrete states as plain characters: read one character at a time, passing over line ends
// and over every character of a caller-chosen skip set; written as bare characters, a whole
// row without separators. Every operation has a twin without the file that uses the current
// input or output. Reading errors: the end error when the input ends before every element
// is read (elements read so far keep their new values); a null row of a vector is the range
// error.

#include <phylo/core.hpp>

#include <generics/generic_character_io.hpp>
#include <textutils/charset.hpp>

#include <iosfwd>

namespace phylo::disc_io {

using textutils::character_set;
// The blank and every control character (codes 0 .. 32 and 127 .. 159): the usual skip set.
using textutils::whitespace;

// The next character of the file that is not in `skip`.
disc_element get(std::istream& file, const character_set& skip);
disc_element get(const character_set& skip);
// Fill the elements in index order, each with the next character not in `skip`.
void get(std::istream& file, disc_array& a, const character_set& skip);
void get(disc_array& a, const character_set& skip);
void get_row(std::istream& file, index_type row, disc_matrix& m, const character_set& skip);
void get_row(index_type row, disc_matrix& m, const character_set& skip);
void get(std::istream& file, disc_matrix& m, const character_set& skip);
void get(disc_matrix& m, const character_set& skip);
void get(std::istream& file, disc_vector& v, const character_set& skip);
void get(disc_vector& v, const character_set& skip);

// Separator '\n': one character per line (numbered: index image, tab, character). Any other
// separator s: one line of s and then all characters (numbered: after a header line of
// s-led index images).
void print(std::ostream& file, const disc_array& a, bool numbered, char separator);
void print(const disc_array& a, bool numbered, char separator);
void print_row(std::ostream& file, index_type row, const disc_matrix& m, bool numbered,
               char separator);
void print_row(index_type row, const disc_matrix& m, bool numbered, char separator);
void print(std::ostream& file, const disc_matrix& m, bool numbered, char separator);
void print(const disc_matrix& m, bool numbered, char separator);

// Through a cursor and a sink (the matrix reader and printer keep their own).
disc_element read(generics::text_cursor& c, const character_set& skip);
void read(generics::text_cursor& c, disc_array& a, const character_set& skip,
          const char* item_word = "element");
void write(generics::text_sink& s, const disc_array& a, bool numbered, char separator);

} // namespace phylo::disc_io
