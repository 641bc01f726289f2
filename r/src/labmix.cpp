// The R package's entry points: the permutation tests, the comparison of two partitions and
// the reading of a distance matrix, on the phylo library. The R functions (R/labmix.R) check
// and code their arguments; these take group codes 0 .. g - 1 numbered by first appearance, as
// labmix numbers a table's labels, so that a seed gives the same reshuffles and the same
// report as the command line.

#include <Rcpp.h>

#include <R_ext/Rdynload.h>

#include <phylo/distance/matrix_file.hpp>
#include <phylo/permutation/contingency_family.hpp>
#include <phylo/permutation/distance_family.hpp>
#include <phylo/permutation/engine.hpp>
#include <phylo/permutation/report.hpp>
#include <phylo/permutation/statistics.hpp>
#include <phylo/taxonomy/comparison.hpp>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_set>
#include <vector>

namespace {

namespace permutation = phylo::permutation;
using permutation::statistic;

// Group codes as the library takes them; none for an empty vector (no strata).
phylo::count_array codes_of(const Rcpp::IntegerVector& codes) {
    if (codes.size() == 0) return phylo::count_array();
    return phylo::count_array(0, std::vector<phylo::count_element>(codes.begin(), codes.end()));
}

// Whether `m` plainly holds distances of the taxa `labels`: every value finite and not below 0,
// the matrix exactly symmetric with a zero diagonal, the labels unique. A matrix that is not is
// handed to the library's check, which accepts what rounding explains and otherwise names the
// first fault; the check of every pair by itself costs more than a test of 999 reshuffles.
bool plainly_distances(const phylo::real_matrix& m, const phylo::taxon_labels& labels) {
    const auto n = static_cast<std::size_t>(labels.length());
    const double* x = m.data();
    for (std::size_t i = 0; i < n; ++i) {
        if (x[i * n + i] != 0) return false;
        for (std::size_t j = i + 1; j < n; ++j) {
            const double v = x[i * n + j];
            if (!(v >= 0 && v <= std::numeric_limits<double>::max()) || v != x[j * n + i])
                return false;
        }
    }
    std::unordered_set<std::string_view> seen;
    for (const auto& label : labels.span())
        if (!seen.insert(label).second) return false;
    return true;
}

// The distances that R holds in `values` (a dist object, its lower triangle by columns, or a
// square matrix by columns) between the taxa `labels`, checked as labmix checks a matrix file
// (messages name the matrix `name`), with the rows and columns `rows` (from 0) kept in that
// order.
phylo::real_matrix distances_of(SEXP values, SEXP labels, const std::string& name, SEXP rows) {
    const Rcpp::CharacterVector given(labels);
    const Rcpp::IntegerVector kept(rows);
    const auto n = static_cast<std::size_t>(given.size());
    const auto size = static_cast<phylo::index_type>(n);
    phylo::taxon_labels taxa(0, size - 1);
    for (std::size_t i = 0; i < n; ++i) taxa.data()[i] = Rcpp::as<std::string>(given[i]);
    phylo::real_matrix m(0, size - 1, 0, size - 1);
    double* out = m.data();
    const Rcpp::NumericVector x(values);
    const bool triangle = Rf_inherits(values, "dist");
    if (static_cast<std::size_t>(x.size()) != (triangle ? n * (n - 1) / 2 : n * n))
        throw std::invalid_argument(name + " holds " + std::to_string(x.size()) +
                                    " values, which are not the distances of its " +
                                    std::to_string(n) + " labels");
    if (triangle) {
        // Entry (i, j), i > j, of the lower triangle is at n j - j (j + 1) / 2 + i - j - 1.
        for (std::size_t j = 0; j < n; ++j) {
            out[j * n + j] = 0;
            for (std::size_t i = j + 1; i < n; ++i)
                out[i * n + j] = out[j * n + i] = x[n * j - j * (j + 1) / 2 + i - j - 1];
        }
    } else {
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t j = 0; j < n; ++j) out[i * n + j] = x[j * n + i];
    }
    if (!plainly_distances(m, taxa))
        phylo::distance::check_matrix(phylo::squared(std::move(taxa), m), name);
    bool all = kept.size() == static_cast<R_xlen_t>(n);
    for (R_xlen_t i = 0; all && i < kept.size(); ++i) all = kept[i] == i;
    if (all) return m;
    const auto k = static_cast<phylo::index_type>(kept.size());
    phylo::real_matrix result(0, k - 1, 0, k - 1);
    double* to = result.data();
    for (const int i : kept)
        for (const int j : kept) *to++ = out[static_cast<std::size_t>(i) * n + j];
    return result;
}

