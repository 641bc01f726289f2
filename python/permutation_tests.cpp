// The permutation tests from Python: permutation_test (two classifications), distance_test (a
// distance matrix and a classification) and mantel_test (two distance matrices), on the same
// engine and with the same numbers as labmix --test for the same data and seed.
//
// labmix numbers every column's labels in order of first appearance among the rows it tests,
// and both the way a reshuffle is drawn and the order of the strata follow those numbers; the
// labels here are numbered the same way, so that a seed gives the same reshuffles in both.

#include "python_text.hpp"

#include <phylo/distance/matrix_file.hpp>
#include <phylo/permutation/contingency_family.hpp>
#include <phylo/permutation/distance_family.hpp>
#include <phylo/permutation/engine.hpp>
#include <phylo/permutation/report.hpp>
#include <phylo/permutation/statistics.hpp>
#include <phylo/taxonomy/label_numbers.hpp>

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_set>
#include <utility>
#include <vector>

namespace phylo_python {

namespace {

namespace pm = phylo::permutation;

// A column of labels as given: each label's text (str(x) for what is not a str) and whether it
// is absent (None, NaN, pandas' NA), which is never a group of its own.
struct label_column {
    std::vector<std::string> text;
    std::vector<char> absent;
};

// Whether a label that is neither str nor int stands for no value: None, a float NaN, or
// anything not equal to itself (numpy's float32 NaN, pandas' NaT) or whose equality has no truth
// value (pandas' NA).
bool absent_value(const py::handle& x) {
    if (x.is_none()) return true;
    if (PyFloat_Check(x.ptr())) return std::isnan(PyFloat_AS_DOUBLE(x.ptr()));
    if (PyUnicode_Check(x.ptr()) || PyLong_Check(x.ptr())) return false;
    PyObject* differs = PyObject_RichCompare(x.ptr(), x.ptr(), Py_NE);
    if (differs == nullptr) {
        PyErr_Clear();
        return false;
    }
    const int truth = PyObject_IsTrue(differs);
    Py_DECREF(differs);
    if (truth < 0) PyErr_Clear();
    return truth != 0;
}

// The labels of `given` (a sequence, a numpy array or a pandas Series), called `what` in
// messages.
label_column read_labels(py::object given, const std::string& what) {
    if (!py::isinstance<py::array>(given) && py::hasattr(given, "to_numpy"))
        given = given.attr("to_numpy")(); // a pandas Series or Index
    label_column column;
    if (py::isinstance<py::array>(given)) {
        const auto array = py::reinterpret_borrow<py::array>(given);
        if (array.ndim() != 1)
            throw py::value_error(what + " must be one-dimensional, not of " +
                                  std::to_string(array.ndim()) + " dimensions");
        const char kind = array.dtype().kind();
        if (kind == 'i' || kind == 'u' || kind == 'b') {
            // Integers have no absent value; their text is what str() gives.
            const auto values =
                py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>::ensure(array);
            if (!values) throw py::value_error(what + ": integer labels must fit 64 bits");
            column.text.reserve(static_cast<std::size_t>(values.size()));
            for (py::ssize_t k = 0; k < values.size(); ++k) {
                char buffer[24];
                const auto end =
                    std::to_chars(buffer, buffer + sizeof buffer, values.data()[k]).ptr;
                column.text.emplace_back(buffer, end);
            }
            column.absent.assign(column.text.size(), 0);
            return column;
        }
        given = array.attr("tolist")();
    }
    if (py::isinstance<py::str>(given) || !py::isinstance<py::sequence>(given))
        throw py::type_error(what + " must be a sequence of labels (a list, a numpy array or a " +
                             "pandas Series), not " +
                             py::repr(py::type::of(given)).cast<std::string>());
    std::size_t k = 0;
    for (const auto item : given) {
        if (py::isinstance<py::str>(item)) {
            column.text.push_back(utf8_of(item, k));
            column.absent.push_back(0);
        } else if (absent_value(item)) {
            column.text.push_back(py::repr(item).cast<std::string>());
            column.absent.push_back(1);
        } else {
            if (!py::isinstance<py::bytes>(item) && py::hasattr(item, "__iter__"))
                throw py::type_error(what + ": label " + std::to_string(k) + " is " +
                                     py::repr(py::type::of(item)).cast<std::string>() +
                                     ", a sequence; pass one label per taxon");
            column.text.push_back(utf8_of(py::str(item), k));
            column.absent.push_back(0);
        }
        ++k;
    }
    return column;
}

// The labels that `missing=` names: absent values (None or NaN name them all) and texts.
struct missing_labels {
    bool given = false;
    bool absent = false;
    std::unordered_set<std::string> text;

