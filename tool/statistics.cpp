#include <tool/statistics.hpp>

#include <tool/options.hpp>

#include <algorithm>

namespace labmix {

std::vector<statistic> parse_statistics(std::string_view list) {
    std::vector<statistic> result;
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = std::min(list.find(',', from), list.size());
        const std::string_view name = list.substr(from, comma - from);
        const auto known = std::find(statistic_names.begin(), statistic_names.end(), name);
        if (known == statistic_names.end())
            throw option_error("the value of option --test names " +
                               (name.empty()
                                    ? std::string("no statistic")
                                    : "an unknown statistic, \"" + std::string(name) + "\"") +
                               " (known: chi2, g, mi, nmi, ari, rand)");
        const auto s = static_cast<statistic>(known - statistic_names.begin());
        if (std::find(result.begin(), result.end(), s) != result.end())
            throw option_error("the value of option --test names " + std::string(name) + " twice");
        result.push_back(s);
        if (comma == list.size()) break;
        from = comma + 1;
    }
    return result;
}

bool possible_value(statistic s, double x) {
    constexpr double slack = 1e-6;
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
        lo = -1;
        break;
    case statistic::nmi:
    case statistic::rand:
        break;
    }
    return x >= lo - slack && x <= hi + slack; // false for NaN
}

} // namespace labmix