// The statistics named by `list` ("chi2,ari"), all of the family `wanted`; the message says
// what the function tests otherwise.
std::vector<statistic> statistics_of(const std::string& list, permutation::family wanted,
                                     const std::string& function) {
    std::vector<statistic> statistics;
    try {
        statistics = permutation::parse_statistics(list);
    } catch (const permutation::statistics_error& e) {
        throw std::invalid_argument(std::string("statistics ") + e.what());
    }
    const auto given = permutation::family_of(statistics.front());
    if (given != wanted)
        throw std::invalid_argument(
            "statistics: " + std::string(permutation::name_of(statistics.front())) +
            " is a statistic of " + std::string(permutation::data_of(given)) + ", but " + function +
            " tests " + std::string(permutation::data_of(wanted)));
    return statistics;
}

// As labmix: a seed below 2^31 from the clock when none is given.
std::uint64_t seed_from_clock() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
    return static_cast<std::uint64_t>(ns) % 2147483648u;
}

// As labmix: as many threads as asked, no more than the cores (all of them when not asked).
unsigned thread_count(int asked) {
    const unsigned cores = std::thread::hardware_concurrency();
    if (asked <= 0) return std::max(1u, cores);
    const auto wanted = static_cast<unsigned>(asked);
    return cores == 0 ? wanted : std::min(wanted, cores);
}

// Draws the reshuffles of `test` and folds them, in reshuffle order, into the report's numbers
// (an undefined test draws nothing: its numbers are NaN, as labmix reports them).
// `seed` is NA for a seed from the clock; `threads` 0 for every core. The interrupt check runs
// on this thread, between reshuffles, so that a long test can be stopped from R.
Rcpp::DataFrame run(const permutation::null_family& test, const std::vector<statistic>& statistics,
                    const std::vector<double>& observed, int reshuffles, double seed_given,
                    int threads) {
    const std::uint64_t seed = Rcpp::NumericVector::is_na(seed_given)
                                   ? seed_from_clock()
                                   : static_cast<std::uint64_t>(seed_given);
    std::vector<permutation::null_accumulator> sums(observed.begin(), observed.end());
    permutation::for_each_null(test, seed, 1, reshuffles, thread_count(threads),
                               [&sums](std::int64_t k, std::span<const double> v) {
                                   if (k % 1024 == 0) Rcpp::checkUserInterrupt();
                                   for (std::size_t i = 0; i < v.size(); ++i) sums[i].add(v[i]);
                               });
    const auto n = static_cast<R_xlen_t>(statistics.size());
    Rcpp::CharacterVector names(n);
    Rcpp::NumericVector observed_r(n), mean(n), sd(n), p(n), seeds(n);
    Rcpp::IntegerVector count(n), at_least(n);
    for (R_xlen_t i = 0; i < n; ++i) {
        const auto s = sums[static_cast<std::size_t>(i)].summary();
        names[i] = std::string(permutation::name_of(statistics[static_cast<std::size_t>(i)]));
        observed_r[i] = s.observed;
        mean[i] = s.null_mean;
        sd[i] = s.null_sd;
        count[i] = static_cast<int>(s.reshuffles);
        at_least[i] = s.at_least ? static_cast<int>(*s.at_least) : NA_INTEGER;
        p[i] = s.p_value;
        seeds[i] = static_cast<double>(seed);
    }
    return Rcpp::DataFrame::create(
        Rcpp::Named("statistic") = names, Rcpp::Named("observed") = observed_r,
        Rcpp::Named("null_mean") = mean, Rcpp::Named("null_sd") = sd,
        Rcpp::Named("reshuffles") = count, Rcpp::Named("at_least") = at_least,
        Rcpp::Named("p_value") = p, Rcpp::Named("seed") = seeds,
        Rcpp::Named("stringsAsFactors") = false);
}

SEXP contingency(SEXP fixed, SEXP permuted, SEXP strata, SEXP statistics, SEXP reshuffles,
                 SEXP seed, SEXP threads) {
    BEGIN_RCPP
    auto asked = statistics_of(Rcpp::as<std::string>(statistics), permutation::family::contingency,
                               "perm_test");
    permutation::contingency_columns columns{codes_of(Rcpp::IntegerVector(fixed)),
                                             codes_of(Rcpp::IntegerVector(permuted)),
                                             codes_of(Rcpp::IntegerVector(strata))};
    const permutation::contingency_test test(std::move(columns), asked);
    return run(test, asked, test.observed(), Rcpp::as<int>(reshuffles), Rcpp::as<double>(seed),
               Rcpp::as<int>(threads));
    END_RCPP
}

