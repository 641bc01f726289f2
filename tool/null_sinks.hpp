#pragma once
// Where the null values of a run's tests go, reshuffle by reshuffle in order: the report's
// summaries, the null table (--null) and the plot's histograms (--plot). A run holds one test,
// or one per pair of groups (--pairwise), each started, fed and ended in turn. Nothing grows
// with the number of reshuffles.

#include <tool/listing_writer.hpp>
#include <tool/options.hpp>
#include <tool/output_files.hpp>

#include <phylo/permutation/null_plot.hpp>
#include <phylo/permutation/parts.hpp>
#include <phylo/permutation/report.hpp>
#include <phylo/permutation/value_spool.hpp>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace labmix {

class null_sinks {
public:
    // Opens the --null and --plot files of `s` and checks them against the run's inputs
    // (`inputs`, and standard input when the table comes from it) and standard output, all
    // before anything is read or drawn.
    null_sinks(const settings& s, std::span<const std::string> inputs);

    // The test whose null values come next: its statistics (the same for every test of a run),
    // observed values, tags, pair and method. The files' first bytes are written at the first
    // test, before its first reshuffle is drawn, so that an output that takes nothing (a full
    // device) fails then.
    void start(const phylo::permutation::test_identity& test);
    // One reshuffle's values (and weight, in an exact test).
    void add(std::int64_t k, std::span<const double> values);
    // The test started last is complete.
    void end();

    // The null table and the plot put in place, then the report on `out`: a report on
    // standard output means that every file of the run was written. Reports of an exact or a
    // pairwise test have the method column, and pairwise ones the pairs' columns.
    void finish(listing_writer& out);

private:
    std::optional<output_file> null_file_, plot_file_;
    bool started_ = false;
    std::vector<phylo::permutation::statistic> statistics_;
    phylo::permutation::test_method method_ = phylo::permutation::test_method::monte_carlo;
    bool pairwise_ = false;
    std::string prefix_; // of the null table's lines: the pair's groups
    phylo::permutation::report_tags tags_;
    std::vector<phylo::permutation::null_accumulator> summaries_;
    std::vector<phylo::permutation::pair_summary> pairs_;
    std::optional<phylo::permutation::null_plot> plot_;
    std::optional<phylo::permutation::value_spool> spool_;
};

} // namespace labmix
