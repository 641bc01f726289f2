// The distance matrix reader (PHYLIP, extended, tab-separated) on arbitrary bytes. The first
// byte picks the layout.
#include <phylo/read.hpp>

#include <generics/errors.hpp>

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    using phylo::read::dist_input_format;
    const auto format = static_cast<dist_input_format>(data[0] % 3);
    std::istringstream in(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
    try {
        (void)phylo::read::get(in, format);
    } catch (const generics::error&) {
    }
    return 0;
}
