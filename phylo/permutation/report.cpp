#include <phylo/permutation/report.hpp>

#include <textutils/string_edit.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

namespace phylo::permutation {

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
    // (An infinite observed value is reached only by an infinite one: the margin would be NaN.)
    return value >= observed ||
           value >= observed - 64 * std::numeric_limits<double>::epsilon() * std::abs(observed);
}

void null_accumulator::add(double value) {
    if (count_ == 0) shift_ = value;
    const double d = value - shift_;
    sum_ += d;
    squares_ += d * d;
    ++count_;
    at_least_ += at_least_observed(value, observed_) ? 1 : 0;
}

statistic_summary null_accumulator::summary() const {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    statistic_summary s{observed_, nan, nan, count_, std::nullopt, nan};
    if (std::isnan(observed_)) return s;
    const auto n = static_cast<double>(count_);
    if (count_ > 0) s.null_mean = shift_ + sum_ / n;
    if (count_ > 1) s.null_sd = std::sqrt(std::max(0.0, squares_ - sum_ * sum_ / n) / (n - 1));
    s.at_least = at_least_;
    s.p_value = static_cast<double>(at_least_ + 1) / (n + 1);
    return s;
}

statistic_summary summarize(double observed, std::span<const double> values, std::size_t width,
                            std::size_t index) {
    null_accumulator a(observed);
    for (std::size_t k = 0; width > 0 && k < values.size() / width; ++k)
        a.add(values[k * width + index]);
    return a.summary();
}

std::string tag_name(std::string_view name) {
    std::string field(name);
    std::replace_if(
        field.begin(), field.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; },
        ' ');
    return field;
}

std::string report_text(std::span<const statistic> statistics,
                        std::span<const statistic_summary> summaries, const report_tags& tags) {
    std::string text = "statistic\tobserved\tnull_mean\tnull_sd\treshuffles\tat_least\tp_value"
                       "\tfixed\tpermuted\tstrata\ttaxa\tseed\n";
    const std::string tagged = "\t" + textutils::table_field(tags.fixed) + "\t" +
                               textutils::table_field(tags.permuted) + "\t" +
                               textutils::table_field(tags.strata) + "\t" +
                               std::to_string(tags.taxa) + "\t" + std::to_string(tags.seed) + "\n";
    for (std::size_t i = 0; i < statistics.size(); ++i) {
        const auto& s = summaries[i];
        text.append(name_of(statistics[i])).push_back('\t');
        for (const double x : {s.observed, s.null_mean, s.null_sd})
            text.append(format_number(x)).push_back('\t');
        text.append(std::to_string(s.reshuffles)).push_back('\t');
        text.append(s.at_least ? std::to_string(*s.at_least) : "NaN").push_back('\t');
        text.append(format_number(s.p_value)).append(tagged);
    }
    return text;
}

std::string report_text(std::span<const statistic> statistics, std::span<const double> observed,
                        std::span<const double> values, const report_tags& tags) {
    std::vector<statistic_summary> summaries;
    for (std::size_t i = 0; i < statistics.size(); ++i)
        summaries.push_back(summarize(observed[i], values, statistics.size(), i));
    return report_text(statistics, summaries, tags);
}

} // namespace phylo::permutation
