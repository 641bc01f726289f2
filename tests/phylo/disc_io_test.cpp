#include <phylo/disc_io.hpp>

#include <phylo/chars_io.hpp>

#include "../test_support.hpp"

#include <generics/current_io.hpp>

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

using namespace phylo;
using test_support::expect_error;
using test_support::printed;
using textutils::character_set;

// Every layout of a discrete array, as plain states and as character literals.
TEST(DiscIo, LayoutsPlainAndAsLiterals) {
    const struct {
        std::string states;
        bool numbered;
        char separator;
        const char *plain, *literals;
    } cases[] = {{"AC", false, '\t', "\tAC\n", "\t'A'\t'C'\n"},
                 {"AC", true, '\t', "\t 0\t 1\n\tAC\n", "\t 0\t 1\n\t'A'\t'C'\n"},
                 {"AC", false, '\n', "A\nC\n", "'A'\n'C'\n"},
                 {"AC", true, '\n', " 0\tA\n 1\tC\n", " 0\t'A'\n 1\t'C'\n"},
                 {"", false, '\t', "\t\n", "\n"},
                 {"", true, '\t', "\n\t\n", "\n\n"},
                 {"", false, '\n', "", ""},
                 {"", true, '\n', "", ""}};
    for (const auto& c : cases) {
        const disc_array a(0, {c.states.begin(), c.states.end()});
        EXPECT_EQ(printed([&](auto& o) { disc_io::print(o, a, c.numbered, c.separator); }), c.plain)
            << c.states << c.numbered;
        EXPECT_EQ(printed([&](auto& o) { disc_chars::print(o, a, c.numbered, c.separator); }),
                  c.literals)
            << c.states << c.numbered;
    }
    disc_matrix m(0, 1, 0, 2);
    for (index_type j = 0; j <= 2; ++j)
        m(0, j) = static_cast<char>('a' + j), m(1, j) = static_cast<char>('x' + j);
    EXPECT_EQ(printed([&](auto& o) { disc_io::print(o, m, false, ' '); }), " abc\n xyz\n");
    EXPECT_EQ(printed([&](auto& o) { disc_io::print_row(o, 1, m, true, ' '); }),
              "  0  1  2\n xyz\n");
}

TEST(DiscIo, SkipSetLineEndsAndCurrentInput) {
    EXPECT_TRUE(disc_io::whitespace.contains('\x9f') && !disc_io::whitespace.contains('\xa0'));
    // CR LF is a line end even when the skip set does not hold CR.
    test_support::text_input crlf("A\r\nC\r\n-T");
    disc_array b(0, 3);
    disc_io::get(crlf, b, character_set(" "));
    EXPECT_EQ(b, disc_array(0, {'A', 'C', '-', 'T'}));
    test_support::text_input any("?,\t!");
    EXPECT_EQ(disc_io::get(any, character_set(",")), '?');
    EXPECT_EQ(disc_io::get(any, character_set(",")), '\t'); // anything not skipped is a state
    generics::input_redirect r(any, "m.txt");
    EXPECT_EQ(disc_io::get(character_set(",")), '!');
}

TEST(DiscIo, ErrorsSayWhichElementAndKeepWhatWasRead) {
    test_support::text_input in("AC");
    disc_array a(0, 2, '.');
    expect_error<end_error>([&] { disc_io::get(in, a, disc_io::whitespace); },
                            "element 2: the input ends where a character");
    EXPECT_EQ(a, disc_array(0, {'A', 'C', '.'}));
    disc_vector v(0, 1);
    v[0] = std::make_unique<disc_array>(0, 0);
    test_support::text_input rows("x y");
    expect_error<range_error>([&] { disc_io::get(rows, v, disc_io::whitespace); }, "row 1 is null");
    disc_matrix m(0, 0, 0, 0);
    expect_error<range_error>([&] { disc_io::get_row(rows, 3, m, disc_io::whitespace); },
                              "index 3");
}

} // namespace
