#include <tool/test_report.hpp>

#include <charconv>
#include <cmath>
#include <limits>

namespace labmix {

std::string format_number(double x) {
    if (std::isnan(x)) return "NaN";
    if (std::isinf(x)) return x > 0 ? "Inf" : "-Inf";
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, x).ptr;
    return std::string(buffer, end);
}

std::optional<double> parse_number(std::string_view text) {
    if (text == "NaN") return std::numeric_limits<double>::quiet_NaN();
    if (text == "Inf") return std::numeric_limits<double>::infinity();
    if (text == "-Inf") return -std::numeric_limits<double>::infinity();
    double x = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), x);
    if (error != std::errc() || end != text.data() + text.size() || text.empty() ||
        !std::isfinite(x))
        return std::nullopt;
    return x;
}

bool at_least_observed(double value, double observed) {
    return value >= observed - 64 * std::numeric_limits<double>::epsilon() * std::abs(observed);
}

statistic_summary summarize(double observed, std::span<const double> values, std::size_t width,
                            std::size_t index) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    const std::size_t n = width == 0 ? 0 : values.size() / width;
    statistic_summary s{observed, nan, nan, static_cast<std::int64_t>(n), std::nullopt, nan};
    if (std::isnan(observed)) return s;
    // Offsets from the first value, so that equal values give their value and an sd of 0.
    const double shift = n > 0 ? values[index] : 0.0;
    double sum = 0;
    std::int64_t at_least = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const double v = values[k * width + index];
        sum += v - shift;
        at_least += at_least_observed(v, observed) ? 1 : 0;
    }
    if (n > 0) s.null_mean = shift + sum / static_cast<double>(n);
    if (n > 1) {
        double squares = 0;
        for (std::size_t k = 0; k < n; ++k) {
            const double d = values[k * width + index] - s.null_mean;
            squares += d * d;
        }
        s.null_sd = std::sqrt(squares / static_cast<double>(n - 1));
    }
    s.at_least = at_least;
    s.p_value = static_cast<double>(at_least + 1) / static_cast<double>(n + 1);
    return s;
}

std::string report_text(std::span<const statistic> statistics, std::span<const double> observed,
                        std::span<const double> values) {
    std::string text = "statistic\tobserved\tnull_mean\tnull_sd\treshuffles\tat_least\tp_value\n";
    for (std::size_t i = 0; i < statistics.size(); ++i) {
        const auto s = summarize(observed[i], values, statistics.size(), i);
        text.append(name_of(statistics[i])).push_back('\t');
        for (const double x : {s.observed, s.null_mean, s.null_sd})
            text.append(format_number(x)).push_back('\t');
        text.append(std::to_string(s.reshuffles)).push_back('\t');
        text.append(s.at_least ? std::to_string(*s.at_least) : "NaN").push_back('\t');
        text.append(format_number(s.p_value)).push_back('\n');
    }
    return text;
}

void write_null_values(listing_writer &out, std::span<const statistic> statistics,
                       std::span<const double> values, std::int64_t first) {
    out.put("reshuffle\tstatistic\tvalue\n");
    const std::size_t width = statistics.size();
    char buffer[64];
    for (std::size_t k = 0; width > 0 && k < values.size() / width; ++k) {
        const auto number =
            std::to_chars(buffer, buffer + sizeof buffer, first + static_cast<std::int64_t>(k)).ptr;
        for (std::size_t i = 0; i < width; ++i) {
            out.put(std::string_view(buffer, static_cast<std::size_t>(number - buffer)));
            out.put('\t');
            out.put(name_of(statistics[i]));
            out.put('\t');
            out.put(format_number(values[k * width + i]));
            out.put('\n');
        }
    }
}

} // namespace labmix
