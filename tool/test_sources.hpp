#pragma once
// The tests of a run of --test, read from its table and matrices: one test, or with --pairwise
// one per pair of the permuted column's groups, on the taxa of the two. A test stays a source
// until its turn: it counts its arrangements (for --exact and its limit) without building
// anything, and builds its family only when asked, so that a pairwise run holds one pair's
// data at a time.

#include <tool/options.hpp>

#include <phylo/permutation/engine.hpp>
#include <phylo/permutation/parts.hpp>
#include <phylo/permutation/statistics.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace labmix {

// A test ready to draw: its family, its observed values and its notes (each a line for
// standard error).
struct built_test {
    std::unique_ptr<phylo::permutation::null_family> family;
    std::vector<double> observed;
    std::vector<std::string> notes;
};

struct test_source {
    // The report's tags (the seed left to the run), the pair, and in `fingerprint` that of
    // the data as read (the whole run's data, for a pair).
    phylo::permutation::test_identity identity;
    // What its arrangements are, for messages: "tables with these margins" and the like.
    std::string arrangements;
    // How many arrangements an exact test walks; nothing beyond `cap`.
    std::function<std::optional<std::uint64_t>(std::uint64_t cap)> count;
    // The decimal logarithm of that count, however large; empty when it is not known.
    std::function<double()> count_log10;
    // The test, exact or not.
    std::function<built_test(phylo::permutation::test_method)> build;
};

// The sources of the tests `s` asks for with `statistics`; the table's column warnings and the
// matrices' notes go to `notes` as they are read. `with_fingerprint`: fingerprint the data
// (for --part).
[[nodiscard]] std::vector<test_source>
read_tests(settings& s, const std::vector<phylo::permutation::statistic>& statistics,
           bool with_fingerprint, std::ostream& notes);

} // namespace labmix
