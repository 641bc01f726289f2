// The NEXUS reader on arbitrary bytes. The first byte picks the record: discrete, count or
// real character data, or distances.
#include <phylo/nexus.hpp>

#include <generics/errors.hpp>

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
    try {
        switch (data[0] & 3) {
        case 0:
            (void)phylo::nexus::get<phylo::disc_data>(in);
            break;
        case 1:
            (void)phylo::nexus::get<phylo::count_data>(in);
            break;
        case 2:
            (void)phylo::nexus::get<phylo::real_data>(in);
            break;
        default:
            (void)phylo::nexus::get<phylo::squared>(in);
            break;
        }
    } catch (const generics::error&) {
    }
    return 0;
}
