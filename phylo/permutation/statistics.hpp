#pragma once
// The statistics of the permutation tests: their names (on labmix's command line, in reports,
// partial results and the bindings), the family each belongs to, and the values each can take.
//
// A family is the kind of data its statistics are computed from, and so what a reshuffle moves:
//  - contingency: two classifications of the same taxa (the table of their groups); a
//    reshuffle permutes the taxa's groups in the second;
//  - groups: a distance matrix and a classification of its taxa; a reshuffle permutes the
//    taxa's groups;
//  - mantel: two distance matrices of the same taxa; a reshuffle permutes the second's taxa.
// One test computes statistics of one family.

#include <phylo/taxonomy/comparison.hpp>

#include <array>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <generics/errors.hpp>

namespace phylo::permutation {

enum class statistic {
    chi2,
    g,
    mi,
    nmi,
    ari,
    rand,
    permanova,
    permanova_r2,
    anosim,
    permdisp,
    permdisp_centroid,
    mantel,
    mantel_spearman,
};

inline constexpr std::array<std::string_view, 13> statistic_names{"chi2",
                                                                  "g",
                                                                  "mi",
                                                                  "nmi",
                                                                  "ari",
                                                                  "rand",
                                                                  "permanova",
                                                                  "permanova_r2",
                                                                  "anosim",
                                                                  "permdisp",
                                                                  "permdisp_centroid",
                                                                  "mantel",
                                                                  "mantel_spearman"};

[[nodiscard]] constexpr std::string_view name_of(statistic s) {
    return statistic_names[static_cast<std::size_t>(s)];
}

enum class family { contingency, groups, mantel };

[[nodiscard]] constexpr family family_of(statistic s) {
    if (s <= statistic::rand) return family::contingency;
    if (s <= statistic::permdisp_centroid) return family::groups;
    return family::mantel;
}

// What the families' data are, for messages: "two classifications", "a distance matrix and a
// classification", "two distance matrices".
[[nodiscard]] std::string_view data_of(family f);

namespace error_names {
inline constexpr char statistics[] = "statistics error";
}
// A list of statistics that names none, an unknown one, one twice or two families.
using statistics_error = generics::basic_error<std::invalid_argument, error_names::statistics>;

// The statistics of a comma-separated list such as "chi2,ari", in its order. An empty list, an
// empty item, an unknown name, a name given twice, or statistics of two families is the
// statistics_error, whose message continues "names ..." (the caller says what names them), as
// in "names an unknown statistic, \"x\" (known: chi2, ...)".
[[nodiscard]] std::vector<statistic> parse_statistics(std::string_view list);

// Whether `x` is a value that statistic `s` takes on some data (with room for rounding): X^2
// and G lie in [0, 2^62] for tables of up to 2^31 taxa, MI in [0, ln 2^31], NMI and the Rand
// index in [0, 1], the adjusted Rand index, ANOSIM's R and the correlations in [-1, 1],
// PERMANOVA's R^2 in [0, 1], the pseudo-F and PERMDISP's F in [0, infinity] (a grouping whose
// groups have no spread within gives infinity). Anything else, NaN included, was never computed
// by this library.
[[nodiscard]] bool possible_value(statistic s, double x);

// Statistic `s` (of the contingency family) of one table.
[[nodiscard]] constexpr double value_of(const taxonomy::association_measures& m, statistic s) {
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
    default:
        return 0.0;
    }
}

} // namespace phylo::permutation
