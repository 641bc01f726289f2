#pragma once
// The statistics of a permutation test (--test): their names on the command line and in the
// report, and their values from the library's association measures.

#include <phylo/taxonomy/comparison.hpp>

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace labmix {

enum class statistic { chi2, g, mi, nmi, ari, rand };

inline constexpr std::array<std::string_view, 6> statistic_names{"chi2", "g",   "mi",
                                                                 "nmi",  "ari", "rand"};

[[nodiscard]] constexpr std::string_view name_of(statistic s) {
    return statistic_names[static_cast<std::size_t>(s)];
}

// The statistics of a comma-separated list such as "chi2,ari", in its order. An empty list,
// an empty item, an unknown name or a name given twice is the option_error naming it.
[[nodiscard]] std::vector<statistic> parse_statistics(std::string_view list);

// Whether `x` is a value that statistic `s` takes on some table (with room for rounding): X^2
// and G lie in [0, 2^62] for tables of up to 2^31 taxa, MI in [0, ln 2^31], NMI and the Rand
// index in [0, 1], the adjusted Rand index in [-1, 1]. Anything else, infinities and NaN
// included, was never computed by this program.
[[nodiscard]] bool possible_value(statistic s, double x);

// Statistic `s` of one table.
[[nodiscard]] constexpr double value_of(const phylo::taxonomy::association_measures& m,
                                        statistic s) {
    switch (s) {
    case statistic::chi2:
        return m.chi_square;
    case statistic::g:
        return m.g_statistic;
    case statistic::mi:
        return m.mutual_information;
    case statistic::nmi:
        return m.nmi;
    case statistic::ari:
        return m.adjusted_rand;
    case statistic::rand:
        return m.rand;
    }
    return 0.0;
}

} // namespace labmix
