#include <phylo/chars_io.hpp>

#include "../real_reference.hpp"
#include "../test_support.hpp"

#include <gtest/gtest.h>

#include <concepts>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace phylo;
using test_support::expect_error;
using test_support::printed;
using test_support::same_bits;

// The discrete layouts are checked beside the plain ones, in disc_io_test.
TEST(LiteralLayouts, EveryLayoutOfArraysAndMatrixRows) {
    const binary_array b(0, {binary::PRESENCE, binary::ABSENCE, binary::UNKNOWN});
    EXPECT_EQ(printed([&](auto& o) { binary_chars::print(o, b, false, ' '); }),
              " PRESENCE ABSENCE UNKNOWN\n");
    count_matrix m(0, 1, 5, 6);
    m(0, 5) = 1;
    m(1, 6) = 7;
    EXPECT_EQ(printed([&](auto& o) { count_chars::print(o, m, true, '\t'); }),
              "\t 5\t 6\n\t 1\t 0\n\t 5\t 6\n\t 0\t 7\n");
    EXPECT_EQ(printed([&](auto& o) { count_chars::print_row(o, 1, m, false, '\n'); }), " 0\n 7\n");
    expect_error<range_error>([&] { count_chars::print_row(std::cout, 2, m, false, '\n'); },
                              "index 2");
}

TEST(LiteralElements, ImagesWidthAndCase) {
    EXPECT_EQ(printed([](auto& o) { disc_chars::element_io::put(o, 'A', 5); }), "'A'  ");
    EXPECT_EQ(
        printed([](auto& o) { disc_chars::element_io::put(o, '\x7f', 0, type_set::LOWER_CASE); }),
        "del");
    EXPECT_EQ(printed([](auto& o) {
                  binary_chars::element_io::put(o, binary::PRESENCE, 0, type_set::LOWER_CASE);
              }),
              "presence");
    EXPECT_EQ(printed([](auto& o) { count_chars::element_io::put(o, 2147483647, 13); }),
              " 2147483647  ");
    // Into a string, numbers go to the right and names to the left; a field too short is left
    // alone.
    std::string field(5, '*'), wide(8, '*');
    count_chars::element_io::put(field, 12);
    binary_chars::element_io::put(wide, binary::UNKNOWN, type_set::LOWER_CASE);
    EXPECT_EQ(field + wide, "   12unknown ");
    expect_error<length_error>([&] { binary_chars::element_io::put(field, binary::UNKNOWN); },
                               "does not fit in 5");
    EXPECT_EQ(field, "   12");
}

TEST(LiteralElements, EveryDiscreteStateReadsBackFromItsImage) {
    for (int code = 0; code < 256; ++code) {
        const char x = static_cast<char>(code);
        std::stringstream io;
        disc_chars::element_io::put(io, x, 0,
                                    code % 2 ? type_set::LOWER_CASE : type_set::UPPER_CASE);
        io << ' ';
        EXPECT_EQ(disc_chars::element_io::get(io), x) << "code " << code << " image " << io.str();
    }
}

TEST(LiteralElements, ReadingStopsRightAfterTheLiteral) {
    test_support::text_input in(" presence\n Unknown\t12\n3;'x' lf");
    EXPECT_EQ(binary_chars::element_io::get(in), binary::PRESENCE);
    EXPECT_EQ(binary_chars::element_io::get(in), binary::UNKNOWN);
    EXPECT_EQ(count_chars::element_io::get(in), 12);
    EXPECT_EQ(count_chars::element_io::get(in), 3);
    EXPECT_EQ(test_support::next_char(in), ';');
    EXPECT_EQ(disc_chars::element_io::get(in), 'x');
    EXPECT_EQ(disc_chars::element_io::get(in), '\n');
    const auto r = count_chars::element_io::get("  345 x");
    EXPECT_EQ(r.value, 345);
    EXPECT_EQ(r.last, 4u);
}

