#pragma once
// The report of a permutation test: one tab-separated table, a line per statistic, that R's
// read.delim and pandas' read_csv read as it stands; and the table of every null value
// (--null).

#include <tool/run.hpp>
#include <tool/statistics.hpp>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace labmix {

// `x` in its shortest form that reads back as the same double (std::to_chars), and NaN, Inf,
// -Inf for the rest, as R and pandas read them.
[[nodiscard]] std::string format_number(double x);
// The inverse of format_number for the whole of `text`; nothing for anything else.
[[nodiscard]] std::optional<double> parse_number(std::string_view text);

// One line of the report.
struct statistic_summary {
    double observed;
    double null_mean;
    double null_sd; // with the n - 1 divisor; not a number below two reshuffles
    std::int64_t reshuffles;
    std::optional<std::int64_t> at_least; // none when the statistic is undefined
    double p_value;                       // (at_least + 1) / (reshuffles + 1)
};

// A null value counts as at least the observed one when it is >= observed - 64 eps |observed|
// (eps the machine epsilon), so that a reshuffle that rebuilds the observed table counts
// whatever the rounding, as in R's chisq.test.
[[nodiscard]] bool at_least_observed(double value, double observed);

// The summary of statistic `index` of a test whose null values are laid out reshuffle by
// reshuffle, `width` to a reshuffle. The sums run in reshuffle order, so the same values give
// the same bits however they were computed.
[[nodiscard]] statistic_summary summarize(double observed, std::span<const double> values,
                                          std::size_t width, std::size_t index);

// The report: the header line, then one line per statistic.
[[nodiscard]] std::string report_text(std::span<const statistic> statistics,
                                      std::span<const double> observed,
                                      std::span<const double> values);

// The null values as a table: header `reshuffle	statistic	value`, then one line per
// reshuffle and statistic, reshuffles numbered from `first`.
void write_null_values(listing_writer &out, std::span<const statistic> statistics,
                       std::span<const double> values, std::int64_t first);

} // namespace labmix
