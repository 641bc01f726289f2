// The character matrix readers (PHYLIP, extended, commented, tab-separated; discrete, count
// and real; sequential, interleaved or detected) on arbitrary bytes. The first byte picks the
// layout, the kind and the order of the rows.
#include <phylo/read.hpp>

#include <generics/errors.hpp>

#include <cstdint>
#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    namespace read = phylo::read;
    const auto format = static_cast<read::input_format>(data[0] & 3);
    const auto layout = static_cast<read::row_layout>((data[0] >> 5) % 3);
    std::istringstream in(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
    try {
        if (const int kind = (data[0] >> 2) % 3; kind == 0)
            (void)read::get(in, format, read::whitespace, layout);
        else if (kind == 1)
            (void)read::get<phylo::count_data>(in, format, layout);
        else
            (void)read::get<phylo::real_data>(in, format, layout);
    } catch (const generics::error&) {
    }
    return 0;
}
