// The character matrix readers (PHYLIP, extended, commented, tab-separated; discrete, count
// and real; sequential, interleaved or detected) on arbitrary bytes. The first byte picks the
// layout, the kind and the order of the rows.
#include <phylo/read.hpp>

#include <generics/errors.hpp>

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    using phylo::read::input_format;
    const auto format = static_cast<input_format>(data[0] & 3);
    const auto layout = static_cast<phylo::read::row_layout>((data[0] >> 5) % 3);
    std::istringstream in(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
    try {
        switch ((data[0] >> 2) % 3) {
        case 0:
            (void)phylo::read::get(in, format, phylo::read::whitespace, layout);
            break;
        case 1:
            (void)phylo::read::get<phylo::count_data>(in, format, layout);
            break;
        default:
            (void)phylo::read::get<phylo::real_data>(in, format, layout);
            break;
        }
    } catch (const generics::error&) {
    }
    return 0;
}
