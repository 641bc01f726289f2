#pragma once
// What the first bytes of an input say about it, before the table reader sees them: tables
// saved by spreadsheets and editors may start with a byte order mark or end their lines in
// carriage returns alone.
//
// - A UTF-8 byte order mark (EF BB BF) at the start is skipped: it is not part of the first
//   field.
// - A UTF-16 or UTF-32 byte order mark (FF FE, FE FF, 00 00 FE FF) is refused: the reader
//   takes bytes, and those files would read as labels full of NUL bytes.
// - Lines that end in carriage returns alone are refused: when the window (the first
//   `sniff_window` bytes, or the whole input if shorter) holds no line feed but a carriage
//   return that is not its last byte. Such a file would otherwise read as one long line.
//   A carriage return inside a label of a file with line feeds, and a carriage return at the
//   very end of the input, are kept as the reader always kept them.

#include <generics/errors.hpp>

#include <cstddef>
#include <stdexcept>
#include <string_view>

namespace labmix {

namespace error_names {
inline constexpr char input_format[] = "input format error";
}

// An input that the table reader would misread: the message names the input and the reason.
using input_format_error = generics::basic_error<std::runtime_error, error_names::input_format>;

// How many bytes the check wants to see, unless a line feed or the end of the input comes
// first.
inline constexpr std::size_t sniff_window = std::size_t{1} << 20;

// Checks `start`, the first bytes of the input called `name`: all of them up to the first
// line feed, or `sniff_window` bytes, or the whole input (`whole`). Returns how many bytes to
// skip; a refused input is the input_format_error.
std::size_t check_input_start(std::string_view start, bool whole, std::string_view name);

} // namespace labmix
