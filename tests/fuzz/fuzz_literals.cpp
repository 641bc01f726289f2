// The element literal readers (discrete, binary, count, real), from a string and from a
// stream. The first byte picks the kind and the form.
#include <phylo/chars_io.hpp>

#include <generics/errors.hpp>

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] & 3) {
    case 0: read_both<phylo::disc_chars::io>(text); break;
    case 1: read_both<phylo::binary_chars::io>(text); break;
    case 2: read_both<phylo::count_chars::io>(text); break;
    default: read_both<phylo::real_chars::io>(text); break;
    }
    return 0;
}
