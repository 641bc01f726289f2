#include <phylo/permutation/statistics.hpp>

#include <algorithm>
#include <cmath>

namespace phylo::permutation {

std::string_view data_of(family f) {
    switch (f) {
    case family::contingency:
        return "two classifications";
    case family::groups:
        return "a distance matrix and a classification";
    case family::mantel:
        return "two distance matrices";
    }
    return "";
}

std::vector<statistic> parse_statistics(std::string_view list) {
    std::vector<statistic> result;
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = std::min(list.find(',', from), list.size());
        const std::string_view name = list.substr(from, comma - from);
        const auto known = std::find(statistic_names.begin(), statistic_names.end(), name);
        if (known == statistic_names.end()) {
            std::string all;
            for (const auto n : statistic_names) all.append(all.empty() ? "" : ", ").append(n);
            throw statistics_error("names " +
                                   (name.empty()
                                        ? std::string("no statistic")
                                        : "an unknown statistic, \"" + std::string(name) + "\"") +
                                   " (known: " + all + ")");
        }
        const auto s = static_cast<statistic>(known - statistic_names.begin());
        if (std::find(result.begin(), result.end(), s) != result.end())
            throw statistics_error("names " + std::string(name) + " twice");
        if (!result.empty() && family_of(s) != family_of(result.front()))
            throw statistics_error(
                "names statistics of two kinds of data: " + std::string(name_of(result.front())) +
                " is of " + std::string(data_of(family_of(result.front()))) + ", " +
                std::string(name) + " of " + std::string(data_of(family_of(s))));
        result.push_back(s);
        if (comma == list.size()) break;
        from = comma + 1;
    }
    return result;
}

bool possible_value(statistic s, double x) {
    constexpr double slack = 1e-6;
    constexpr double infinity = HUGE_VAL;
    double lo = 0, hi = 1;
    switch (s) {
    case statistic::chi2:
    case statistic::g:
        hi = 0x1p62;
        break;
    case statistic::mi:
        hi = 21.5; // ln 2^31 = 21.49
        break;
    case statistic::ari:
    case statistic::anosim:
    case statistic::mantel:
    case statistic::mantel_spearman:
        lo = -1;
        break;
    case statistic::permanova:
    case statistic::permdisp:
    case statistic::permdisp_centroid:
        hi = infinity;
        break;
    case statistic::nmi:
    case statistic::rand:
    case statistic::permanova_r2:
        break;
    }
    return x >= lo - slack && x <= hi + slack; // false for NaN
}

} // namespace phylo::permutation
