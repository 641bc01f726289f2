// Group-name table reader and the tool's column road, on arbitrary bytes. The first byte
// picks the two columns; the rest is the table. The tool's road (the row visitor, keeping two
// columns) must agree with the whole table read by `get`: the same error kind, or the same
// labels in the same order.
#include <tool/formats.hpp>
#include <tool/run.hpp>

#include <phylo/taxonomy/table.hpp>

#include <generics/errors.hpp>

#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <sstream>

namespace {

// The listing of the tool's road, or the name of the error that ended it.
std::string through_visitor(const std::string& text, generics::index_type fixed,
                            generics::index_type permuted) {
    std::istringstream in(text);
    try {
        labmix::packed_labels f;
        labmix::permuted_labels p;
        labmix::read_columns(in, "fuzz input", fixed, permuted, f, p);
        std::string listing;
        const std::uint32_t* label = p.labels.data();
        f.for_each([&](std::string_view left) {
            listing.append(left);
            listing.append(p.distinct[*label++]);
        });
        static const int null_fd = ::open("/dev/null", O_WRONLY);
        labmix::listing_writer out(null_fd, "/dev/null");
        labmix::print_both(f, p, out);
        out.flush();
        return listing;
    } catch (const generics::error& e) {
        return std::string("error: ") + e.name();
    }
}

std::string through_table(const std::string& text, generics::index_type fixed,
                          generics::index_type permuted) {
    std::istringstream in(text);
    try {
        const auto table = phylo::taxonomy::get(in, '\t', "fuzz input");
        const auto left = phylo::taxonomy::group_names::extract(table, fixed);
        const auto right = phylo::taxonomy::group_names::extract(table, permuted);
        std::string listing;
        for (generics::index_type i = left.first(); i <= left.last(); ++i)
            listing.append(left[i]).append("\t").append(right[i]).append("\n");
        return listing;
    } catch (const generics::error& e) {
        return std::string("error: ") + e.name();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const generics::index_type fixed = data[0] & 3;
    const generics::index_type permuted = (data[0] >> 2) & 3;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    if (through_visitor(text, fixed, permuted) != through_table(text, fixed, permuted))
        std::abort();
    return 0;
}
