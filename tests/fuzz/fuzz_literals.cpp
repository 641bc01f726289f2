// The element literal readers (discrete, binary, count, real), from a string and from a
// stream. The first byte picks the kind and the form. Real literals are read differentially:
// every value must be, bit for bit, what std::from_chars makes of the same characters, and
// both forms must agree on where each literal ends.
#include <phylo/chars_io.hpp>

#include <generics/errors.hpp>

#include "../real_reference.hpp"

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

// Reads literal after literal from a string and from a stream over the same text; both must
// give the reference's values and stop where it stops.
void read_reals_differentially(std::string_view text) {
    using phylo::real_chars::element_io;
    std::istringstream in{std::string(text)};
    for (std::size_t at = 0;;) {
        const auto expected = test_support::reference_real(text.substr(at));
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
        if (!test_support::same_bits(*from_string, value) ||
            !test_support::same_bits(*from_stream, value) || last + 1 != length)
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
