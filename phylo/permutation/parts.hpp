#pragma once
// One test spread over many runs (labmix's --part K/M) and put together again (--combine): part K
// of M draws only its range of the reshuffles and writes a partial result, which carries a
// fingerprint of everything the values depend on; combining the partial results of all M parts
// gives, byte for byte, the report of one run.
//
// A partial result is text, one item a line, tab-separated:
//     labmix partial result	2
//     fingerprint	<16 hexadecimal digits>
//     part	K	M
//     reshuffles	N
//     statistics	chi2	ari
//     observed	<value>	<value>
//     note	<a note of the test, as standard error gave it>     (none or more)
//     tested	<fixed>	<permuted>	<strata>	<taxa>	<seed>
//     pair	<i>	<P>	<group a>	<group b>     (a test of pair i of P of groups; else
//     none) method	exact                          (an exact test; else none)
//     values	<first reshuffle>	<last reshuffle>
// then one line per reshuffle of the range: its number and its values (an exact test's
// arrangement, its statistics and its weight), every number in the shortest form that reads
// back as the same double; and last
//     checksum	<16 hexadecimal digits>
// the FNV-1a hash of every byte before that line, so that a part cut short or changed in any
// byte is refused rather than combined into another report.
//
// A pairwise test (a test of each pair of groups) writes one such section per pair, pairs 1 ..
// P one after the other in one file, each section part K of M of its pair's reshuffles.

#include <phylo/permutation/report.hpp>
#include <phylo/permutation/statistics.hpp>
#include <phylo/permutation/value_spool.hpp>

#include <generics/byte_source.hpp>

#include <generics/errors.hpp>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace phylo::permutation {

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

// Which pair of groups a test of a pairwise test is: pair `index` (from 1) of `count`.
struct pair_tag {
    std::int32_t index = 0;
    std::int32_t count = 0;
    std::string group_a, group_b;
    friend bool operator==(const pair_tag&, const pair_tag&) = default;
};

// Everything of a test that its parts share.
struct test_identity {
    std::uint64_t fingerprint = 0;
    std::int64_t reshuffles = 0;
    std::vector<statistic> statistics;
    std::vector<double> observed;
    std::vector<std::string> notes;
    // What the report's last columns say; parts written before the report said it have none,
    // and combine into a report with those columns empty.
    std::optional<report_tags> tags;
    std::optional<pair_tag> pair;
    test_method method = test_method::monte_carlo;
};

// Writes the partial result of part p to `out` (which takes its text piece by piece): the head
// at construction, add() for each reshuffle of its range in order, finish() for the checksum
// line.
class partial_writer {
public:
    using text_out = std::function<void(std::string_view)>;
    partial_writer(text_out out, const test_identity& test, part_number p);
    void add(std::int64_t k, std::span<const double> values);
    void finish();

private:
    void put(std::string_view text);
    text_out out_;
    std::string line_;
    fingerprint sum_;
};

// One partial result as read: its test, its part and its range.
struct partial_result {
    test_identity test;
    part_number part{};
    reshuffle_range range{};
};

// Whether more sections follow the partial result of `test` in its file: a pair's before the
// last pair's.
[[nodiscard]] inline bool followed(const test_identity& test) noexcept {
    return test.pair && test.pair->index < test.pair->count;
}

// Reads one partial result from `in`, called `name` in messages, checking every line as it
// comes and the checksum at the end; each reshuffle's values go to `each` as they are read,
// so a caller keeps them aside until the call has returned. Lines are bounded: a file that
// is not a partial result is refused after its first few bytes, whatever its size. Anything
// malformed, out of range, impossible for its statistic or failing the checksum is the
// part_error naming the file and the line. A pair's section that is `followed` is read up to
// its checksum line; the next call reads the next section.
partial_result read_partial_result(generics::byte_source& in, const std::string& name,
                                   const reshuffle_callback& each);

// The partial results of all M parts of one test, given in any order, each read once (a
// pipe will do) and checked against the others: a part given twice, a part of another test
// (another fingerprint or a head that differs) and a missing part are the part_error. The
// null values wait on disk until every part is in, then come out in reshuffle order.
//
// The parts of a pairwise test hold a section per pair: each pair is combined on its own, as
// test(i) and for_each_null(i, each).
class part_combiner {
public:
    // Reads the partial result in file `file` ("cannot be opened" and the like name it).
    void add_file(const std::string& file);
    // Reads a partial result from `in`, called `name`.
    void add(generics::byte_source& in, const std::string& name);
    // How many tests the parts hold: the pairs of a pairwise test, or 1.
    [[nodiscard]] std::size_t tests() const noexcept { return tests_.size(); }
    // Test i (from 0) of the parts, once every part is in; the part_error names the first
    // missing.
    [[nodiscard]] const test_identity& test(std::size_t i = 0) const;
    // Hands `each(k, values)` every reshuffle 1 .. N of test i in order, as one run gives them.
    void for_each_null(const reshuffle_callback& each) { for_each_null(0, each); }
    void for_each_null(std::size_t i, const reshuffle_callback& each);

private:
    struct part {
        std::string name;
        std::int64_t first_row; // in the spool
        std::int64_t rows;
    };
    struct combined {
        std::optional<partial_result> first;
        std::string first_name;
        std::map<std::int32_t, part> parts;
    };
    void add_section(const partial_result& p, const std::string& name, std::int64_t first_row);
    std::vector<combined> tests_;
    std::optional<value_spool> spool_;
};

} // namespace phylo::permutation
