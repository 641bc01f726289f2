#include "../test_support.hpp"

#include <generics/generic_character_io.hpp>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace {

using generics::index_type;
using generics::text_cursor;
using test_support::expect_error;

TEST(TextCursor, ReadsAcrossBlockBoundariesAndConsumesExactly) {
    for (std::size_t chunk : {0, 1, 2, 3, 5, 64}) {
        SCOPED_TRACE(chunk);
        // Below the smallest double a literal rounds to zero; subnormals are kept.
        const std::string text = "1.25 -2.5e-3\r\n\t+7 .5 1e2 5. -0.125E+1 1e-400 1e-310 rest";
        test_support::piece_buffer buf(text, chunk), lines("ab\r\ncd\rx\n", chunk),
            lone("a\rb", chunk);
        std::istream in(&buf), lines_in(&lines), lone_in(&lone);
        std::vector<double> got;
        {
            text_cursor c(in);
            for (int k = 0; k < 9; ++k) got.push_back(generics::read_real<double>(c));
        }
        EXPECT_EQ(got, (std::vector<double>{1.25, -2.5e-3, 7, 0.5, 100, 5, -1.25, 0, 1e-310}));
        EXPECT_EQ(text.substr(buf.consumed()), " rest");

        // A line end is LF or CR LF; a lone CR is a character.
        text_cursor c(lines_in, true);
        std::string chars;
        for (int ch = c.text_char(); ch != text_cursor::eof; ch = c.text_char())
            chars.push_back(static_cast<char>(ch));
        EXPECT_TRUE(chars == "abcd\rx" && c.line() == 3) << chars << c.line();

        // A lone CR that the cursor looked past (at the end of a block) is given back.
        {
            text_cursor l(lone_in);
            EXPECT_EQ(l.text_char(), 'a');
            EXPECT_FALSE(l.at_line_end());
        }
        EXPECT_EQ(test_support::next_char(lone_in), '\r');
        EXPECT_EQ(test_support::next_char(lone_in), 'b');
    }
}

TEST(RealLiterals, RejectWhatIsNotAFiniteLiteralAndNameThePlace) {
    const auto read = [](const std::string& s) {
        test_support::text_input in(s);
        text_cursor c(in);
        return generics::read_real<double>(c);
    };
    const std::pair<const char*, const char*> bad[] = {
        {"1e400", "\"1e400\" is not a finite number"},
        {"inf", "expected a real literal, found \"i\""},
        {"nan", "found \"n\""},
        {"1e+x", "found \"x\""},
        {"-.", "expected a real literal"}};
    for (const auto& row : bad)
        expect_error<generics::data_error>([&] { read(row.first); }, row.second);
    expect_error<generics::end_error>([&] { read(" \n\t"); },
                                      "the input ends where a real literal was expected");

    // Fixed-width fields allow blanks around the literal; a field never passes a line end.
    test_support::text_input in("  1.5 -2.25\n  3  1.5x  ");
    text_cursor c(in, true, "data.txt");
    c.set_row("taxon 4, ");
    c.set_item("character", 2);
    EXPECT_EQ(generics::read_real<double>(c, 5), 1.5);
    EXPECT_EQ(generics::read_real<double>(c, 6), -2.25);
    expect_error<generics::data_error>(
        [&] { generics::read_real<double>(c, 5); },
        "line 1: taxon 4, character 2: expected a real field of 5 characters, found a line end");
    c.skip_line_end();
    EXPECT_EQ(generics::read_real<double>(c, 5), 3.0);
    expect_error<generics::data_error>(
        [&] { generics::read_real<double>(c, 4); },
        "data.txt: line 2: taxon 4, character 2: expected a real literal in the field \"1.5x\"");
}

// put_real's image of v.
std::string image(double v, std::size_t fore, std::size_t aft, std::size_t exp) {
    std::string s;
    generics::put_real(s, v, fore, aft, exp);
    return s;
}

// The image put_real must give, from std::to_chars (exact at any precision): the point at
// column `fore` or later; with exp > 0 scientific, the exponent a sign and at least exp - 1
// digits after an E.
std::string exact(double v, std::size_t fore, std::size_t aft, std::size_t exp) {
    std::string s(1500, ' ');
    const auto form = exp == 0 ? std::chars_format::fixed : std::chars_format::scientific;
    s.resize(std::to_chars(s.data(), s.data() + s.size(), v, form, int(aft)).ptr - s.data());
    if (const std::size_t e = s.find('e'); e != std::string::npos) {
        const std::string digits = std::to_string(std::abs(std::stoi(s.substr(e + 1))));
        s = s.substr(0, e) + 'E' + s[e + 1] +
            std::string(exp - 1 > digits.size() ? exp - 1 - digits.size() : 0, '0') + digits;
    }
    return std::string(fore > s.find('.') ? fore - s.find('.') : 0, ' ') + s;
}

