#pragma once
// The plot of a permutation test (--plot): for each statistic, the histogram of its null
// distribution with the observed value marked and the p-value written, as one standalone SVG
// file that browsers show and rsvg-convert renders.

#include <tool/statistics.hpp>

#include <span>
#include <string>

namespace labmix {

// The SVG document; `values` laid out as null_values gives them.
[[nodiscard]] std::string null_plot_svg(std::span<const statistic> statistics,
                                        std::span<const double> observed,
                                        std::span<const double> values);

} // namespace labmix
