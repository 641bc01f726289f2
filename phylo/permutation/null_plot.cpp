#include <phylo/permutation/null_plot.hpp>

#include <phylo/permutation/report.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

namespace phylo::permutation {

namespace {

constexpr double panel_width = 640;
constexpr double panel_height = 260;
constexpr double left = 60, right = 20, top = 40, bottom = 40;

// A coordinate with two decimals at most, so that the file stays small and exact.
std::string coordinate(double x) {
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, std::round(x * 100) / 100).ptr;
    return std::string(buffer, end);
}

// A number for a label: 4 significant digits.
std::string label(double x) {
    if (!std::isfinite(x)) return format_number(x);
    char buffer[32];
    const auto end =
        std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::general, 4).ptr;
    return std::string(buffer, end);
}

// The panel of one statistic, from the top at y0.
void panel(std::string& svg, double y0, statistic s, const statistic_summary& summary, double lo,
           double hi, std::span<const std::int64_t> counts) {
    const double observed = summary.observed;
    const double plot_w = panel_width - left - right;
    const double plot_h = panel_height - top - bottom;
    svg += "<g>\n<text x=\"" + coordinate(left) + "\" y=\"" + coordinate(y0 + 24) +
           "\" font-size=\"15\">" + std::string(name_of(s)) + ": observed " + label(observed) +
           ", p = " + label(summary.p_value) + " (" + std::to_string(summary.reshuffles) +
           " reshuffles)</text>\n";
    svg += "<rect x=\"" + coordinate(left) + "\" y=\"" + coordinate(y0 + top) + "\" width=\"" +
           coordinate(plot_w) + "\" height=\"" + coordinate(plot_h) +
           "\" fill=\"none\" stroke=\"#888\"/>\n";
    if (counts.empty()) {
        svg += "<text x=\"" + coordinate(left + 10) + "\" y=\"" + coordinate(y0 + top + 30) +
               "\" font-size=\"13\">undefined on this input</text>\n</g>\n";
        return;
    }
    const double tallest = static_cast<double>(*std::max_element(counts.begin(), counts.end()));
    const auto bins = static_cast<int>(counts.size());
    const double bar_w = plot_w / bins;
    for (int b = 0; b < bins; ++b) {
        if (counts[static_cast<std::size_t>(b)] == 0) continue;
        const double h =
            plot_h * static_cast<double>(counts[static_cast<std::size_t>(b)]) / tallest;
        svg += "<rect x=\"" + coordinate(left + b * bar_w) + "\" y=\"" +
               coordinate(y0 + top + plot_h - h) + "\" width=\"" + coordinate(bar_w) +
               "\" height=\"" + coordinate(h) + "\" fill=\"#6a8caf\" stroke=\"#fff\"/>\n";
    }
    const double x = left + (observed - lo) / (hi - lo) * plot_w;
    svg += "<line x1=\"" + coordinate(x) + "\" y1=\"" + coordinate(y0 + top - 6) + "\" x2=\"" +
           coordinate(x) + "\" y2=\"" + coordinate(y0 + top + plot_h) +
           "\" stroke=\"#c0392b\" stroke-width=\"2\"/>\n";
    const double axis_y = y0 + top + plot_h + 16;
    svg += "<text x=\"" + coordinate(left) + "\" y=\"" + coordinate(axis_y) +
           "\" font-size=\"12\">" + label(lo) + "</text>\n";
    svg += "<text x=\"" + coordinate(left + plot_w) + "\" y=\"" + coordinate(axis_y) +
           "\" font-size=\"12\" text-anchor=\"end\">" + label(hi) + "</text>\n";
    svg += "<text x=\"" + coordinate(left - 6) + "\" y=\"" + coordinate(y0 + top + 10) +
           "\" font-size=\"12\" text-anchor=\"end\">" +
           std::to_string(static_cast<std::int64_t>(tallest)) + "</text>\n</g>\n";
}

} // namespace

null_plot::null_plot(std::span<const double> observed) {
    for (const double x : observed) histograms_.push_back({x, x, x, false, {}});
}

void null_plot::widen(std::span<const double> values) {
    for (std::size_t i = 0; i < histograms_.size(); ++i) {
        auto& h = histograms_[i];
        h.lo = std::min(h.lo, values[i]);
        h.hi = std::max(h.hi, values[i]);
    }
}

// The bins span the extremes and 2% more on each side; a histogram without a finite range
// (an undefined statistic, no reshuffles) keeps no counts.
void null_plot::start_counting(histogram& h) const {
    h.counting = true;
    if (!std::isfinite(h.lo) || !std::isfinite(h.hi)) return;
    if (h.hi == h.lo) h.hi = h.lo + 1;
    const double span = h.hi - h.lo;
    h.lo -= span * 0.02;
    h.hi += span * 0.02;
    h.counts.assign(bins, 0);
}

void null_plot::count(std::span<const double> values) {
    for (std::size_t i = 0; i < histograms_.size(); ++i) {
        auto& h = histograms_[i];
        if (!h.counting) start_counting(h);
        if (h.counts.empty() || std::isnan(values[i])) continue;
        const int b =
            std::clamp(static_cast<int>((values[i] - h.lo) / (h.hi - h.lo) * bins), 0, bins - 1);
        ++h.counts[static_cast<std::size_t>(b)];
    }
}

std::string null_plot::svg_head(std::size_t statistics) {
    const double height = panel_height * static_cast<double>(statistics);
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
           coordinate(panel_width) + "\" height=\"" + coordinate(height) + "\" viewBox=\"0 0 " +
           coordinate(panel_width) + " " + coordinate(height) +
           "\" font-family=\"sans-serif\">\n"
           "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>\n";
}

std::string null_plot::svg_body(std::span<const statistic> statistics,
                                std::span<const statistic_summary> summaries) const {
    std::string svg;
    for (std::size_t i = 0; i < statistics.size(); ++i) {
        const auto& h = histograms_[i];
        const bool drawn = summaries[i].reshuffles > 0 && !h.counts.empty();
        panel(svg, panel_height * static_cast<double>(i), statistics[i], summaries[i], h.lo, h.hi,
              drawn ? std::span<const std::int64_t>(h.counts) : std::span<const std::int64_t>());
    }
    svg += "</svg>\n";
    return svg;
}

} // namespace phylo::permutation