    [[nodiscard]] bool names(const label_column& c, std::size_t row) const {
        return c.absent[row] != 0 ? absent : text.count(c.text[row]) > 0;
    }
};

missing_labels read_missing(const py::object& given) {
    missing_labels missing;
    if (given.is_none()) return missing;
    missing.given = true;
    // One label alone is a list of one ("NA", None, NaN), as --missing NA is.
    const bool one = py::isinstance<py::str>(given) ||
                     (!py::isinstance<py::sequence>(given) && !py::hasattr(given, "to_numpy") &&
                      !py::isinstance<py::array>(given));
    const py::object labels = one ? py::object(py::make_tuple(given)) : given;
    const label_column c = read_labels(labels, "missing");
    for (std::size_t k = 0; k < c.text.size(); ++k) {
        if (c.absent[k] != 0)
            missing.absent = true;
        else
            missing.text.insert(c.text[k]);
    }
    return missing;
}

// The rows to test: those whose labels in every column are not missing. An absent label that
// `missing` does not name is a ValueError, never a group.
std::vector<std::size_t>
kept_rows(std::span<const std::pair<const label_column*, std::string>> columns,
          const missing_labels& missing) {
    const std::size_t n = columns.front().first->text.size();
    std::vector<std::size_t> rows;
    rows.reserve(n);
    for (std::size_t r = 0; r < n; ++r) {
        bool keep = true;
        for (const auto& [c, name] : columns) {
            if (c->absent[r] != 0 && !missing.absent)
                throw py::value_error(
                    name + ": label " + std::to_string(r) + " is " + c->text[r] +
                    ", a missing value; name it in missing= (missing=[None]) to leave out the " +
                    "rows that have one");
            keep = keep && !missing.names(*c, r);
        }
        if (keep) rows.push_back(r);
    }
    return rows;
}

// Group numbers 0, 1, ... of the labels of `rows`, in order of first appearance.
phylo::count_array codes_of(const label_column& c, std::span<const std::size_t> rows) {
    if (rows.empty()) return phylo::count_array();
    phylo::taxonomy::label_numbers numbers;
    std::vector<phylo::count_element> codes;
    codes.reserve(rows.size());
    for (const auto r : rows)
        codes.push_back(static_cast<phylo::count_element>(numbers.add(c.text[r])));
    return phylo::count_array(0, std::move(codes));
}

// `c` has a label for each of the n taxa that `other` has (a column of labels or a matrix).
void check_length(const label_column& c, const std::string& name, std::size_t n,
                  const std::string& other, bool other_labels) {
    if (c.text.size() != n)
        throw py::value_error(name + " has " + std::to_string(c.text.size()) + " labels and " +
                              other + " " + std::to_string(n) + (other_labels ? "" : " taxa") +
                              "; there must be one label per taxon");
}

// The statistics named by `given` (a str such as "chi2,ari", or a sequence of names), all of
// `wanted`'s family.
std::vector<pm::statistic> statistics_of(const py::object& given, pm::family wanted,
                                         const std::string& function) {
    std::string list;
    if (py::isinstance<py::str>(given)) {
        list = given.cast<std::string>();
    } else {
        if (!py::isinstance<py::sequence>(given))
            throw py::type_error("statistics must be a sequence of names such as (\"" +
                                 std::string(pm::statistic_names.front()) + "\",), not " +
                                 py::repr(py::type::of(given)).cast<std::string>());
        bool first = true;
        for (const auto name : given) {
            if (!py::isinstance<py::str>(name))
                throw py::type_error("statistics must be names (str), not " +
                                     py::repr(name).cast<std::string>());
            if (!first) list += ',';
            list += name.cast<std::string>();
            first = false;
        }
    }
    std::vector<pm::statistic> statistics;
    try {
        statistics = pm::parse_statistics(list);
    } catch (const pm::statistics_error& e) {
        throw py::value_error("the value of statistics " + std::string(e.what()));
    }
    const auto front = statistics.front();
    if (pm::family_of(front) != wanted) {
        std::vector<std::string_view> own;
        for (std::size_t i = 0; i < pm::statistic_names.size(); ++i)
            if (pm::family_of(static_cast<pm::statistic>(i)) == wanted)
                own.push_back(pm::statistic_names[i]);
        std::string listed;
        for (std::size_t i = 0; i < own.size(); ++i)
            listed.append(i == 0 ? "" : i + 1 == own.size() ? " and " : ", ").append(own[i]);
        const auto other = pm::family_of(front);
        const char* takes = other == pm::family::contingency ? "permutation_test"
                            : other == pm::family::groups    ? "distance_test"
                                                             : "mantel_test";
        throw py::value_error(function + " does not compute " + std::string(pm::name_of(front)) +
                              ", a statistic of " + std::string(pm::data_of(other)) + " (" + takes +
                              " does); its statistics are " + listed);
    }
    return statistics;
}

// The settings every test shares, checked as labmix checks its options.
struct draw_settings {
    std::int64_t reshuffles;
    std::uint64_t seed;
    unsigned threads;
};

draw_settings settings_of(std::int64_t reshuffles, const std::optional<std::int64_t>& seed,
                          const std::optional<std::int64_t>& threads) {
    constexpr std::int64_t most = 2147483647;
    if (reshuffles < 1 || reshuffles > most)
        throw py::value_error("reshuffles must be from 1 to 2147483647 (a test needs at least 1 "
                              "reshuffle), not " +
                              std::to_string(reshuffles));
    if (seed && (*seed < 0 || *seed > most))
        throw py::value_error("seed must be from 0 to 2147483647, not " + std::to_string(*seed));
    if (threads && (*threads < 1 || *threads > most))
        throw py::value_error("threads must be at least 1, not " + std::to_string(*threads));
    draw_settings s{reshuffles, 0, 1};
    if (seed) {
        s.seed = static_cast<std::uint64_t>(*seed);
    } else {
        // As labmix seeds a test from the clock: below 2^31, so that it can be given back.
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        s.seed = static_cast<std::uint64_t>(
                     std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()) %
                 2147483648u;
    }
    // Threads beyond the cores only take turns on them, each with a workspace.
    const unsigned cores = std::thread::hardware_concurrency();
    if (!threads)
        s.threads = std::max(1u, cores);
    else
        s.threads = cores == 0 ? static_cast<unsigned>(*threads)
                               : std::min(static_cast<unsigned>(*threads), cores);
    return s;
}

// A distance matrix from a square array or a condensed vector (scipy's pdist: the upper
// triangle row by row), checked as labmix checks a matrix file; `labels` name its taxa in
// messages (their positions from 0 when none are given).
phylo::squared distances_of(const py::object& given, const std::string& name,
                            const py::object& labels) {
    const auto d = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(given);
    if (!d)
        throw py::type_error(name +
                             " must be a square array or a condensed vector of numbers, "
                             "not " +
                             py::repr(py::type::of(given)).cast<std::string>());
    std::size_t n = 0;
    if (d.ndim() == 2 && d.shape(0) == d.shape(1)) {
        n = static_cast<std::size_t>(d.shape(0));
    } else if (d.ndim() == 1) {
        const auto values = static_cast<std::size_t>(d.shape(0));
        n = static_cast<std::size_t>(std::llround((1 + std::sqrt(1 + 8.0 * values)) / 2));
        if (n * (n - 1) / 2 != values)
            throw py::value_error(name +
                                  ": a condensed vector holds n(n - 1)/2 distances for n "
                                  "taxa, and " +
                                  std::to_string(values) + " is no such number");
    } else {
        throw py::value_error(name + " must be a square two-dimensional array or a condensed "
                                     "vector (as scipy.spatial.distance.pdist gives)");
    }
    const auto last = static_cast<phylo::index_type>(n) - 1;
    phylo::squared x(0, last);
    if (d.ndim() == 2) {
        std::copy(d.data(), d.data() + d.size(), x.matrix.data());
    } else {
        double* m = x.matrix.data();
        const double* v = d.data();
        for (std::size_t i = 0; i < n; ++i) {
            m[i * n + i] = 0;
            for (std::size_t j = i + 1; j < n; ++j, ++v) m[i * n + j] = m[j * n + i] = *v;
        }
    }
    if (labels.is_none()) {
        for (std::size_t i = 0; i < n; ++i) x.labels.data()[i] = std::to_string(i);
    } else {
        const label_column c = read_labels(labels, "labels");
        check_length(c, "labels", n, name, false);
        for (std::size_t i = 0; i < n; ++i) x.labels.data()[i] = c.text[i];
    }
    phylo::distance::check_matrix(x, name);
    return x;
}

// Draws the reshuffles of a test with the GIL released and returns its report as columns, the
// null values folded in reshuffle order as labmix folds them.
py::dict report(std::unique_ptr<pm::null_family> test, const std::vector<double>& observed,
                const std::vector<pm::statistic>& statistics, const draw_settings& s,
                bool return_null) {
    const std::size_t width = statistics.size();
    std::vector<pm::null_accumulator> sums;
    for (const double x : observed) sums.emplace_back(x);
    std::optional<py::array_t<double>> null;
    double* kept = nullptr;
    if (return_null) {
        null.emplace(std::vector<py::ssize_t>{static_cast<py::ssize_t>(s.reshuffles),
                                              static_cast<py::ssize_t>(width)});
        kept = null->mutable_data();
    }
    {
        py::gil_scoped_release unlocked;
        pm::for_each_null(*test, s.seed, 1, s.reshuffles, s.threads,
                          [&](std::int64_t k, std::span<const double> v) {
                              for (std::size_t i = 0; i < width; ++i) sums[i].add(v[i]);
                              if (kept != nullptr)
                                  std::copy(v.begin(), v.end(),
                                            kept + static_cast<std::size_t>(k - 1) * width);
                          });
    }
    py::list name, observed_column, mean, sd, reshuffles, at_least, p_value, seed;
    for (std::size_t i = 0; i < width; ++i) {
        const pm::statistic_summary line = sums[i].summary();
        name.append(std::string(pm::name_of(statistics[i])));
        observed_column.append(line.observed);
        mean.append(line.null_mean);
        sd.append(line.null_sd);
        reshuffles.append(line.reshuffles);
        at_least.append(line.at_least ? py::object(py::int_(*line.at_least)) : py::none());
        p_value.append(line.p_value);
        seed.append(s.seed);
    }
    py::dict result;
    result["statistic"] = name;
    result["observed"] = observed_column;
    result["null_mean"] = mean;
    result["null_sd"] = sd;
    result["reshuffles"] = reshuffles;
    result["at_least"] = at_least;
    result["p_value"] = p_value;
    result["seed"] = seed;
    if (null) result["null"] = *null;
    return result;
}

constexpr const char* report_doc =
    "Returns the report as a dict of equal-length columns, one row per statistic, so that\n"
    "pandas.DataFrame(result) is labmix's report: statistic, observed, null_mean, null_sd\n"
    "(n - 1 divisor), reshuffles, at_least (null values at least the observed one; None where\n"
    "the statistic is undefined), p_value = (at_least + 1) / (reshuffles + 1), and seed (the one\n"
    "given, or the one taken from the clock: pass it back to repeat the test). With\n"
    "return_null=True also \"null\": the null values, a reshuffles x statistics float64 array.\n"
    "The same data and seed give the same numbers as labmix --test, bit for bit, whatever the\n"
    "threads.\n";

} // namespace

void add_permutation_tests(py::module_& m) {
    m.def(
        "permutation_test",
        [](const py::object& fixed, const py::object& permuted, const py::object& statistics,
           const py::object& strata, std::int64_t reshuffles, std::optional<std::int64_t> seed,
           std::optional<std::int64_t> threads, const py::object& missing, bool return_null) {
            const auto chosen =
                statistics_of(statistics, pm::family::contingency, "permutation_test");
            const auto s = settings_of(reshuffles, seed, threads);
            const missing_labels absent = read_missing(missing);
            const label_column a = read_labels(fixed, "fixed");
            const label_column b = read_labels(permuted, "permuted");
            check_length(b, "permuted", a.text.size(), "fixed", true);
            std::vector<std::pair<const label_column*, std::string>> columns{{&a, "fixed"},
                                                                             {&b, "permuted"}};
            std::optional<label_column> c;
            if (!strata.is_none()) {
                c = read_labels(strata, "strata");
                check_length(*c, "strata", a.text.size(), "fixed", true);
                columns.emplace_back(&*c, "strata");
            }
            const auto rows = kept_rows(columns, absent);
            if (rows.empty())
                throw py::value_error(a.text.empty() ? "there are no taxa to test"
                                                     : "every taxon has a missing label, so "
                                                       "there are no taxa to test");
            pm::contingency_columns codes{codes_of(a, rows), codes_of(b, rows),
                                          c ? codes_of(*c, rows) : phylo::count_array()};
            std::unique_ptr<pm::contingency_test> test;
            std::vector<double> observed;
            {
                py::gil_scoped_release unlocked;
                test = std::make_unique<pm::contingency_test>(std::move(codes), chosen);
                observed = test->observed();
            }
            return report(std::move(test), observed, chosen, s, return_null);
        },
        py::arg("fixed"), py::arg("permuted"), py::arg("statistics") = py::make_tuple("chi2"),
        py::arg("strata") = py::none(), py::arg("reshuffles") = 999, py::arg("seed") = py::none(),
        py::arg("threads") = py::none(), py::arg("missing") = py::none(),
        py::arg("return_null") = false,
        (std::string(
             "Tests the association of two classifications of the same taxa, as labmix --test\n"
             "does: the labels of `permuted` are reshuffled among the taxa (within the groups of\n"
             "`strata` when given) `reshuffles` times, seeded with `seed` (from the clock when\n"
             "None), on `threads` threads (default: every core).\n"
             "\n"
             "fixed, permuted, strata: one label per taxon (str or numbers: lists, numpy arrays,\n"
             "pandas Series). statistics: names of chi2, g, mi, nmi, ari, rand. None or NaN\n"
             "labels are a ValueError unless `missing` (a list of labels, None or NaN among them\n"
             "for every absent value) names them: the taxa with a missing label in any column are\n"
             "then left out, as labmix --missing leaves them out.\n"
             "\n") +
         report_doc)
            .c_str());

    m.def(
        "distance_test",
        [](const py::object& distances, const py::object& groups, const py::object& statistics,
           const py::object& strata, std::int64_t reshuffles, std::optional<std::int64_t> seed,
           std::optional<std::int64_t> threads, const py::object& missing, bool return_null,
           const py::object& labels) {
            const auto chosen = statistics_of(statistics, pm::family::groups, "distance_test");
            const auto s = settings_of(reshuffles, seed, threads);
            const missing_labels absent = read_missing(missing);
            const phylo::squared d = distances_of(distances, "distances", labels);
            const auto n = static_cast<std::size_t>(d.labels.length());
            const label_column g = read_labels(groups, "groups");
            check_length(g, "groups", n, "distances", false);
            std::vector<std::pair<const label_column*, std::string>> columns{{&g, "groups"}};
            std::optional<label_column> c;
            if (!strata.is_none()) {
                c = read_labels(strata, "strata");
                check_length(*c, "strata", n, "groups", true);
                columns.emplace_back(&*c, "strata");
            }
            const auto rows = kept_rows(columns, absent);
            if (rows.empty())
                throw py::value_error(n == 0 ? "there are no taxa to test"
                                             : "every taxon has a missing label, so there are "
                                               "no taxa to test");
            // The taxa left out leave the matrix too.
            const bool whole = rows.size() == n;
            const phylo::real_matrix part =
                whole ? phylo::real_matrix() : phylo::distance::submatrix(d.matrix, rows);
            const auto group_codes = codes_of(g, rows);
            const auto strata_codes = c ? codes_of(*c, rows) : phylo::count_array();
            std::unique_ptr<pm::groups_test> test;
            std::vector<double> observed;
            {
                py::gil_scoped_release unlocked; // ANOSIM ranks every distance
                test = std::make_unique<pm::groups_test>(whole ? d.matrix : part, group_codes,
                                                         strata_codes, chosen);
                observed = test->observed();
            }
            return report(std::move(test), observed, chosen, s, return_null);
        },
        py::arg("distances"), py::arg("groups"),
        py::arg("statistics") = py::make_tuple("permanova"), py::arg("strata") = py::none(),
        py::arg("reshuffles") = 999, py::arg("seed") = py::none(), py::arg("threads") = py::none(),
        py::arg("missing") = py::none(), py::arg("return_null") = false,
        py::arg("labels") = py::none(),
        (std::string(
             "Tests whether a classification of the taxa explains their distances, as labmix\n"
             "--test with --distances does: the groups are reshuffled among the taxa (within\n"
             "`strata`).\n"
             "\n"
             "distances: a square array, or a condensed vector as scipy.spatial.distance.pdist\n"
             "gives; it must be symmetric (within 1e-9 of the larger value), finite, not below 0,\n"
             "with a zero diagonal (phylo.Error otherwise). groups, strata: one label per taxon,\n"
             "in the matrix's order. labels: the taxa's names, for messages (else their\n"
             "positions). statistics: names of permanova, permanova_r2, anosim, permdisp,\n"
             "permdisp_centroid. missing: as for permutation_test; a taxon with a missing group\n"
             "or stratum is left out of the matrix. Other arguments as for permutation_test.\n"
             "\n") +
         report_doc)
            .c_str());

    m.def(
        "mantel_test",
        [](const py::object& a, const py::object& b, const py::object& statistics,
           const py::object& strata, std::int64_t reshuffles, std::optional<std::int64_t> seed,
           std::optional<std::int64_t> threads, bool return_null) {
            const auto chosen = statistics_of(statistics, pm::family::mantel, "mantel_test");
            const auto s = settings_of(reshuffles, seed, threads);
            const phylo::squared first = distances_of(a, "a", py::none());
            const phylo::squared second = distances_of(b, "b", py::none());
            if (first.labels.length() != second.labels.length())
                throw py::value_error("a has " + std::to_string(first.labels.length()) +
                                      " taxa and b " + std::to_string(second.labels.length()) +
                                      "; the two matrices must hold the same taxa in the same "
                                      "order");
            const auto n = static_cast<std::size_t>(first.labels.length());
            std::vector<std::size_t> rows(n);
            for (std::size_t i = 0; i < n; ++i) rows[i] = i;
            phylo::count_array strata_codes;
            if (!strata.is_none()) {
                const label_column c = read_labels(strata, "strata");
                check_length(c, "strata", n, "a", false);
                for (std::size_t r = 0; r < n; ++r)
                    if (c.absent[r] != 0)
                        throw py::value_error("strata: label " + std::to_string(r) + " is " +
                                              c.text[r] +
                                              ", a missing value; every taxon needs a stratum");
                strata_codes = codes_of(c, rows);
            }
            std::unique_ptr<pm::mantel_test> test;
            std::vector<double> observed;
            {
                py::gil_scoped_release unlocked; // Spearman's correlation ranks every distance
                test = std::make_unique<pm::mantel_test>(first.matrix, second.matrix, strata_codes,
                                                         chosen);
                observed = test->observed();
            }
            return report(std::move(test), observed, chosen, s, return_null);
        },
        py::arg("a"), py::arg("b"), py::arg("statistics") = py::make_tuple("mantel"),
        py::arg("strata") = py::none(), py::arg("reshuffles") = 999, py::arg("seed") = py::none(),
        py::arg("threads") = py::none(), py::arg("return_null") = false,
        (std::string(
             "Tests the agreement of two distance matrices of the same taxa in the same order\n"
             "(Mantel's test), as labmix --test mantel with two --distances does: b's taxa are\n"
             "reshuffled, rows and columns together (within `strata`, one label per taxon).\n"
             "a, b: square arrays or condensed vectors, checked as for distance_test. statistics:\n"
             "names of mantel (Pearson's r), mantel_spearman. Other arguments as for\n"
             "permutation_test.\n"
             "\n") +
         report_doc)
            .c_str());
}

} // namespace phylo_python
