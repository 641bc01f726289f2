#pragma once
// What the parts of the Python module `phylo` share: the UTF-8 text of a Python label, and the
// permutation tests' functions, which live in their own file.

#include <pybind11/pybind11.h>

#include <cstddef>
#include <string>

namespace phylo_python {

namespace py = pybind11;

// The UTF-8 text of a str label, or ValueError naming it (a lone surrogate has none).
inline std::string utf8_of(const py::handle& label, std::size_t k) {
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(label.ptr(), &size);
    if (text == nullptr) {
        PyErr_Clear();
        throw py::value_error("label " + std::to_string(k) + ", " +
                              py::repr(label).cast<std::string>() +
                              ", is not valid Unicode text (it holds a lone surrogate)");
    }
    return std::string(text, static_cast<std::size_t>(size));
}

// permutation_test, distance_test and mantel_test.
void add_permutation_tests(py::module_& m);

} // namespace phylo_python