TEST(LiteralElements, MalformedLiteralsSayWhatWasFound) {
    expect_error<data_error>([] { binary_chars::element_io::get("maybe"); }, "found \"MAYBE\"");
    expect_error<data_error>([] { binary_chars::element_io::get("pre__sence"); },
                             "PRESENCE, ABSENCE or UNKNOWN");
    expect_error<end_error>([] { count_chars::element_io::get("   "); },
                            "the input ends where a count");
    // A count is digits only: no sign, not even on 0; the sign stays unread.
    for (const char* signed_count : {"-1", "+5", "-0", "+"}) {
        std::istringstream counts(signed_count);
        expect_error<data_error>([&] { count_chars::element_io::get(counts); },
                                 std::string("expected a count (an unsigned integer), found \"") +
                                     signed_count[0] + "\"");
        EXPECT_EQ(counts.get(), signed_count[0]);
    }
    expect_error<data_error>([] { count_chars::element_io::get("2147483648"); },
                             "exceeds 2147483647");
    expect_error<end_error>([] { disc_chars::element_io::get("'y"); }, "closing apostrophe");
    expect_error<data_error>([] { disc_chars::element_io::get("\"A\""); },
                             "expected a character literal, found '\"'");
    expect_error<data_error>([] { real_chars::element_io::get("1e999"); },
                             "is not a finite number");
}

TEST(LiteralArrays, ErrorsKeepEarlierElementsAndSayWhich) {
    count_array a(1, 3, 9);
    test_support::text_input in("4 5 x");
    expect_error<data_error>([&] { count_chars::get(in, a); },
                             "element 3: expected a count (an unsigned integer), found \"x\"");
    EXPECT_EQ(a, count_array(1, std::vector<count_element>{4, 5, 9}));
    count_matrix m(0, 1, 0, 1);
    test_support::text_input short_in("1 2\n3");
    expect_error<end_error>([&] { count_chars::get(short_in, m); },
                            "row 1, column 1: the input ends");
    EXPECT_EQ(m(1, 0), 3);
    count_vector v(0, 1);
    v[0] = std::make_unique<count_array>(0, 1);
    test_support::text_input rows("1 2 3 4 5");
    expect_error<range_error>([&] { count_chars::get(rows, v); }, "row 1 is null");
    v[1] = std::make_unique<count_array>(5, 5);
    count_chars::get(rows, v);
    EXPECT_EQ(*v[0], count_array(0, std::vector<count_element>{3, 4}));
    EXPECT_EQ((*v[1])[5], 5);
}

TEST(RealArrays, LayoutsRoundTripAndFixedWidthFields) {
    const real_array a(0, std::vector<double>{1.5, -0.25});
    EXPECT_EQ(printed([&](auto& o) { real_chars::print(o, a, true, '\n', 2, 2, 0); }),
              " 0\n 1.50\n 1\n-0.25\n");
    EXPECT_EQ(printed([&](auto& o) { real_chars::print(o, a, false, '\t'); }),
              "\t 1.50000000000000E+00\t-2.50000000000000E-01\n");
    std::string field(8, '*');
    real_chars::element_io::put(field, -2.5, 1, 0);
    EXPECT_EQ(field, "    -2.5");
    real_matrix m(0, 1, 0, 2);
    const double values[] = {0.1, -1e-300, 6.02214076e23, 2.5, 0, 1.0 / 3};
    for (int k = 0; k < 6; ++k) m(k / 3, k % 3) = values[k];
    std::stringstream io;
    real_chars::print(io, m, false, ' ', 2, 16, 4); // 17 significant digits: exact
    real_matrix back(0, 1, 0, 2);
    real_chars::get(io, back);
    EXPECT_EQ(back, m);
    test_support::text_input fields("  1.5-2.50  3.0");
    real_array f(0, 2);
    real_chars::get(fields, f, 5);
    EXPECT_EQ(f, real_array(0, std::vector<double>{1.5, -2.5, 3.0}));
}

// The call forms of both families: the literal family takes nothing after its operands, the
// real family a width when reading and up to three layout numbers when writing.
static_assert(std::invocable<decltype(count_chars::get), std::istream&, count_array&>);
static_assert(!std::invocable<decltype(count_chars::get), std::istream&, count_array&, int>);
static_assert(!std::invocable<decltype(disc_chars::print), const disc_array&, bool, char, int>);
static_assert(std::invocable<decltype(real_chars::get), real_matrix&, int>);
static_assert(!std::invocable<decltype(real_chars::get), real_matrix&, int, int>);
static_assert(!std::invocable<decltype(real_chars::get_row), index_type, real_matrix&, char*>);
static_assert(std::invocable<decltype(real_chars::print_row), index_type, const real_matrix&, bool,
                             char, int, int, int>);
