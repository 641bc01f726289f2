#pragma once
// The report of a permutation test: one tab-separated table, a line per statistic, that R's
// read.delim and pandas' read_csv read as it stands; and the table of every null value.

#include <phylo/permutation/engine.hpp>
#include <phylo/permutation/statistics.hpp>

#include <charconv>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace phylo::permutation {

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
// Of an exact test, reshuffles counts the arrangements and at_least those whose value is at
// least the observed one; p_value is their share of the total weight, null_mean and null_sd
// the mean and standard deviation of the exact null distribution (divisor: the total weight).

// A null value counts as at least the observed one when it is >= observed - 64 eps |observed|
// (eps the machine epsilon), so that a reshuffle that rebuilds the observed table counts
// whatever the rounding, as in R's chisq.test.
[[nodiscard]] bool at_least_observed(double value, double observed);

// The summary of one statistic, null value by null value in reshuffle order, so that the same
// values give the same bits however they were drawn. The sums are of the offsets from the
// first value (equal values give their value and an sd of exactly 0), in one pass.
class null_accumulator {
public:
    explicit null_accumulator(double observed, test_method method = test_method::monte_carlo)
        : observed_(observed), exact_(method == test_method::exact) {}
    // A reshuffle's value, or an arrangement's value and weight in an exact test.
    void add(double value, double weight = 1.0);
    [[nodiscard]] statistic_summary summary() const;

private:
    double observed_;
    bool exact_;
    double weight_ = 0.0;       // exact: the total weight
    double weight_above_ = 0.0; // exact: the weight of the values at least the observed one
    double shift_ = 0.0;
    double sum_ = 0.0;     // of value - shift
    double squares_ = 0.0; // of (value - shift)^2
    std::int64_t count_ = 0;
    std::int64_t at_least_ = 0;
};

// The summary of statistic `index` of null values laid out reshuffle by reshuffle, `width`
// to a reshuffle.
[[nodiscard]] statistic_summary summarize(double observed, std::span<const double> values,
                                          std::size_t width, std::size_t index);

// What a test tested, written after the seven columns of every line of its report so that
// the lines of many tests (a loop over columns) say which is which: the fixed, the permuted
// and the stratum column (their names with --header, their numbers otherwise; the stratum
// empty without --strata), the number of taxa and the seed.
struct report_tags {
    std::string fixed, permuted, strata;
    std::int64_t taxa = 0;
    std::uint64_t seed = 0;
    friend bool operator==(const report_tags&, const report_tags&) = default;
};

// A column name as report_tags hold it: tabs and line ends (which a quoted CSV header may
// hold) become blanks. (The report quotes a name holding a double quote as the tables do.)
[[nodiscard]] std::string tag_name(std::string_view name);

// The report: the header line, then one line per statistic.
[[nodiscard]] std::string report_text(std::span<const statistic> statistics,
                                      std::span<const statistic_summary> summaries,
                                      const report_tags& tags);
[[nodiscard]] std::string report_text(std::span<const statistic> statistics,
                                      std::span<const double> observed,
                                      std::span<const double> values, const report_tags& tags);

// p-values adjusted for multiple testing as R's p.adjust adjusts them: Holm's step-down and
// Benjamini and Hochberg's false discovery rate. Not-a-numbers stay so and do not count.
enum class p_adjustment { holm, bh };
[[nodiscard]] std::vector<double> p_adjust(std::span<const double> p, p_adjustment method);

// The report of a test with the method column (exact or monte_carlo) after the columns above.
[[nodiscard]] std::string report_text(std::span<const statistic> statistics,
                                      std::span<const statistic_summary> summaries,
                                      const report_tags& tags, test_method method);

// One test of a pairwise report: the summaries of its statistics, its tags and its two groups.
struct pair_summary {
    std::string group_a, group_b;
    std::vector<statistic_summary> summaries;
    report_tags tags;
};
// The report of a test of every pair of groups: a line per pair and statistic, pair by pair,
// with the columns above and then group_a, group_b, p_holm, p_bh (p_value adjusted over the
// pairs, statistic by statistic) and method.
[[nodiscard]] std::string pairwise_report_text(std::span<const statistic> statistics,
                                               std::span<const pair_summary> pairs,
                                               test_method method);

// The null-value table (--null): header `reshuffle	statistic	value`, then one line per
// reshuffle and statistic. `Out` is any writer with put(std::string_view) and put(char).
inline constexpr std::string_view null_table_header = "reshuffle\tstatistic\tvalue\n";

// The header of the null-value table of an exact test (each arrangement's weight after its
// value) or of a pairwise test (the pair's groups first), or of both.
[[nodiscard]] std::string null_table_header_of(bool pairwise, test_method method);

// One reshuffle's lines of the null-value table; an exact test's `values` end with the
// arrangement's weight, written after each value; `prefix` (a pair's groups and a tab, or
// nothing) starts every line.
template <class Out>
void write_null_line(Out& out, std::span<const statistic> statistics, std::int64_t k,
                     std::span<const double> values, std::string_view prefix = {},
                     test_method method = test_method::monte_carlo) {
    char buffer[24];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, k).ptr;
    const std::string_view number(buffer, static_cast<std::size_t>(end - buffer));
    const std::string weight =
        method == test_method::exact ? format_number(values[statistics.size()]) : std::string();
    for (std::size_t i = 0; i < statistics.size(); ++i) {
        out.put(prefix);
        out.put(number);
        out.put('\t');
        out.put(name_of(statistics[i]));
        out.put('\t');
        out.put(format_number(values[i]));
        if (method == test_method::exact) {
            out.put('\t');
            out.put(weight);
        }
        out.put('\n');
    }
}

// The null values as a table, reshuffles numbered from `first`.
template <class Out>
void write_null_values(Out& out, std::span<const statistic> statistics,
                       std::span<const double> values, std::int64_t first) {
    out.put(null_table_header);
    const std::size_t width = statistics.size();
    for (std::size_t k = 0; width > 0 && k < values.size() / width; ++k)
        write_null_line(out, statistics, first + static_cast<std::int64_t>(k),
                        values.subspan(k * width, width));
}

} // namespace phylo::permutation
