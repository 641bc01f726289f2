// The element literal readers (discrete, binary, count, real), from a string and from a
// stream. The first byte picks the kind and the form. Real literals are read differentially:
// every value must be, bit for bit, what std::from_chars makes of the same characters, and
// both forms must agree on where each literal ends.
#include <phylo/chars_io.hpp>

#include <generics/errors.hpp>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <sstream>

namespace {

template <class Io>
void read_both(std::string_view text) {
    try {
        (void)Io::element_io::get(text);
    } catch (const generics::error&) {
    }
    std::istringstream in{std::string(text)};
    try {
        while (in) (void)Io::element_io::get(in);
    } catch (const generics::error&) {
    }
}

// One literal as the reference reads it: its value and how many characters (blanks and line
// ends before it included) it takes; nothing when the reader must raise the data error or the
// end error there.
std::optional<std::pair<double, std::size_t>> reference(std::string_view text) {
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
    const std::size_t end = static_cast<std::size_t>(r.ptr - text.data());
    // An exponent mark right after a literal without one begins a malformed exponent.
    const bool has_exponent =
        text.substr(at, end - at).find_first_of("eE") != std::string_view::npos;
    if (!has_exponent && end < text.size() && (text[end] == 'e' || text[end] == 'E'))
        return std::nullopt;
    // Below the smallest double the value is a signed zero; above the largest, an error.
    if (r.ec == std::errc::result_out_of_range &&
        (v = std::strtod(std::string(text.substr(start, end - start)).c_str(), nullptr)) != 0)
        return std::nullopt;
    if (!std::isfinite(v)) return std::nullopt; // inf, nan
    return std::pair(v, end);
}

bool same(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// Reads literal after literal from a string and from a stream over the same text; both must
// give the reference's values and stop where it stops.
void read_reals_differentially(std::string_view text) {
    using phylo::real_chars::element_io;
    std::istringstream in{std::string(text)};
    for (std::size_t at = 0;;) {
        const auto expected = reference(text.substr(at));
        std::optional<double> from_string, from_stream;
        std::size_t last = 0;
        try {
            const auto got = element_io::get(text.substr(at));
            from_string = got.value;
            last = got.last;
        } catch (const generics::data_error&) {
        } catch (const generics::end_error&) {
        }
        try {
            from_stream = element_io::get(in);
        } catch (const generics::data_error&) {
        } catch (const generics::end_error&) {
        }
        if (expected.has_value() != from_string.has_value() ||
            expected.has_value() != from_stream.has_value())
            std::abort();
        if (!expected) return;
        const auto [value, length] = *expected;
        if (!same(*from_string, value) || !same(*from_stream, value) || last + 1 != length)
            std::abort();
        at += length;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static constexpr void (*readers[])(std::string_view) = {
        read_both<phylo::disc_chars::io>, read_both<phylo::binary_chars::io>,
        read_both<phylo::count_chars::io>, read_reals_differentially};
    if (size > 0) readers[data[0] & 3]({reinterpret_cast<const char*>(data + 1), size - 1});
    return 0;
}