static_assert(!std::invocable<decltype(real_chars::print), const real_array&, bool, char, int, int,
                              int, int>);

// Every operation without a file works on the current input or output like its twin with the
// file, and layout numbers left out take their defaults.
TEST(CallForms, TwinsAndDefaultLayouts) {
    const real_matrix m(0, 1, 1, 2, std::vector<double>{0.5, -2, 3.25, 1e10});
    const std::string expected = printed([&](auto& o) { real_chars::print(o, m, true, ' ', 3); });
    EXPECT_EQ(expected, printed([&](auto& o) { real_chars::print(o, m, true, ' ', 3, 14, 3); }));
    EXPECT_EQ(printed([&](auto& o) { real_chars::print_row(o, 1, m, false, ',', 1, 2); }),
              ",3.25E+00,1.00E+10\n");
    std::ostringstream out;
    {
        const generics::output_redirect to(out);
        real_chars::print(m, true, ' ', 3);
        real_chars::print_row(1, m, false, ',', 1, 2);
        real_chars::print(real_array(4, std::vector<double>{7}), false, '\n', 2, 1, 0);
        count_chars::print(count_array(0, std::vector<count_element>{3, 12}), false, ' ');
        count_chars::print_row(0, count_matrix(0, 0, 0, 0, std::vector<count_element>{5}), true,
                               '\n');
    }
    EXPECT_EQ(out.str(), expected + ",3.25E+00,1.00E+10\n 7.0\n  3  12\n 0\t 5\n");

    std::istringstream in("1.5 2 3 4 -1 'A' 'B' 7 8");
    const generics::input_redirect from(in, "twins");
    real_matrix r(0, 1, 0, 1);
    real_chars::get(r);
    EXPECT_EQ(r, real_matrix(0, 1, 0, 1, std::vector<double>{1.5, 2, 3, 4}));
    real_array f(0, 0);
    real_chars::get(f, 3);
    EXPECT_EQ(f[0], -1);
    disc_vector v(0, 0);
    v[0] = std::make_unique<disc_array>(0, 1);
    disc_chars::get(v);
    EXPECT_EQ(*v[0], disc_array(0, std::vector<disc_element>{'A', 'B'}));
    count_matrix c(0, 0, 0, 1);
    count_chars::get_row(0, c);
    EXPECT_EQ(c, count_matrix(0, 0, 0, 1, std::vector<count_element>{7, 8}));
}

// The matrix reader reads rows through a cursor and names the elements in messages with its
// own word; a real width comes before the word.
TEST(CallForms, CursorReadsNameTheirItems) {
    count_array counts(0, 1);
    std::istringstream literal_in("4 -4");
    generics::text_cursor literal(literal_in);
    expect_error<data_error>([&] { count_chars::io::read(literal, counts, "character"); },
                             "character 1: expected a count");
    real_array reals(1, 2);
    std::istringstream real_in("4 x");
    generics::text_cursor real(real_in);
    expect_error<data_error>([&] { real_chars::io::read(real, reals, 0, "character"); },
                             "character 2: expected a real literal");
    real_matrix rows(0, 0, 0, 1);
    std::istringstream field_in(" 1.5  x");
    generics::text_cursor fields(field_in);
    expect_error<data_error>([&] { real_chars::io::read_row(fields, 0, rows, 4); },
                             "column 1: expected a real literal in the field \"  x\"");
    EXPECT_EQ(rows(0, 0), 1.5);
}

