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

void null_accumulator::add(double value, double weight) {
    if (count_ == 0) shift_ = value;
    const double d = value - shift_;
    const bool above = at_least_observed(value, observed_);
    ++count_;
    at_least_ += above ? 1 : 0;
    if (!exact_) {
        sum_ += d;
        squares_ += d * d;
        return;
    }
    sum_ += weight * d;
    squares_ += weight * d * d;
    weight_ += weight;
    if (above) weight_above_ += weight;
}

statistic_summary null_accumulator::summary() const {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    statistic_summary s{observed_, nan, nan, count_, std::nullopt, nan};
    if (std::isnan(observed_)) return s;
    if (exact_) {
        if (weight_ > 0) {
            s.null_mean = shift_ + sum_ / weight_;
            s.null_sd = std::sqrt(std::max(0.0, squares_ - sum_ * sum_ / weight_) / weight_);
            s.p_value = weight_above_ / weight_;
        }
        s.at_least = at_least_;
        return s;
    }
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

namespace {

constexpr std::string_view report_head =
    "statistic\tobserved\tnull_mean\tnull_sd\treshuffles\tat_least\tp_value\tfixed\tpermuted"
    "\tstrata\ttaxa\tseed";

std::string_view method_name(test_method method) {
    return method == test_method::exact ? "exact" : "monte_carlo";
}

// The line of one statistic up to the seed, without its line feed.
void append_line(std::string& text, statistic s, const statistic_summary& summary,
                 const report_tags& tags) {
    text.append(name_of(s)).push_back('\t');
    for (const double x : {summary.observed, summary.null_mean, summary.null_sd})
        text.append(format_number(x)).push_back('\t');
    text.append(std::to_string(summary.reshuffles)).push_back('\t');
    text.append(summary.at_least ? std::to_string(*summary.at_least) : "NaN").push_back('\t');
    text.append(format_number(summary.p_value)).push_back('\t');
    text.append(textutils::table_field(tags.fixed)).push_back('\t');
    text.append(textutils::table_field(tags.permuted)).push_back('\t');
    text.append(textutils::table_field(tags.strata)).push_back('\t');
    text.append(std::to_string(tags.taxa)).push_back('\t');
    text.append(std::to_string(tags.seed));
}

} // namespace

std::string null_table_header_of(bool pairwise, test_method method) {
    std::string head = pairwise ? "group_a\tgroup_b\t" : "";
    head.append("reshuffle\tstatistic\tvalue");
    return head.append(method == test_method::exact ? "\tweight\n" : "\n");
}

std::vector<double> p_adjust(std::span<const double> p, p_adjustment method) {
    std::vector<double> result(p.begin(), p.end());
    std::vector<std::size_t> order; // the p-values that are numbers, ascending (Holm) or not
    for (std::size_t i = 0; i < p.size(); ++i)
        if (!std::isnan(p[i])) order.push_back(i);
    const auto n = static_cast<double>(order.size());
    if (method == p_adjustment::holm) {
        std::stable_sort(order.begin(), order.end(), [&](auto a, auto b) { return p[a] < p[b]; });
        double most = -std::numeric_limits<double>::infinity();
        for (std::size_t i = 0; i < order.size(); ++i) {
            most = std::max(most, (n - static_cast<double>(i)) * p[order[i]]);
            result[order[i]] = std::min(1.0, most);
        }
    } else {
        std::stable_sort(order.begin(), order.end(), [&](auto a, auto b) { return p[a] > p[b]; });
        double least = std::numeric_limits<double>::infinity();
        for (std::size_t i = 0; i < order.size(); ++i) {
            least = std::min(least, n / (n - static_cast<double>(i)) * p[order[i]]);
            result[order[i]] = std::min(1.0, least);
        }
    }
    return result;
}

std::string report_text(std::span<const statistic> statistics,
                        std::span<const statistic_summary> summaries, const report_tags& tags) {
    std::string text(report_head);
    text.push_back('\n');
    for (std::size_t i = 0; i < statistics.size(); ++i) {
        append_line(text, statistics[i], summaries[i], tags);
        text.push_back('\n');
    }
    return text;
}

std::string report_text(std::span<const statistic> statistics,
                        std::span<const statistic_summary> summaries, const report_tags& tags,
                        test_method method) {
    std::string text(report_head);
    text.append("\tmethod\n");
    for (std::size_t i = 0; i < statistics.size(); ++i) {
        append_line(text, statistics[i], summaries[i], tags);
        text.append("\t").append(method_name(method)).push_back('\n');
    }
    return text;
}

std::string pairwise_report_text(std::span<const statistic> statistics,
                                 std::span<const pair_summary> pairs, test_method method) {
    // adjusted[i][j]: statistic i of pair j.
    std::vector<std::vector<double>> holm, bh;
    for (std::size_t i = 0; i < statistics.size(); ++i) {
        std::vector<double> p;
        for (const auto& pair : pairs) p.push_back(pair.summaries[i].p_value);
        holm.push_back(p_adjust(p, p_adjustment::holm));
        bh.push_back(p_adjust(p, p_adjustment::bh));
    }
    std::string text(report_head);
    text.append("\tgroup_a\tgroup_b\tp_holm\tp_bh\tmethod\n");
    for (std::size_t j = 0; j < pairs.size(); ++j)
        for (std::size_t i = 0; i < statistics.size(); ++i) {
            append_line(text, statistics[i], pairs[j].summaries[i], pairs[j].tags);
            text.append("\t").append(textutils::table_field(pairs[j].group_a));
            text.append("\t").append(textutils::table_field(pairs[j].group_b));
            text.append("\t").append(format_number(holm[i][j]));
            text.append("\t").append(format_number(bh[i][j]));
            text.append("\t").append(method_name(method)).push_back('\n');
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
