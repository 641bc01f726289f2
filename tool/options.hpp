#pragma once
// Option scanning of the labmix command line, as a pure function of the argument list, and
// the usage text.

#include <generics/bounded_array.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace labmix {

using generics::index_type;

// What one run is asked to do.
struct settings {
    index_type fixed_column = 0;        // counting from 0 (-f k gives k - 1)
    index_type permuted_column = 1;     // counting from 0 (-p k gives k - 1)
    std::int64_t reshuffles = 0;        // -n
    std::optional<std::uint64_t> seed;  // -s; without it the clock seeds the generator
    std::string input;                  // a file name, or "-" for standard input

    friend bool operator==(const settings&, const settings&) = default;
};

// Scans `arguments` (without the program name) from the last to the first. An argument is an
// option only when it is exactly "-f", "-n", "-p" or "-s"; it takes the argument to its right
// as the list stands after every option further right has been removed with its value, so the
// leftmost of two equal options wins. Returns the settings when exactly one other argument is
// left, and nothing when the usage text is due (none left, or two or more). A missing value,
// or a value that is not a whole number in the signed 32-bit range or is below its limit
// (1 for -f and -p, 0 for -n and -s), is the range error.
std::optional<settings> parse_arguments(std::vector<std::string> arguments);

// Reads an option value: decimal digits with an optional sign, blanks around them ignored,
// within the signed 32-bit range; nothing when the text is not such a number.
std::optional<std::int32_t> read_whole_number(std::string_view text);

// The usage text, `invocation` being the name the program was started by, exactly as given.
std::string usage_text(std::string_view invocation);

} // namespace labmix
