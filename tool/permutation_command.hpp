#pragma once
// The permutation test as a run of labmix (--test, --combine): read the columns, draw the
// reshuffles on every core, write the report, the null values and the plot, or one part's
// partial result.

#include <tool/options.hpp>
#include <tool/run.hpp>

#include <cstdint>
#include <ostream>

namespace labmix {

// A seed that -s accepts, from the clock.
[[nodiscard]] std::uint64_t seed_from_clock();

// Runs the test that `s` asks for on its input: the report (or, with a part, the partial
// result) to `out`; the seed picked from the clock and the notes on undefined statistics to
// `notes`. Errors propagate.
void run_test(const settings& s, listing_writer& out, std::ostream& notes);

// Puts the partial results of s.combine_files together: the report of one run to `out`, the
// notes the parts carry to `notes`.
void run_combine(const settings& s, listing_writer& out, std::ostream& notes);

} // namespace labmix
