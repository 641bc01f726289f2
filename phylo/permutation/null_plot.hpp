#pragma once
// The plot of a permutation test (--plot): for each statistic, the histogram of its null
// distribution with the observed value marked and the p-value written, as one standalone SVG
// file that browsers show and rsvg-convert renders.
//
// The histograms take two passes over the null values, so that no value needs to be kept:
// the first finds each statistic's extremes, which fix the bins; the second counts.
//
//     null_plot plot(observed);
//     for (each reshuffle's values v) plot.widen(v);
//     for (the same values again, in any order) plot.count(v);
//     const std::string svg = null_plot::svg_head(statistics.size()) +
//                             plot.svg_body(statistics, summaries);
//
// The head depends only on the number of statistics, so a run writes it before it draws: an
// output that cannot take it fails at once.

#include <phylo/permutation/report.hpp>
#include <phylo/permutation/statistics.hpp>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace phylo::permutation {

class null_plot {
public:
    // One histogram per observed value (per statistic).
    explicit null_plot(std::span<const double> observed);

    // First pass: one reshuffle's values, a value per statistic.
    void widen(std::span<const double> values);
    // Second pass, after the whole first: one reshuffle's values.
    void count(std::span<const double> values);

    // The start of the SVG document of `statistics` panels.
    [[nodiscard]] static std::string svg_head(std::size_t statistics);
    // The rest of it; the summaries give each panel its p-value and reshuffle count.
    [[nodiscard]] std::string svg_body(std::span<const statistic> statistics,
                                       std::span<const statistic_summary> summaries) const;

private:
    static constexpr int bins = 40;

    struct histogram {
        double observed;
        double lo, hi; // the extremes, then the bins' edges once the first pass is over
        bool counting = false;
        std::vector<std::int64_t> counts;
    };
    void start_counting(histogram& h) const;

    std::vector<histogram> histograms_;
};

} // namespace phylo::permutation
