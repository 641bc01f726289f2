#include <generics/generic_character_io.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using generics::index_type;
using generics::text_cursor;

// Hands out its text in blocks of `chunk` characters, so that literals and line ends fall
// across block boundaries; with chunk 0 it has no get area at all and goes one character at
// a time through uflow, as standard input synchronised with C does.
class chunked_buffer : public std::streambuf {
public:
    chunked_buffer(std::string text, std::size_t chunk) : text_(std::move(text)), chunk_(chunk) {}
    std::size_t consumed() const { return chunk_ == 0 ? pos_ : static_cast<std::size_t>(gptr() - text_.data()); }

protected:
    int_type underflow() override {
        if (chunk_ == 0) return pos_ < text_.size() ? traits_type::to_int_type(text_[pos_]) : traits_type::eof();
        char* base = text_.data();
        const std::size_t at = gptr() == nullptr ? 0 : static_cast<std::size_t>(gptr() - base);
        if (at >= text_.size()) return traits_type::eof();
        setg(base, base + at, base + std::min(text_.size(), at + chunk_));
        return traits_type::to_int_type(*gptr());
    }
    int_type uflow() override {
        if (chunk_ != 0) return std::streambuf::uflow();
        if (pos_ >= text_.size()) return traits_type::eof();
        return traits_type::to_int_type(text_[pos_++]);
    }
    int_type pbackfail(int_type c) override {
        if (chunk_ == 0 && pos_ > 0) {
            --pos_;
            return c;
        }
        return traits_type::eof();
    }

private:
    std::string text_;
    std::size_t chunk_;
    std::size_t pos_ = 0;
};

template <class Error, class F>
void expect_error(F&& f, const std::string& text) {
    try {
        f();
        ADD_FAILURE() << "no error; expected one saying: " << text;
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << e.what();
    }
}

std::string real_image(double v, std::size_t fore, std::size_t aft, std::size_t exp) {
    std::string s;
    generics::put_real(s, v, fore, aft, exp);
    return s;
}

TEST(TextCursor, ReadsRealsAcrossBlockBoundariesAndConsumesExactly) {
    const std::string text = "1.25 -2.5e-3\r\n\t+7 .5 1e2 rest";
    for (std::size_t chunk : {0u, 1u, 2u, 3u, 5u, 64u}) {
        chunked_buffer buf(text, chunk);
        std::istream in(&buf);
        std::vector<double> got;
        {
            text_cursor c(in);
            for (int k = 0; k < 5; ++k) got.push_back(generics::read_real<double>(c));
        }
        EXPECT_EQ(got, (std::vector<double>{1.25, -2.5e-3, 7, 0.5, 100})) << "chunk " << chunk;
        EXPECT_EQ(text.substr(buf.consumed()), " rest") << "chunk " << chunk;
    }
}

TEST(TextCursor, LineEndsAreLfOrCrLfAtAnyBlockBoundary) {
    for (std::size_t chunk : {0u, 1u, 2u, 3u, 64u}) {
        chunked_buffer buf("ab\r\ncd\rx\n", chunk);
        std::istream in(&buf);
        text_cursor c(in, true);
        std::string chars;
        for (int ch = c.text_char(); ch != text_cursor::eof; ch = c.text_char()) chars.push_back(static_cast<char>(ch));
        EXPECT_EQ(chars, "abcd\rx") << "chunk " << chunk; // a lone CR is a character
        EXPECT_EQ(c.line(), 3) << "chunk " << chunk;
    }
}

TEST(TextCursor, LoneCrPeekedAtBlockEndIsGivenBack) {
    chunked_buffer buf("a\rb", 2);
    std::istream in(&buf);
    {
        text_cursor c(in);
        EXPECT_EQ(c.text_char(), 'a');
        EXPECT_FALSE(c.at_line_end()); // looks past the CR at the end of the first block
    }
    EXPECT_EQ(in.get(), '\r');
    EXPECT_EQ(in.get(), 'b');
}

TEST(TextCursor, MessagesNameInputLineAndItem) {
    std::istringstream in("1\n2\nx");
    text_cursor c(in, true, "data.txt");
    c.set_row("taxon 4, ");
    c.set_item("character", 2);
    generics::read_real<double>(c);
    generics::read_real<double>(c);
    expect_error<generics::data_error>([&] { generics::read_real<double>(c); },
                                       "data.txt: line 3: taxon 4, character 2: expected a real literal, found \"x\"");
}

