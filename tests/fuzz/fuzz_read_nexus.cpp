// The NEXUS reader on arbitrary bytes. The first byte picks the record: discrete, count or
// real character data, or distances.
#include <phylo/nexus.hpp>

#include <generics/errors.hpp>

#include <cstdint>
#include <sstream>

namespace {
template <class Record>
void read(std::istream& in) {
    (void)phylo::nexus::get<Record>(in);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static constexpr void (*readers[])(std::istream&) = {
        read<phylo::disc_data>, read<phylo::count_data>, read<phylo::real_data>,
        read<phylo::squared>};
    if (size == 0) return 0;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
    try {
        readers[data[0] & 3](in);
    } catch (const generics::error&) {
    }
    return 0;
}
