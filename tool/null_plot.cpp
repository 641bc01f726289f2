#include <tool/null_plot.hpp>

#include <tool/test_report.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

namespace labmix {

namespace {

constexpr double panel_width = 640;
constexpr double panel_height = 260;
constexpr double left = 60, right = 20, top = 40, bottom = 40;
constexpr int bins = 40;

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

void panel(std::string& svg, double y0, statistic s, double observed,
           std::span<const double> values, std::size_t width, std::size_t index) {
    const std::size_t n = width == 0 ? 0 : values.size() / width;
    const auto summary = summarize(observed, values, width, index);
    const double plot_w = panel_width - left - right;
    const double plot_h = panel_height - top - bottom;
    svg += "<g>\n<text x=\"" + coordinate(left) + "\" y=\"" + coordinate(y0 + 24) +
           "\" font-size=\"15\">" + std::string(name_of(s)) + ": observed " + label(observed) +
           ", p = " + label(summary.p_value) + " (" + std::to_string(n) + " reshuffles)</text>\n";
    svg += "<rect x=\"" + coordinate(left) + "\" y=\"" + coordinate(y0 + top) + "\" width=\"" +
           coordinate(plot_w) + "\" height=\"" + coordinate(plot_h) +
           "\" fill=\"none\" stroke=\"#888\"/>\n";
    double lo = observed, hi = observed;
    for (std::size_t k = 0; k < n; ++k) {
        lo = std::min(lo, values[k * width + index]);
        hi = std::max(hi, values[k * width + index]);
    }
    if (!std::isfinite(lo) || !std::isfinite(hi) || n == 0) {
        svg += "<text x=\"" + coordinate(left + 10) + "\" y=\"" + coordinate(y0 + top + 30) +
               "\" font-size=\"13\">undefined on this input</text>\n</g>\n";
        return;
    }
    if (hi == lo) hi = lo + 1;
    const double span = hi - lo;
    lo -= span * 0.02;
    hi += span * 0.02;
    std::vector<std::int64_t> counts(bins, 0);
    for (std::size_t k = 0; k < n; ++k) {
        const double v = values[k * width + index];
        const int b = std::clamp(static_cast<int>((v - lo) / (hi - lo) * bins), 0, bins - 1);
        ++counts[static_cast<std::size_t>(b)];
    }
    const double tallest = static_cast<double>(*std::max_element(counts.begin(), counts.end()));
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

std::string null_plot_svg(std::span<const statistic> statistics, std::span<const double> observed,
                          std::span<const double> values) {
    const double height = panel_height * static_cast<double>(statistics.size());
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                      coordinate(panel_width) + "\" height=\"" + coordinate(height) +
                      "\" viewBox=\"0 0 " + coordinate(panel_width) + " " + coordinate(height) +
                      "\" font-family=\"sans-serif\">\n"
                      "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>\n";
    for (std::size_t i = 0; i < statistics.size(); ++i)
        panel(svg, panel_height * static_cast<double>(i), statistics[i], observed[i], values,
              statistics.size(), i);
    svg += "</svg>\n";
    return svg;
}

} // namespace labmix
