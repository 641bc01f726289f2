#pragma once
// Element-level text input and output of the character kinds. The literal family reads and
// writes discrete, binary and count values as literals; the real family reads real literals
// and writes in the fore / aft / exp layout. Per kind:
//
//   element_io::get (file) / get (string) / put (file, x, ...) / put (string, x, ...)
//   get (file, array | matrix | vector [, width]), get_row (file, row, matrix [, width])
//   print (file, array | matrix, numbered, separator [, fore, aft, exp])
//   print_row (file, row, matrix, numbered, separator [, fore, aft, exp])
//
// and each has a twin without the file that uses the current input or output. Layouts: with
// the separator '\n' one value per line (numbered: with its index image); otherwise one line
// of separator-led values, after a header line of separator-led index images when numbered.
// Reading errors: the data error for a malformed literal (the element keeps its old value),
// the end error when the input ends first; messages say which element. Counts are digits
// only, without a sign. A fixed-width real field (width > 0) never passes a line end: rows on
// separate lines are read row by row, the caller passing the line end in between.

#include <phylo/core.hpp>

#include <generics/generic_character_io.hpp>

#include <cstddef>

namespace phylo {

using generics::type_set;

namespace detail {
// One quoted printable character ('A') or the name of a control character (NUL, LF, DEL).
struct disc_literal {
    static disc_element read(generics::text_cursor& c);
    static std::size_t image(disc_element x, type_set setting, char* out);
    static constexpr bool right_justified = false;
};
// PRESENCE, ABSENCE or UNKNOWN in any case.
struct binary_literal {
    static binary read(generics::text_cursor& c);
    static std::size_t image(binary x, type_set setting, char* out);
    static constexpr bool right_justified = false;
};
// An unsigned decimal integer up to 2147483647, written with a leading blank (" 12").
struct count_literal {
    static count_element read(generics::text_cursor& c);
    static std::size_t image(count_element x, type_set setting, char* out);
    static constexpr bool right_justified = true;
};
} // namespace detail

namespace disc_chars {
using io = generics::literal_io<disc_element, detail::disc_literal>;
using element_io = io::element_io;
inline constexpr io::get_fn get{};
inline constexpr io::get_row_fn get_row{};
inline constexpr io::print_fn print{};
inline constexpr io::print_row_fn print_row{};
} // namespace disc_chars

namespace binary_chars {
using io = generics::literal_io<binary, detail::binary_literal>;
using element_io = io::element_io;
inline constexpr io::get_fn get{};
inline constexpr io::get_row_fn get_row{};
inline constexpr io::print_fn print{};
inline constexpr io::print_row_fn print_row{};
} // namespace binary_chars

namespace count_chars {
using io = generics::literal_io<count_element, detail::count_literal>;
using element_io = io::element_io;
inline constexpr io::get_fn get{};
inline constexpr io::get_row_fn get_row{};
inline constexpr io::print_fn print{};
inline constexpr io::print_row_fn print_row{};
} // namespace count_chars

namespace real_chars {
using io = generics::real_io<real_element>;
using element_io = io::element_io; // default_fore 2, default_aft 14, default_exp 3
inline constexpr io::get_fn get{};
inline constexpr io::get_row_fn get_row{};
inline constexpr io::print_fn print{};
inline constexpr io::print_row_fn print_row{};
} // namespace real_chars

} // namespace phylo

extern template struct generics::character_io<
    generics::literal_codec<phylo::disc_element, phylo::detail::disc_literal>>;
extern template struct generics::character_io<
    generics::literal_codec<phylo::binary, phylo::detail::binary_literal>>;
extern template struct generics::character_io<
    generics::literal_codec<phylo::count_element, phylo::detail::count_literal>>;
extern template struct generics::character_io<generics::real_codec<phylo::real_element>>;