// A fixed-width field starts where the last read stopped and never passes a line end, however
// many there are; a free-format literal passes over all of them.
TEST(RealArrays, FixedWidthFieldsStopAtLineEnds) {
    for (const char* text : {"\n1.25", "\n\n1.25", "\r\n1.25"}) {
        std::istringstream in(text);
        expect_error<data_error>([&] { real_chars::element_io::get(in, 4); },
                                 "expected a real field of 4 characters, found a line end");
        std::istringstream free(text);
        EXPECT_EQ(real_chars::element_io::get(free), 1.25) << text;
    }
    // A field that a line end cuts short holds what comes before it; rows on their own lines
    // are read row by row, the caller passing the line end between them.
    std::istringstream rows(" 1.5 2.25\n 3.0\n");
    real_matrix m(0, 1, 0, 1);
    real_chars::get_row(rows, 0, m, 5);
    rows.ignore(1);
    expect_error<data_error>([&] { real_chars::get_row(rows, 1, m, 4); },
                             "column 1: expected a real field of 4");
    EXPECT_EQ(std::vector({m(0, 0), m(0, 1), m(1, 0)}), std::vector({1.5, 2.25, 3.0}));
}

// A random real literal: optional sign, 1 to 20 digits with the point anywhere or nowhere,
// and every exponent form (none, e or E, with or without a sign, small or near the limits
// of a double, leading zeros allowed).
std::string random_literal(std::mt19937_64& random) {
    const auto pick = [&random](int n) {
        return static_cast<int>(random() % static_cast<unsigned>(n));
    };
    static const char* const signs[] = {"", "+", "-"};
    std::string s = signs[pick(3)];
    const int digits = 1 + pick(20);
    const int point = pick(digits + 2) - 1; // -1: no point; else the digits before it
    for (int k = 0; k < digits; ++k) {
        if (k == point) s += '.';
        s += static_cast<char>('0' + (k == 0 && pick(4) != 0 ? 1 + pick(9) : pick(10)));
    }
    if (point == digits) s += '.';
    if (pick(3) != 0) {
        s += pick(2) != 0 ? 'e' : 'E';
        s += signs[pick(3)];
        const int e = pick(4) == 0 ? 280 + pick(60) : pick(30);
        s += std::string(static_cast<std::size_t>(pick(3) == 0 ? pick(3) : 0), '0') +
             std::to_string(e);
    }
    return s;
}

// The reader against std::from_chars, bit for bit (signed zeros included), one literal at a
// time from a string, all of them as one array from a stream, and as fixed-width fields.
TEST(RealLiterals, ReadExactlyAsTheStandardConverter) {
    std::mt19937_64 random(20261207);
    const std::size_t width = 30; // longer than any literal made here
    std::vector<std::string> literals;
    std::vector<double> expected;
    std::string text, fields;
    int misread = 0;
    std::string examples;
    for (int k = 0; k < 40000; ++k) {
        const std::string literal = random_literal(random);
        const auto reference = test_support::reference_real(literal);
        if (!reference) { // beyond the largest double
            expect_error<data_error>([&] { real_chars::element_io::get(literal); },
                                     "is not a finite number");
            continue;
        }
        const auto [value, length] = *reference;
        // A literal that ends the string, and one followed by more text, take different roads.
        const auto got = real_chars::element_io::get(k % 2 == 0 ? literal : literal + " 1");
        EXPECT_TRUE(got.last + 1 == literal.size() && length == literal.size()) << literal;
        if (!same_bits(got.value, value) && ++misread <= 5) examples += " " + literal;
        literals.push_back(literal);
        expected.push_back(value);
        static const char* const separators[] = {" ", "\t", "\n", "\r\n", "  \n\t"};
        text += literal + separators[random() % 5];
        const std::size_t pad = width - literal.size();
        const std::size_t left = random() % (pad + 1);
        fields += std::string(left, ' ') + literal + std::string(pad - left, ' ');
    }
    EXPECT_EQ(misread, 0) << "misread from a string, among them:" << examples;

    const auto n = static_cast<index_type>(expected.size());
    for (std::size_t w : {std::size_t{0}, width}) {
        real_array a(0, n - 1);
        std::istringstream in(w == 0 ? text : fields);
        real_chars::get(in, a, w);
        misread = 0;
        examples.clear();
        for (index_type i = 0; i < n; ++i)
            if (!same_bits(a[i], expected[static_cast<std::size_t>(i)]) && ++misread <= 5)
                examples += " " + literals[static_cast<std::size_t>(i)];
        EXPECT_EQ(misread, 0) << "misread from a stream at width " << w
                              << ", among them:" << examples;
    }
}

} // namespace
