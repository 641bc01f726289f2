// The Python module `phylo`: partition comparison, permutation tests (permutation_tests.cpp),
// single linkage, character matrix and distance files.
//
//     >>> import phylo
//     >>> phylo.compare(["a", "a", "b"], ["x", "y", "y"])["adjusted_rand"]
//
// Library errors are raised as phylo.Error (a ValueError) with the library's message; a file
// that cannot be opened is an OSError naming it.

#include "python_text.hpp"

#include <phylo/distance/matrix_file.hpp>
#include <phylo/nexus.hpp>
#include <phylo/print.hpp>
#include <phylo/read.hpp>
#include <phylo/taxonomy/comparison.hpp>
#include <phylo/taxonomy/group_numbers.hpp>
#include <phylo/taxonomy/single_linkage.hpp>

#include <generics/errors.hpp>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <limits>
#include <numeric>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace py = pybind11;
using namespace phylo;
using phylo_python::utf8_of;

namespace {

// Labels over taxa 0 .. n - 1 from a sequence: of str, or with `any` of any objects but
// sequences, each compared as str(x). A list or tuple among the labels is a mistake (two
// columns passed as one, say), not a label: TypeError.
taxon_labels to_labels(const py::handle& labels, bool any) {
    if (!any && (py::isinstance<py::str>(labels) || !py::isinstance<py::sequence>(labels)))
        throw py::type_error("the labels and rows must be sequences of str, not " +
                             py::repr(py::type::of(labels)).cast<std::string>());
    const auto sequence = py::reinterpret_borrow<py::sequence>(labels);
    taxon_labels names(0, static_cast<index_type>(py::len(sequence)) - 1);
    index_type k = 0;
    for (const auto item : sequence) {
        const auto at = static_cast<std::size_t>(k);
        if (py::isinstance<py::str>(item)) {
            names.unchecked(k++) = utf8_of(item, at);
            continue;
        }
        if (!any)
            throw py::type_error("label " + std::to_string(at) + " is " +
                                 py::repr(item).cast<std::string>() + ", not a str");
        if (!py::isinstance<py::bytes>(item) && py::hasattr(item, "__iter__"))
            throw py::type_error("label " + std::to_string(at) + " is " +
                                 py::repr(py::type::of(item)).cast<std::string>() +
                                 ", a sequence; pass one label per taxon");
        names.unchecked(k++) = utf8_of(py::str(item), at);
    }
    return names;
}

// A partition from any sequence of labels (compared as str); one-dimensional numpy integer
// arrays are compared where they lie (compare_in_place).
count_array to_partition(const py::handle& labels) {
    if (py::isinstance<py::array>(labels) && py::reinterpret_borrow<py::array>(labels).ndim() != 1)
        throw py::value_error("labels must be a one-dimensional array");
    return taxonomy::group_numbers(to_labels(labels, true));
}

// Two one-dimensional numpy integer arrays compared where they lie: both int32 or both int64
// as they are (a copy only of an array that is not contiguous), other integer types as int64.
// Nothing for anything else.
std::optional<taxonomy::partition_comparison> compare_in_place(const py::handle& first,
                                                               const py::handle& second) {
    const auto integers = [](const py::handle& x) {
        if (!py::isinstance<py::array>(x)) return false;
        const auto a = py::reinterpret_borrow<py::array>(x);
        const char kind = a.dtype().kind();
        return a.ndim() == 1 && (kind == 'i' || kind == 'u' || kind == 'b');
    };
    if (!integers(first) || !integers(second)) return std::nullopt;
    const auto compare_as = [&](auto element) -> taxonomy::partition_comparison {
        using T = decltype(element);
        const auto a = py::array_t<T, py::array::c_style | py::array::forcecast>::ensure(first);
        const auto b = py::array_t<T, py::array::c_style | py::array::forcecast>::ensure(second);
        if (!a || !b) throw py::value_error("integer labels must fit 64 bits");
        const std::span<const T> x(a.data(), static_cast<std::size_t>(a.size()));
        const std::span<const T> y(b.data(), static_cast<std::size_t>(b.size()));
        py::gil_scoped_release unlocked; // a and b hold the arrays meanwhile
        return taxonomy::compare(x, y);
    };
    if (py::isinstance<py::array_t<std::int32_t>>(first) &&
        py::isinstance<py::array_t<std::int32_t>>(second))
        return compare_as(std::int32_t{});
    return compare_as(std::int64_t{});
}

py::dict as_dict(const taxonomy::partition_comparison& r) {
    py::dict d;
    d["taxa"] = r.taxa;
    d["first_groups"] = r.first_groups;
    d["second_groups"] = r.second_groups;
    d["cells"] = r.cells;
    d["first_pairs"] = r.first_pairs;
    d["second_pairs"] = r.second_pairs;
    d["joint_pairs"] = r.joint_pairs;
    d["first_entropy"] = r.first_entropy;
    d["second_entropy"] = r.second_entropy;
    d["joint_entropy"] = r.joint_entropy;
    d["mutual_information"] = r.mutual_information;
    d["nmi"] = r.nmi;
    d["nmi_geometric"] = r.nmi_geometric;
    d["nmi_min"] = r.nmi_min;
    d["nmi_max"] = r.nmi_max;
    d["expected_mutual_information"] = r.expected_mutual_information;
    d["ami"] = r.ami;
    d["variation_of_information"] = r.variation_of_information;
    d["mi_over_joint_entropy"] = r.mi_over_joint_entropy;
    d["rand"] = r.rand;
    d["adjusted_rand"] = r.adjusted_rand;
    d["chi_square"] = r.chi_square;
    d["g_statistic"] = r.g_statistic;
    return d;
}

// A square matrix of distances over taxa 0 .. n - 1.
real_matrix to_matrix(const py::array_t<double, py::array::c_style | py::array::forcecast>& d) {
    if (d.ndim() != 2 || d.shape(0) != d.shape(1))
        throw py::value_error("the distances must be a square two-dimensional array");
    const auto n = static_cast<index_type>(d.shape(0));
    real_matrix m(0, n - 1, 0, n - 1);
    std::copy(d.data(), d.data() + d.size(), m.data());
    return m;
}

py::array_t<std::int32_t> to_numpy(const count_array& groups) {
    py::array_t<std::int32_t> out(static_cast<py::ssize_t>(groups.length()));
    std::copy(groups.begin(), groups.end(), out.mutable_data());
    return out;
}

// The value that `name` stands for among `names`, or ValueError listing them.
template <class Value>
Value chosen(const std::string& name, const char* what,
             std::initializer_list<std::pair<const char*, Value>> names) {
    std::string listed;
    std::size_t k = 0;
    for (const auto& [word, value] : names) {
        if (name == word) return value;
        if (k != 0) listed += k + 1 == names.size() ? " or " : ", ";
        listed += "\"" + std::string(word) + "\"";
        ++k;
    }
    throw py::value_error("unknown " + std::string(what) + " \"" + name + "\"; use " + listed);
}

distance::matrix_layout distance_format(const std::string& name) {
    using enum distance::matrix_layout;
    return chosen<distance::matrix_layout>(name, "distance format",
                                           {{"automatic", AUTOMATIC},
                                            {"phylip", PHYLIP},
                                            {"extended_phylip", EXTENDED_PHYLIP},
                                            {"tab", TAB_SEPARATED},
                                            {"nexus", NEXUS}});
}

read::input_format matrix_format(const std::string& name) {
    using enum read::input_format;
    return chosen<read::input_format>(name, "matrix format",
                                      {{"phylip", PHYLIP},
                                       {"extended_phylip", EXTENDED_PHYLIP},
                                       {"tab", TAB_SEPARATED},
                                       {"nexus", PHYLIP}});
}

print::output_format matrix_output_format(const std::string& name) {
    using enum print::output_format;
    return chosen<print::output_format>(
        name, "matrix layout",
        {{"phylip", PHYLIP}, {"extended_phylip", EXTENDED_PHYLIP}, {"nexus", NEXUS}});
}

print::dist_output_format distance_output_format(const std::string& name) {
    using enum print::dist_output_format;
    return chosen<print::dist_output_format>(name, "distance layout",
                                             {{"phylip", PHYLIP},
                                              {"extended_phylip", EXTENDED_PHYLIP},
                                              {"nexus", NEXUS},
                                              {"tab", TAB_SEPARATED}});
}

read::row_layout layout_of(const std::string& name) {
    using enum read::row_layout;
    return chosen<read::row_layout>(
        name, "row layout",
        {{"detect", DETECT}, {"sequential", SEQUENTIAL}, {"interleaved", INTERLEAVED}});
}

read::triangle triangle_of(const std::string& name) {
    using enum read::triangle;
    return chosen<read::triangle>(name, "triangle",
                                  {{"square", SQUARE},
                                   {"lower", LOWER},
                                   {"lower_diagonal", LOWER_DIAGONAL},
                                   {"upper", UPPER},
                                   {"upper_diagonal", UPPER_DIAGONAL},
                                   {"detect", DETECT}});
}

print::field_separator separator_of(const std::string& name) {
    using enum print::field_separator;
    return chosen<print::field_separator>(name, "separator", {{"tab", TAB}, {"blank", BLANK}});
}

// The file, opened for reading or writing, or OSError naming it.
template <class Stream>
Stream open_file(const std::string& path) {
    Stream file(path, std::ios::binary);
    if (!file) {
        const int error = errno;
        PyErr_SetObject(PyExc_OSError, py::make_tuple(error, std::strerror(error), path).ptr());
        throw py::error_already_set();
    }
    return file;
}

[[noreturn]] void raise_os_error(int error, const std::string& path) {
    PyErr_SetObject(PyExc_OSError, py::make_tuple(error, std::strerror(error), path).ptr());
    throw py::error_already_set();
}

// A file written whole or not at all: the text goes to a new file beside it, which `commit`
// renames over it. Until then an existing file is left as it was, whatever fails (data
// refused, a full disk); an uncommitted temporary file is removed.
class file_replacement {
public:
    explicit file_replacement(const std::string& path) : path_(path) {
        namespace fs = std::filesystem;
        std::error_code error;
        fs::path target(path);
        if (fs::is_symlink(target, error)) target = fs::weakly_canonical(target, error);
        target_ = target.empty() ? fs::path(path) : target;
        const fs::path dir = target_.has_parent_path() ? target_.parent_path() : fs::path(".");
        // A name of our own, made with the permissions a new file gets (0666 less the umask).
        for (int attempt = 0;; ++attempt) {
            temporary_ =
                dir / ("." + target_.filename().string() + "." + std::to_string(::getpid()) + "-" +
                       std::to_string(attempt) + ".tmp");
            const int fd =
                ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0) {
                ::close(fd);
                break;
            }
            if (errno != EEXIST || attempt == 100) raise_os_error(errno, path);
        }
        if (fs::exists(target_, error))
            fs::permissions(temporary_, fs::status(target_, error).permissions(), error);
        file_.open(temporary_, std::ios::binary | std::ios::trunc);
        if (!file_) {
            const int e = errno;
            remove();
            raise_os_error(e, path);
        }
    }
    file_replacement(const file_replacement&) = delete;
    file_replacement& operator=(const file_replacement&) = delete;
    ~file_replacement() {
        if (!committed_) remove();
    }

