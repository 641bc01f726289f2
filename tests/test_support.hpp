#pragma once

// Helpers shared by the library tests.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace test_support {

// Checks that f throws Error and that its message holds text.
template <class Error, class F>
void expect_error(F&& f, const std::string& text) {
    try {
        f();
        ADD_FAILURE() << "no error; expected one saying: " << text;
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << e.what();
    }
}

// What print(out) writes.
template <class Print>
std::string printed(Print&& print) {
    std::ostringstream out;
    print(out);
    return out.str();
}

// A file of the test data directory, byte for byte.
inline std::string data_file(const std::string& name) {
    std::ifstream in(std::string(LABMIX_TEST_DATA) + "/" + name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace test_support
