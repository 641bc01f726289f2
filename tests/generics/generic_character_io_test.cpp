#include "../test_support.hpp"

#include <generics/generic_character_io.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using generics::index_type;
using generics::text_cursor;
using test_support::expect_error;

using chunked_buffer = test_support::piece_buffer;

const std::size_t chunks[] = {0, 1, 2, 3, 5, 64};

TEST(TextCursor, ReadsAcrossBlockBoundariesAndConsumesExactly) {
    for (std::size_t chunk : chunks) {
        // Below the smallest double a literal rounds to zero; subnormals are kept.
        const std::string text = "1.25 -2.5e-3\r\n\t+7 .5 1e2 5. -0.125E+1 1e-400 1e-310 rest";
        chunked_buffer buf(text, chunk);
        std::istream in(&buf);
        std::vector<double> got;
        {
            text_cursor c(in);
            for (int k = 0; k < 9; ++k) got.push_back(generics::read_real<double>(c));
        }
        EXPECT_EQ(got, (std::vector<double>{1.25, -2.5e-3, 7, 0.5, 100, 5, -1.25, 0, 1e-310}))
            << "chunk " << chunk;
        EXPECT_EQ(text.substr(buf.consumed()), " rest") << "chunk " << chunk;

        // A line end is LF or CR LF; a lone CR is a character.
        chunked_buffer lines("ab\r\ncd\rx\n", chunk);
        std::istream lines_in(&lines);
        text_cursor c(lines_in, true);
        std::string chars;
        for (int ch = c.text_char(); ch != text_cursor::eof; ch = c.text_char())
            chars.push_back(static_cast<char>(ch));
        EXPECT_EQ(chars, "abcd\rx") << "chunk " << chunk;
        EXPECT_EQ(c.line(), 3) << "chunk " << chunk;

        // A lone CR that the cursor looked past (at the end of a block) is given back.
        chunked_buffer lone("a\rb", chunk);
        std::istream lone_in(&lone);
        {
            text_cursor l(lone_in);
            EXPECT_EQ(l.text_char(), 'a');
            EXPECT_FALSE(l.at_line_end());
        }
        EXPECT_EQ(test_support::next_char(lone_in), '\r') << "chunk " << chunk;
        EXPECT_EQ(test_support::next_char(lone_in), 'b') << "chunk " << chunk;
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

TEST(RealImages, ForeAftAndExpLayout) {
    const auto image = [](double v, std::size_t fore, std::size_t aft, std::size_t exp) {
        std::string s;
        generics::put_real(s, v, fore, aft, exp);
        return s;
    };
    EXPECT_EQ(image(-12.0, 2, 1, 0), "-12.0");  // fore is a minimum
    EXPECT_EQ(image(0.25, 5, 0, 0), "    0.2"); // at least one digit after the point (ties to even)
    EXPECT_EQ(image(12345.678, 2, 3, 2), " 1.235E+4");
    EXPECT_EQ(image(0.00012, 2, 3, 3), " 1.200E-04");
    EXPECT_EQ(image(2e100, 1, 1, 1), "2.0E+100");
    EXPECT_EQ(image(1.0, 0, 2, 5), "1.00E+0000");
}

// The fast fixed-point path must give exactly the digits of the exact decimal expansion.
TEST(RealImages, FixedPointAgreesWithTheExactExpansion) {
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::vector<double> values = {
        0.001953125, -0.001953125,       0.5,         1.5,   2.5,    0.125, 1e-9, 5e-9, 0.0,
        -0.0,        4503599.6273704959, 123456789.0, 0.045, 1.0 / 3};
    for (int k = 0; k < 20000; ++k) values.push_back(unit(random) * std::pow(10.0, k % 12 - 4));
    for (int k = 0; k < 4096; ++k) values.push_back((2 * k + 1) / 512.0); // ties at 8 decimals
    for (double v : values) {
        for (int aft : {1, 2, 8, 14}) {
            char b[1100];
            const auto r = std::to_chars(b, b + sizeof b, v, std::chars_format::fixed, aft);
            std::string fast;
            generics::put_real(fast, v, 0, static_cast<std::size_t>(aft), 0);
            ASSERT_EQ(fast, std::string(b, r.ptr)) << "value " << v << " aft " << aft;
        }
    }
}

// The decimal digits of m * factor^k, by schoolbook multiplication.
std::string times_power(std::uint64_t m, int factor, int k) {
    std::vector<int> digits; // least significant first
    for (; m != 0; m /= 10) digits.push_back(static_cast<int>(m % 10));
    for (int step = 0; step < k; ++step) {
        int carry = 0;
        for (int& d : digits) {
            const int x = d * factor + carry;
            d = x % 10;
            carry = x / 10;
        }
        if (carry != 0) digits.push_back(carry);
    }
    std::string image;
    for (auto d = digits.rbegin(); d != digits.rend(); ++d)
        image.push_back(static_cast<char>('0' + *d));
    return image;
}

// Long images carry every digit of the exact expansion, however many are asked for.
TEST(RealImages, EveryRequestedDigitIsExact) {
    const struct {
        std::uint64_t m;
        int k; // the value is m * 2^-k
    } values[] = {
        {1, 1074}, {(std::uint64_t{1} << 52) - 1, 1074}, {1, 1022}, {3602879701896397, 55}};
    for (const auto& x : values) {
        const double v = std::ldexp(static_cast<double>(x.m), -x.k);
        // m * 2^-k = m * 5^k / 10^k, and m * 5^k < 10^k: every digit is after the point.
        const std::string digits = times_power(x.m, 5, x.k);
        const std::string fraction =
            std::string(static_cast<std::size_t>(x.k) - digits.size(), '0') + digits;
        for (std::size_t aft : {static_cast<std::size_t>(x.k), std::size_t{1200}}) {
            std::string fixed;
            generics::put_real(fixed, v, 2, aft, 0);
            EXPECT_EQ(fixed, " 0." + fraction + std::string(aft - fraction.size(), '0'))
                << x.m << " aft " << aft;
        }
        // Scientific: the first digit before the point, every further one after it.
        const std::size_t zeros = fraction.find_first_not_of('0');
        const std::string exponent = "E-" + std::to_string(zeros + 1);
        for (std::size_t aft : {digits.size() - 1, std::max<std::size_t>(digits.size() - 1, 760),
                                std::size_t{1100}}) {
            std::string scientific;
            generics::put_real(scientific, v, 2, aft, 1);
            const std::string after =
                digits.substr(1) + std::string(aft - (digits.size() - 1), '0');
            EXPECT_EQ(scientific, " " + digits.substr(0, 1) + "." + after + exponent)
                << x.m << " aft " << aft;
        }
    }
    // The largest double: 309 digits before the point, all exact.
    std::string big;
    generics::put_real(big, std::numeric_limits<double>::max(), 0, 3, 0);
    EXPECT_EQ(big, times_power((std::uint64_t{1} << 53) - 1, 2, 971) + ".000");
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