    std::ofstream& stream() noexcept { return file_; }

    void commit() {
        file_.close();
        if (!file_) raise_os_error(EIO, path_);
        std::error_code error;
        std::filesystem::rename(temporary_, target_, error);
        if (error) raise_os_error(error.value(), path_);
        committed_ = true;
    }

private:
    void remove() noexcept {
        std::error_code ignored;
        file_.close();
        std::filesystem::remove(temporary_, ignored);
    }

    std::string path_;
    std::filesystem::path target_, temporary_;
    std::ofstream file_;
    bool committed_ = false;
};

// After the matrix, the file holds nothing but blanks and line ends: more text (rows beyond
// the number the header declares, a second matrix) would be dropped unseen.
} // namespace

PYBIND11_MODULE(phylo, m) {
    m.doc() = "Partition comparison, permutation tests (permutation_test, distance_test,\n"
              "mantel_test), single-linkage clustering and distance files of the phylo library.";

    // One Python type for every library error, with the library's message.
    static py::exception<generics::error> library_error(m, "Error", PyExc_ValueError);
    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown) std::rethrow_exception(thrown);
        } catch (const generics::error& e) {
            library_error(e.message());
        }
    });

    m.def(
        "compare",
        [](const py::object& first, const py::object& second) {
            if (const auto r = compare_in_place(first, second)) return as_dict(*r);
            const auto a = to_partition(first);
            const auto b = to_partition(second);
            py::gil_scoped_release unlocked;
            const auto r = taxonomy::compare(a, b);
            py::gil_scoped_acquire locked;
            return as_dict(r);
        },
        py::arg("first"), py::arg("second"),
        "Compares two partitions of the same taxa, given as two sequences of labels (compared as\n"
        "strings) or two numpy integer arrays. Returns a dict: rand, adjusted_rand,\n"
        "mutual_information, nmi (arithmetic mean), nmi_geometric, nmi_min, nmi_max,\n"
        "expected_mutual_information, ami, variation_of_information, mi_over_joint_entropy,\n"
        "chi_square, g_statistic, the entropies, pairs and counts.");

    m.def(
        "single_linkage",
        [](const py::array_t<double, py::array::c_style | py::array::forcecast>& d,
           double threshold) {
            return to_numpy(taxonomy::single_linkage(to_matrix(d), threshold));
        },
        py::arg("distances"), py::arg("threshold"),
        "Single-linkage groups at one threshold of a square distance matrix: an int32 array of\n"
        "group numbers, clusters of two or more taxa first in the order they form.");

    m.def(
        "single_linkage_series",
        [](const py::array_t<double, py::array::c_style | py::array::forcecast>& d, double start,
           double step, index_type count) {
            const auto series = taxonomy::single_linkage_series(to_matrix(d), start, step, count);
            const auto taxa = static_cast<py::ssize_t>(d.shape(0));
            py::array_t<std::int32_t> out({static_cast<py::ssize_t>(count), taxa});
            auto* at = out.mutable_data();
            for (const auto& row : series) at = std::copy(row->begin(), row->end(), at);
            return out;
        },
        py::arg("distances"), py::arg("start"), py::arg("step"), py::arg("count"),
        "Single-linkage groups at start, start + step, ...: a count x n int32 array.");

    m.def(
        "read_distances",
        [](const std::string& path, const std::string& format,
           const std::optional<std::string>& shape) {
            const auto layout = distance_format(format);
            // A named layout reads the square unless told otherwise, as it always did.
            const auto t = shape                                          ? triangle_of(*shape)
                           : layout == distance::matrix_layout::AUTOMATIC ? read::triangle::DETECT
                                                                          : read::triangle::SQUARE;
            auto file = open_file<std::ifstream>(path);
            const squared d = distance::read_matrix(file, path, layout, t);
            try {
                taxonomy::check_distances(d.matrix, &d.labels);
            } catch (const range_error& e) {
                throw range_error(path + ": " + e.message());
            }
            std::vector<std::string> labels(d.labels.begin(), d.labels.end());
            const auto n = static_cast<py::ssize_t>(d.labels.length());
            py::array_t<double> matrix({n, n});
            std::copy(d.matrix.data(), d.matrix.data() + n * n, matrix.mutable_data());
            return py::make_tuple(labels, matrix);
        },
        py::arg("path"), py::arg("format") = "automatic", py::arg("triangle") = py::none(),
        "Reads a distance matrix file of any layout, told from its content (format \"automatic\":\n"
        "PHYLIP with strict or relaxed names, NEXUS DISTANCES, tab-separated with a header line),\n"
        "or of the layout named (\"phylip\", \"extended_phylip\", \"tab\" or \"nexus\"), the "
        "square\n"
        "or a triangle (\"square\", \"lower\", \"lower_diagonal\", \"upper\", \"upper_diagonal\",\n"
        "or \"detect\" to tell from the rows; by default \"detect\" for \"automatic\", else\n"
        "\"square\"): returns (labels, matrix), the labels a list of str,\n"
        "the matrix the full n x n float64 array. A matrix that is not symmetric (within 1e-9\n"
        "of the larger value) or holds NaN, and text after the matrix, raise phylo.Error.");

    m.def(
        "write_distances",
        [](const std::string& path, const py::object& labels,
           const py::array_t<double, py::array::c_style | py::array::forcecast>& d,
           const std::string& format, std::size_t aft, const std::string& separator) {
            const auto f = distance_output_format(format);
            const auto between = separator_of(separator);
            real_matrix matrix = to_matrix(d);
            taxon_labels names = to_labels(labels, false);
            if (matrix.rows() != names.length())
                throw py::value_error("there must be one label per row of the distances");
            const squared x(std::move(names), std::move(matrix));
            file_replacement file(path);
            print::put(file.stream(), x, f, between, print::default_fore, aft);
            file.commit();
        },
        py::arg("path"), py::arg("labels"), py::arg("distances"), py::arg("format") = "phylip",
        py::arg("digits") = print::default_aft, py::arg("separator") = "tab",
        "Writes a square distance matrix with its labels (format \"phylip\", \"extended_phylip\",\n"
        "\"nexus\" or \"tab\"), `digits` digits after the point; separator \"blank\" puts blanks\n"
        "where the PHYLIP layouts put tabs.");

    m.def(
        "read_matrix",
        [](const std::string& path, const std::string& format, const std::string& layout) {
            const bool nexus = format == "nexus"; // a DATA or CHARACTERS block
            const auto f = matrix_format(format);
            const auto rows_as = layout_of(layout);
            auto file = open_file<std::ifstream>(path);
            generics::text_cursor c(file, true, path);
            const disc_data x =
                nexus ? nexus::get<disc_data>(c) : read::get(c, f, read::whitespace, rows_as);
            if (!nexus) read::expect_end(c);
            std::vector<std::string> labels(x.labels.begin(), x.labels.end());
            std::vector<std::string> rows;
            rows.reserve(labels.size());
            for (const auto& row : x.rows) rows.emplace_back(row->begin(), row->end());
            return py::make_tuple(labels, rows);
        },
        py::arg("path"), py::arg("format") = "phylip", py::arg("layout") = "detect",
        "Reads a discrete character matrix (format \"phylip\", \"extended_phylip\", \"tab\" or\n"
        "\"nexus\", a DATA or CHARACTERS block; layout \"sequential\", \"interleaved\" or "
        "\"detect\"): returns (labels, rows), each row "
        "a\n"
        "str of its states, blanks and line ends passed over.");

    m.def(
        "write_matrix",
        [](const std::string& path, const py::object& labels, const py::object& rows,
           const std::string& format, const std::string& separator) {
            const auto f = matrix_output_format(format);
            const auto between = separator_of(separator);
            taxon_labels names = to_labels(labels, false);
            const taxon_labels states = to_labels(rows, false);
            if (states.length() != names.length())
                throw py::value_error("there must be one row per label");
            disc_data x(0, names.length() - 1);
            x.labels = std::move(names);
            for (index_type k = 0; k < states.length(); ++k)
                x.rows[k] = std::make_unique<disc_array>(
                    1, std::vector<disc_element>(states[k].begin(), states[k].end()));
            file_replacement file(path);
            print::put(file.stream(), x, f, between);
            file.commit();
        },
        py::arg("path"), py::arg("labels"), py::arg("rows"), py::arg("format") = "phylip",
        py::arg("separator") = "tab",
        "Writes a discrete character matrix, one str of states per label (format \"phylip\",\n"
        "\"extended_phylip\" or \"nexus\"); separator \"blank\" puts a blank after the name\n"
        "where the PHYLIP layouts put a tab (R's ape reads names cleanly then).");

    phylo_python::add_permutation_tests(m);
}
