#include <phylo/disc_io.hpp>

#include <generics/current_io.hpp>

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

using namespace phylo;
using textutils::character_set;

template <class Error, class F>
void expect_error(F&& f, const std::string& text) {
    try {
        f();
        ADD_FAILURE() << "no error; expected one saying: " << text;
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << e.what();
    }
}

std::string text_of(const disc_array& a) { return std::string(a.begin(), a.end()); }

template <class Print>
std::string printed(Print&& print) {
    std::ostringstream out;
    print(out);
    return out.str();
}

TEST(DiscIo, Layouts) {
    disc_array a(0, 1);
    a[0] = 'A';
    a[1] = 'C';
    EXPECT_EQ(printed([&](auto& o) { disc_io::print(o, a, false, '\t'); }), "\tAC\n");
    EXPECT_EQ(printed([&](auto& o) { disc_io::print(o, a, true, '\t'); }), "\t 0\t 1\n\tAC\n");
    EXPECT_EQ(printed([&](auto& o) { disc_io::print(o, a, false, '\n'); }), "A\nC\n");
    EXPECT_EQ(printed([&](auto& o) { disc_io::print(o, a, true, '\n'); }), " 0\tA\n 1\tC\n");
    const disc_array empty;
    EXPECT_EQ(printed([&](auto& o) { disc_io::print(o, empty, false, '\t'); }), "\t\n");
    EXPECT_EQ(printed([&](auto& o) { disc_io::print(o, empty, true, '\t'); }), "\n\t\n");
    EXPECT_EQ(printed([&](auto& o) { disc_io::print(o, empty, false, '\n'); }), "");
    disc_matrix m(0, 1, 0, 2);
    for (index_type j = 0; j <= 2; ++j) {
        m(0, j) = static_cast<char>('a' + j);
        m(1, j) = static_cast<char>('x' + j);
    }
    EXPECT_EQ(printed([&](auto& o) { disc_io::print(o, m, false, ' '); }), " abc\n xyz\n");
    EXPECT_EQ(printed([&](auto& o) { disc_io::print_row(o, 1, m, true, ' '); }), "  0  1  2\n xyz\n");
}

TEST(DiscIo, SkipSetAndLineEnds) {
    EXPECT_TRUE(disc_io::whitespace.contains(' '));
    EXPECT_TRUE(disc_io::whitespace.contains('\x9f'));
    EXPECT_FALSE(disc_io::whitespace.contains('\xa0'));
    EXPECT_FALSE(disc_io::whitespace.contains('-'));
    std::istringstream in("A C\nG");
    disc_array a(0, 2);
    disc_io::get(in, a, disc_io::whitespace);
    EXPECT_EQ(text_of(a), "ACG");
    // CR LF is a line end even when the skip set does not hold CR.
    std::istringstream crlf("A\r\nC\r\n-T");
    disc_array b(0, 3);
    disc_io::get(crlf, b, character_set(" "));
    EXPECT_EQ(text_of(b), "AC-T");
    std::istringstream any("?,\t!");
    EXPECT_EQ(disc_io::get(any, character_set(",")), '?');
    EXPECT_EQ(disc_io::get(any, character_set(",")), '\t'); // anything not skipped is a state
}

TEST(DiscIo, ErrorsSayWhichElementAndKeepWhatWasRead) {
    std::istringstream in("AC");
    disc_array a(0, 2, '.');
    expect_error<end_error>([&] { disc_io::get(in, a, disc_io::whitespace); }, "element 2: the input ends where a character");
    EXPECT_EQ(text_of(a), "AC.");
    disc_vector v(0, 1);
    v[0] = std::make_unique<disc_array>(0, 0);
    std::istringstream rows("x y");
    expect_error<range_error>([&] { disc_io::get(rows, v, disc_io::whitespace); }, "row 1 is null");
    disc_matrix m(0, 0, 0, 0);
    expect_error<range_error>([&] { disc_io::get_row(rows, 3, m, disc_io::whitespace); }, "index 3");
}

TEST(DiscIo, MatrixAndCurrentInput) {
    std::istringstream in("AB\nCD\n");
    generics::input_redirect r(in, "m.txt");
    disc_matrix m(0, 1, 0, 1);
    disc_io::get(m, disc_io::whitespace);
    EXPECT_EQ(m(1, 0), 'C');
    EXPECT_EQ(m(1, 1), 'D');
}

} // namespace