SEXP groups(SEXP d, SEXP labels, SEXP rows, SEXP groups, SEXP strata, SEXP statistics,
            SEXP reshuffles, SEXP seed, SEXP threads) {
    BEGIN_RCPP
    auto asked = statistics_of(Rcpp::as<std::string>(statistics), permutation::family::groups,
                               "distance_test");
    const permutation::groups_test test(distances_of(d, labels, "d", rows),
                                        codes_of(Rcpp::IntegerVector(groups)),
                                        codes_of(Rcpp::IntegerVector(strata)), asked);
    return run(test, asked, test.observed(), Rcpp::as<int>(reshuffles), Rcpp::as<double>(seed),
               Rcpp::as<int>(threads));
    END_RCPP
}

SEXP mantel(SEXP a, SEXP a_labels, SEXP a_rows, SEXP b, SEXP b_labels, SEXP b_rows, SEXP strata,
            SEXP statistics, SEXP reshuffles, SEXP seed, SEXP threads) {
    BEGIN_RCPP
    auto asked = statistics_of(Rcpp::as<std::string>(statistics), permutation::family::mantel,
                               "mantel_test");
    const permutation::mantel_test test(distances_of(a, a_labels, "a", a_rows),
                                        distances_of(b, b_labels, "b", b_rows),
                                        codes_of(Rcpp::IntegerVector(strata)), asked);
    return run(test, asked, test.observed(), Rcpp::as<int>(reshuffles), Rcpp::as<double>(seed),
               Rcpp::as<int>(threads));
    END_RCPP
}

SEXP read_distances(SEXP path, SEXP format) {
    BEGIN_RCPP
    using phylo::distance::matrix_layout;
    const auto file = Rcpp::as<std::string>(path);
    const auto layout_name = Rcpp::as<std::string>(format);
    matrix_layout layout = matrix_layout::AUTOMATIC;
    if (layout_name == "phylip")
        layout = matrix_layout::PHYLIP;
    else if (layout_name == "relaxed-phylip")
        layout = matrix_layout::EXTENDED_PHYLIP;
    else if (layout_name == "tab")
        layout = matrix_layout::TAB_SEPARATED;
    else if (layout_name == "nexus")
        layout = matrix_layout::NEXUS;
    const phylo::squared d = phylo::distance::read_matrix(file, layout);
    phylo::distance::check_matrix(d, file);
    const auto n = static_cast<int>(d.labels.length());
    Rcpp::NumericMatrix m(n, n);
    Rcpp::CharacterVector labels(n);
    const double* values = d.matrix.data();
    for (int i = 0; i < n; ++i) {
        labels[i] = d.labels.data()[i];
        for (int j = 0; j < n; ++j) m(i, j) = values[static_cast<std::size_t>(i) * n + j];
    }
    return Rcpp::List::create(Rcpp::Named("matrix") = m, Rcpp::Named("labels") = labels);
    END_RCPP
}

SEXP compare(SEXP a, SEXP b) {
    BEGIN_RCPP
    const auto r = phylo::taxonomy::compare(codes_of(Rcpp::IntegerVector(a)),
                                            codes_of(Rcpp::IntegerVector(b)));
    Rcpp::NumericVector result = {r.rand,    r.adjusted_rand, r.mutual_information,
                                  r.nmi,     r.nmi_geometric, r.nmi_min,
                                  r.nmi_max, r.ami,           r.variation_of_information};
    result.names() = Rcpp::CharacterVector{"rand",    "adjusted_rand", "mutual_information",
                                           "nmi",     "nmi_geometric", "nmi_min",
                                           "nmi_max", "ami",           "variation_of_information"};
    return result;
    END_RCPP
}

const R_CallMethodDef entry_points[] = {
    {"labmix_contingency", reinterpret_cast<DL_FUNC>(&contingency), 7},
    {"labmix_groups", reinterpret_cast<DL_FUNC>(&groups), 9},
    {"labmix_mantel", reinterpret_cast<DL_FUNC>(&mantel), 11},
    {"labmix_read_distances", reinterpret_cast<DL_FUNC>(&read_distances), 2},
    {"labmix_compare", reinterpret_cast<DL_FUNC>(&compare), 2},
    {nullptr, nullptr, 0}};

} // namespace

extern "C" void R_init_labmix(DllInfo* dll) {
    R_registerRoutines(dll, nullptr, entry_points, nullptr, nullptr);
    R_useDynamicSymbols(dll, FALSE);
    R_forceSymbols(dll, TRUE);
}
