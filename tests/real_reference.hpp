#pragma once

// What the readers of real literals are checked against, shared by the tests and the fuzz
// targets (so without the test framework): the standard converter, and equality bit for bit.

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace test_support {

// The same double, signed zeros and not-a-numbers told apart.
inline bool same_bits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// The first real literal of `text` as std::from_chars reads it: its value and how many
// characters (blanks and line ends before it included) it takes; nothing when a reader must
// raise the data error or the end error there.
inline std::optional<std::pair<double, std::size_t>> reference_real(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\n' ||
                                text.substr(at, 2) == "\r\n"))
        at += text[at] == '\r' ? 2 : 1;
    const std::size_t start = at;
    // std::from_chars takes no plus sign.
    if (at + 1 < text.size() && text[at] == '+' &&
        (text[at + 1] == '.' || (text[at + 1] >= '0' && text[at + 1] <= '9')))
        ++at;
    double v = 0;
    const auto r = std::from_chars(text.data() + at, text.data() + text.size(), v);
    if (r.ec == std::errc::invalid_argument) return std::nullopt;
    const auto end = static_cast<std::size_t>(r.ptr - text.data());
    // An exponent mark right after a literal without one begins a malformed exponent.
    const bool has_exponent =
        text.substr(at, end - at).find_first_of("eE") != std::string_view::npos;
    if (!has_exponent && end < text.size() && (text[end] == 'e' || text[end] == 'E'))
        return std::nullopt;
    // Below the smallest double the value is a signed zero (strtod tells its sign); above the
    // largest, an error.
    if (r.ec == std::errc::result_out_of_range &&
        (v = std::strtod(std::string(text.substr(start, end - start)).c_str(), nullptr)) != 0)
        return std::nullopt;
    if (!std::isfinite(v)) return std::nullopt; // inf, nan
    return std::pair(v, end);
}

} // namespace test_support