TEST(RealLiterals, AcceptTheStandardSyntaxAndRejectWhatIsNotFinite) {
    auto read = [](const std::string& s) {
        std::istringstream in(s);
        text_cursor c(in);
        return generics::read_real<double>(c);
    };
    EXPECT_EQ(read("  42"), 42.0);
    EXPECT_EQ(read("5."), 5.0);
    EXPECT_EQ(read("-0.125E+1"), -1.25);
    EXPECT_EQ(read("1e-400"), 0.0); // below the smallest double: rounds to zero
    EXPECT_DOUBLE_EQ(read("1e-310"), 1e-310);
    expect_error<generics::data_error>([&] { read("1e400"); }, "\"1e400\" is not a finite number");
    expect_error<generics::data_error>([&] { read("inf"); }, "expected a real literal, found \"i\"");
    expect_error<generics::data_error>([&] { read("nan"); }, "found \"n\"");
    expect_error<generics::data_error>([&] { read("1e+x"); }, "found \"x\"");
    expect_error<generics::data_error>([&] { read("-."); }, "expected a real literal");
    expect_error<generics::end_error>([&] { read(" \n\t"); }, "the input ends where a real literal was expected");
}

TEST(RealLiterals, FixedWidthFieldsAllowBlanksAroundTheLiteral) {
    std::istringstream in("  1.5 -2.25\n  3  ");
    text_cursor c(in);
    EXPECT_EQ(generics::read_real<double>(c, 5), 1.5);
    EXPECT_EQ(generics::read_real<double>(c, 6), -2.25);
    EXPECT_EQ(generics::read_real<double>(c, 5), 3.0); // the field starts on the next line
    std::istringstream bad("1.5x  ");
    text_cursor b(bad);
    expect_error<generics::data_error>([&] { generics::read_real<double>(b, 4); }, "in the field \"1.5x\"");
}

TEST(RealImages, ForeAftAndExpLayout) {
    EXPECT_EQ(real_image(1.5, 2, 3, 0), " 1.500");
    EXPECT_EQ(real_image(-1.5, 2, 3, 0), "-1.500");
    EXPECT_EQ(real_image(-12.0, 2, 1, 0), "-12.0"); // fore is a minimum
    EXPECT_EQ(real_image(0.25, 5, 0, 0), "    0.2"); // at least one digit after the point (ties to even)
    EXPECT_EQ(real_image(12345.678, 2, 3, 2), " 1.235E+4");
    EXPECT_EQ(real_image(0.00012, 2, 3, 3), " 1.200E-04");
    EXPECT_EQ(real_image(1.5, 2, 14, 3), " 1.50000000000000E+00");
    EXPECT_EQ(real_image(2e100, 1, 1, 1), "2.0E+100");
    EXPECT_EQ(real_image(1.0, 0, 2, 5), "1.00E+0000");
}

TEST(TextSink, WritesWhatWasCollectedWhenAnErrorEndsTheWriting) {
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

TEST(PrintLayout, HeaderLineAndEmptyArrays) {
    auto layout = [](index_type first, index_type last, bool numbered, char sep, generics::layout_style st) {
        std::ostringstream out;
        generics::text_sink s(out);
        generics::print_layout(s, first, last, numbered, sep, st, [](generics::text_sink& ss, index_type i) {
            ss.put(static_cast<char>('a' + i));
        });
        s.flush();
        return out.str();
    };
    using generics::layout_style;
    EXPECT_EQ(layout(0, 1, true, ',', layout_style::literal), ", 0, 1\n,a,b\n");
    EXPECT_EQ(layout(0, 1, true, '\n', layout_style::real), " 0\na\n 1\nb\n");
    EXPECT_EQ(layout(0, 1, true, '\n', layout_style::plain), " 0\ta\n 1\tb\n");
    EXPECT_EQ(layout(0, -1, false, ',', layout_style::literal), "\n");
    EXPECT_EQ(layout(0, -1, true, ',', layout_style::literal), "\n\n");
    EXPECT_EQ(layout(0, -1, false, ',', layout_style::plain), ",\n");
    EXPECT_EQ(layout(0, -1, true, '\n', layout_style::real), "");
}

} // namespace

namespace {

// The fast fixed-point path must give exactly the digits of the exact decimal expansion.
TEST(RealImages, FixedPointAgreesWithTheExactExpansion) {
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::vector<double> values = {0.001953125, -0.001953125, 0.5, 1.5, 2.5, 0.125, 1e-9, 5e-9, 0.0, -0.0,
                                  4503599.6273704959, 123456789.0, 0.045, 1.0 / 3};
    for (int k = 0; k < 20000; ++k) values.push_back(unit(random) * std::pow(10.0, k % 12 - 4));
    for (int k = 0; k < 4096; ++k) values.push_back((2 * k + 1) / 512.0); // ties at 8 decimals
    for (double v : values) {
        for (std::size_t aft : {1u, 2u, 8u, 14u}) {
            char b[1100];
            const auto r = std::to_chars(b, b + sizeof b, v, std::chars_format::fixed, static_cast<int>(aft));
            const std::string exact(b, r.ptr);
            std::string fast;
            generics::put_real(fast, v, 0, aft, 0);
            ASSERT_EQ(fast, exact) << "value " << v << " aft " << aft;
        }
    }
}

} // namespace
