// Group-name table reader, column extraction and one listing, on arbitrary bytes. The first
// byte picks the two columns; the rest is the table.
#include <tool/run.hpp>

#include <phylo/taxonomy/table.hpp>

#include <generics/errors.hpp>

#include <cstddef>
#include <cstdint>
#include <fcntl.h>
#include <sstream>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const generics::index_type fixed = data[0] & 3;
    const generics::index_type permuted = (data[0] >> 2) & 3;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
    static const int null_fd = ::open("/dev/null", O_WRONLY);
    try {
        auto table = phylo::taxonomy::get(in, '\t', "fuzz input");
        labmix::fixed_labels f;
        labmix::permuted_labels p;
        labmix::take_columns(table, fixed, permuted, f, p);
        labmix::listing_writer out(null_fd, "/dev/null");
        labmix::print_both(f, p, out);
        out.flush();
    } catch (const generics::error&) {
        // Every rejection must be one of the library's named conditions.
    }
    return 0;
}