// Fore, aft and exp lay the image out; every requested digit is the exact decimal
// expansion's, on the fast fixed-point path and in long images (up to 1074 digits after the
// point, zeros beyond).
TEST(RealImages, LayoutAndEveryRequestedDigitIsExact) {
    EXPECT_EQ(image(-12.0, 2, 1, 0), "-12.0");  // fore is a minimum
    EXPECT_EQ(image(0.25, 5, 0, 0), "    0.2"); // at least one digit after the point (ties to even)
    EXPECT_EQ(image(12345.678, 2, 3, 2), " 1.235E+4");
    EXPECT_EQ(image(0.00012, 2, 3, 3), " 1.200E-04");
    EXPECT_EQ(image(2e100, 1, 1, 1), "2.0E+100");
    EXPECT_EQ(image(1.0, 0, 2, 5), "1.00E+0000");
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::vector<double> values = {
        0.001953125, -0.001953125,       0.5,         1.5,   2.5,    0.125, 1e-9, 5e-9, 0.0,
        -0.0,        4503599.6273704959, 123456789.0, 0.045, 1.0 / 3};
    for (int k = 0; k < 20000; ++k) values.push_back(unit(random) * std::pow(10.0, k % 12 - 4));
    for (int k = 0; k < 4096; ++k) values.push_back((2 * k + 1) / 512.0); // ties at 8 decimals
    for (double v : values)
        for (std::size_t aft : {1, 2, 8, 14}) ASSERT_EQ(image(v, 0, aft, 0), exact(v, 0, aft, 0));
    // m * 2^-k with `digits` significant digits, all after the point: the least subnormal, the
    // largest subnormal, the least normal number, 0.1.
    const struct {
        std::uint64_t m;
        int k;
        std::size_t digits;
    } long_images[] = {{1, 1074, 751},
                       {(std::uint64_t{1} << 52) - 1, 1074, 767},
                       {1, 1022, 715},
                       {3602879701896397, 55, 55}};
    for (const auto& x : long_images) {
        const double v = std::ldexp(static_cast<double>(x.m), -x.k);
        for (std::size_t aft : {static_cast<std::size_t>(x.k), std::size_t{1200}})
            EXPECT_EQ(image(v, 2, aft, 0), exact(v, 2, aft, 0)) << x.m << " aft " << aft;
        // Scientific: the first digit before the point, every further one after it.
        for (std::size_t aft :
             {x.digits - 1, std::max<std::size_t>(x.digits - 1, 760), std::size_t{1100}})
            EXPECT_EQ(image(v, 2, aft, 1), exact(v, 2, aft, 1)) << x.m << " aft " << aft;
    }
    // The largest double: 309 digits before the point, all exact.
    const double big = std::numeric_limits<double>::max();
    EXPECT_EQ(image(big, 0, 3, 0), exact(big, 0, 3, 0));
}

TEST(TextOutput, LayoutsAndWhatIsCollectedBeforeAnError) {
    const auto layout = [](index_type last, bool numbered, char sep, generics::layout_style st) {
        std::ostringstream out;
        generics::text_sink s(out);
        generics::print_layout(
            s, 0, last, numbered, sep, st,
            [](generics::text_sink& ss, index_type i) { ss.put(static_cast<char>('a' + i)); });
        s.flush();
        return out.str();
    };
    using generics::layout_style;
    EXPECT_EQ(layout(1, true, ',', layout_style::literal), ", 0, 1\n,a,b\n");
    EXPECT_EQ(layout(1, true, '\n', layout_style::real), " 0\na\n 1\nb\n");
    EXPECT_EQ(layout(1, true, '\n', layout_style::plain), " 0\ta\n 1\tb\n");
    EXPECT_EQ(layout(-1, false, ',', layout_style::literal), "\n");
    EXPECT_EQ(layout(-1, true, ',', layout_style::literal), "\n\n");
    EXPECT_EQ(layout(-1, false, ',', layout_style::plain), ",\n");
    EXPECT_EQ(layout(-1, true, '\n', layout_style::real), "");

    // The sink writes out what it holds when an error ends the writing.
    std::ostringstream out;
    try {
        generics::text_sink s(out);
        s.put("header");
        s.line_end();
        throw generics::range_error("stop");
    } catch (const generics::range_error&) {
    }
    EXPECT_EQ(out.str(), "header\n");
}

} // namespace
