// The distance matrix reader (PHYLIP, extended, tab-separated; square, triangles or detected)
// on arbitrary bytes. The first byte picks the layout and the shape.
#include <phylo/read.hpp>

#include <generics/errors.hpp>

#include <cstdint>
#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const auto format = static_cast<phylo::read::dist_input_format>(data[0] % 3);
    const auto shape = static_cast<phylo::read::triangle>((data[0] / 3) % 6);
    std::istringstream in(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
    try {
        (void)phylo::read::get(in, format, shape);
    } catch (const generics::error&) {
    }
    return 0;
}
