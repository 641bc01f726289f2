#pragma once
// One test spread over many runs (--part K/M) and put together again (--combine): part K of M
// draws only its range of the reshuffles and writes a partial result, which carries a
// fingerprint of everything the values depend on; combining the partial results of all M parts
// gives, byte for byte, the report of one run.
//
// A partial result is text, one item a line, tab-separated:
//     labmix partial result	1
//     fingerprint	<16 hexadecimal digits>
//     part	K	M
//     reshuffles	N
//     statistics	chi2	ari
//     observed	<value>	<value>
//     note	<a note of the test, as standard error gave it>     (none or more)
//     values	<first reshuffle>	<last reshuffle>
// then one line per reshuffle of the range: its number and its values, every number in the
// shortest form that reads back as the same double.

#include <tool/run.hpp>
#include <tool/statistics.hpp>

#include <generics/errors.hpp>

#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace labmix {

namespace error_names {
inline constexpr char part[] = "partial result";
}

// A partial result that cannot be read, does not belong with the others, or is missing.
using part_error = generics::basic_error<std::runtime_error, error_names::part>;

// Part `k` of `m` (1 <= k <= m).
struct part_number {
    std::int32_t k;
    std::int32_t m;
    friend bool operator==(const part_number&, const part_number&) = default;
};

// The text K/M of --part as a part number; the option_error otherwise.
[[nodiscard]] part_number parse_part(std::string_view text);

// The reshuffles first .. last of part p of a test of n reshuffles: the K-th of M ranges
// as equal as whole numbers allow, floor((K - 1) n / M) + 1 .. floor(K n / M).
struct reshuffle_range {
    std::int64_t first;
    std::int64_t last;
};
[[nodiscard]] reshuffle_range range_of(part_number p, std::int64_t reshuffles);

// FNV-1a over bytes, 64 bits: the fingerprint of a test.
class fingerprint {
public:
    void add(std::string_view bytes) noexcept {
        for (const char c : bytes) {
            hash_ ^= static_cast<unsigned char>(c);
            hash_ *= 0x100000001b3u;
        }
    }
    // A field: its bytes and a separator no field of a table holds.
    void add_field(std::string_view bytes) noexcept {
        add(bytes);
        add(std::string_view("\n", 1));
    }
    [[nodiscard]] std::uint64_t value() const noexcept { return hash_; }

private:
    std::uint64_t hash_ = 0xcbf29ce484222325u;
};

// What a caller is handed for each reshuffle read from a partial result: its number and values.
using reshuffle_callback = std::function<void(std::int64_t, std::span<const double>)>;

// Everything of a test that its parts share.
struct test_identity {
    std::uint64_t fingerprint = 0;
    std::int64_t reshuffles = 0;
    std::vector<statistic> statistics;
    std::vector<double> observed;
    std::vector<std::string> notes;
};

// Writes the partial result of part p: its head, then one line per reshuffle of its range.
void write_partial_head(listing_writer& out, const test_identity& test, part_number p);
void write_partial_line(listing_writer& out, std::int64_t k, std::span<const double> values);

// The test of the partial results in `files` (any order), each file read whole and checked:
// a file that cannot be read or is not a partial result, a part given twice, a part of
// another test (another fingerprint) and a missing part are the part_error, naming the file
// (or the part) and the reason.
struct combined_test {
    test_identity test;
    std::vector<std::string> files; // by part number
};
[[nodiscard]] combined_test combine_parts(const std::vector<std::string>& files);

// Reads the parts again, in reshuffle order: `each(k, values)` for reshuffles 1 .. N, as one
// run gives them. Nothing is kept; a file that changed since it was checked is the part_error.
void for_each_combined_null(const combined_test& combined, const reshuffle_callback& each);

} // namespace labmix
