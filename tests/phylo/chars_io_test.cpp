#include <phylo/chars_io.hpp>

#include <generics/current_io.hpp>

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

using namespace phylo;

template <class Error, class F>
void expect_error(F&& f, const std::string& text) {
    try {
        f();
        ADD_FAILURE() << "no error; expected one saying: " << text;
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << e.what();
    }
}

template <class Print>
std::string printed(Print&& print) {
    std::ostringstream out;
    print(out);
    return out.str();
}

disc_array disc_of(const std::string& s) {
    disc_array a(0, static_cast<index_type>(s.size()) - 1);
    for (std::size_t i = 0; i < s.size(); ++i) a[static_cast<index_type>(i)] = s[i];
    return a;
}

TEST(LiteralLayouts, DiscreteArrayInEveryLayout) {
    const disc_array a = disc_of("AC");
    EXPECT_EQ(printed([&](auto& o) { disc_chars::print(o, a, false, '\t'); }), "\t'A'\t'C'\n");
    EXPECT_EQ(printed([&](auto& o) { disc_chars::print(o, a, true, '\t'); }), "\t 0\t 1\n\t'A'\t'C'\n");
    EXPECT_EQ(printed([&](auto& o) { disc_chars::print(o, a, false, '\n'); }), "'A'\n'C'\n");
    EXPECT_EQ(printed([&](auto& o) { disc_chars::print(o, a, true, '\n'); }), " 0\t'A'\n 1\t'C'\n");
    const disc_array empty;
    EXPECT_EQ(printed([&](auto& o) { disc_chars::print(o, empty, false, '\t'); }), "\n");
    EXPECT_EQ(printed([&](auto& o) { disc_chars::print(o, empty, true, '\t'); }), "\n\n");
    EXPECT_EQ(printed([&](auto& o) { disc_chars::print(o, empty, true, '\n'); }), "");
}

TEST(LiteralLayouts, CountBinaryAndMatrixRows) {
    count_array c(3, 4);
    c[3] = 3;
    c[4] = 12;
    EXPECT_EQ(printed([&](auto& o) { count_chars::print(o, c, false, ' '); }), "  3  12\n");
    EXPECT_EQ(printed([&](auto& o) { count_chars::print(o, c, true, ','); }), ", 3, 4\n, 3, 12\n");
    binary_array b(0, 2);
    b[1] = binary::ABSENCE;
    b[2] = binary::UNKNOWN;
    EXPECT_EQ(printed([&](auto& o) { binary_chars::print(o, b, false, ' '); }), " PRESENCE ABSENCE UNKNOWN\n");
    count_matrix m(0, 1, 5, 6);
    m(0, 5) = 1;
    m(1, 6) = 7;
    EXPECT_EQ(printed([&](auto& o) { count_chars::print(o, m, true, '\t'); }),
              "\t 5\t 6\n\t 1\t 0\n\t 5\t 6\n\t 0\t 7\n");
    EXPECT_EQ(printed([&](auto& o) { count_chars::print_row(o, 1, m, false, '\n'); }), " 0\n 7\n");
    expect_error<range_error>([&] { count_chars::print_row(std::cout, 2, m, false, '\n'); }, "index 2");
}

TEST(LiteralElements, ImagesWidthAndCase) {
    EXPECT_EQ(printed([](auto& o) { disc_chars::element_io::put(o, 'A', 5); }), "'A'  ");
    EXPECT_EQ(printed([](auto& o) { disc_chars::element_io::put(o, '\0'); }), "NUL");
    EXPECT_EQ(printed([](auto& o) { disc_chars::element_io::put(o, '\x7f', 0, type_set::LOWER_CASE); }), "del");
    EXPECT_EQ(printed([](auto& o) { disc_chars::element_io::put(o, 'a', 0, type_set::LOWER_CASE); }), "'a'");
    EXPECT_EQ(printed([](auto& o) { binary_chars::element_io::put(o, binary::PRESENCE, 0, type_set::LOWER_CASE); }),
              "presence");
    EXPECT_EQ(printed([](auto& o) { count_chars::element_io::put(o, 2147483647, 13); }), " 2147483647  ");
    std::string field(5, '*');
    count_chars::element_io::put(field, 12);
    EXPECT_EQ(field, "   12");
    std::string wide(8, '*');
    binary_chars::element_io::put(wide, binary::UNKNOWN, type_set::LOWER_CASE);
    EXPECT_EQ(wide, "unknown ");
}

TEST(LiteralElements, PutToAStringThatIsTooShortIsTheLengthError) {
    std::string field(5, '*');
    expect_error<length_error>([&] { binary_chars::element_io::put(field, binary::UNKNOWN); }, "does not fit in 5");
    EXPECT_EQ(field, "*****");
}

TEST(LiteralElements, EveryDiscreteStateReadsBackFromItsImage) {
    for (int code = 0; code < 256; ++code) {
        const char x = static_cast<char>(code);
        std::stringstream io;
        disc_chars::element_io::put(io, x, 0, code % 2 ? type_set::LOWER_CASE : type_set::UPPER_CASE);
        io << ' ';
        EXPECT_EQ(disc_chars::element_io::get(io), x) << "code " << code << " image " << io.str();
    }
}

TEST(LiteralElements, ReadingLiterals) {
    auto from = [](const std::string& s) { return std::istringstream(s); };
    auto in = from(" presence\n Unknown ");
    EXPECT_EQ(binary_chars::element_io::get(in), binary::PRESENCE);
    EXPECT_EQ(binary_chars::element_io::get(in), binary::UNKNOWN);
    auto maybe = from("maybe");
    expect_error<data_error>([&] { binary_chars::element_io::get(maybe); }, "found \"MAYBE\"");
    auto doubled = from("pre__sence");
    expect_error<data_error>([&] { binary_chars::element_io::get(doubled); }, "PRESENCE, ABSENCE or UNKNOWN");
    auto counts = from("\t12\n+3 0");
    EXPECT_EQ(count_chars::element_io::get(counts), 12);
    EXPECT_EQ(count_chars::element_io::get(counts), 3);
    EXPECT_EQ(count_chars::element_io::get(counts), 0);
    expect_error<end_error>([&] { count_chars::element_io::get(counts); }, "the input ends where a count");
    auto negative = from("-1");
    expect_error<data_error>([&] { count_chars::element_io::get(negative); }, "the count -1 is below 0");
    auto big = from("2147483648");
    expect_error<data_error>([&] { count_chars::element_io::get(big); }, "exceeds 2147483647");
    auto quoted = from("'x' lf 'y");
    EXPECT_EQ(disc_chars::element_io::get(quoted), 'x');
    EXPECT_EQ(disc_chars::element_io::get(quoted), '\n');
    expect_error<end_error>([&] { disc_chars::element_io::get(quoted); }, "closing apostrophe");
    auto wrong = from("\"A\"");
    expect_error<data_error>([&] { disc_chars::element_io::get(wrong); }, "expected a character literal, found '\"'");
}

TEST(LiteralElements, ReadingStopsRightAfterTheLiteral) {
    std::istringstream in("12;rest");
    EXPECT_EQ(count_chars::element_io::get(in), 12);
    EXPECT_EQ(in.get(), ';');
    const auto r = count_chars::element_io::get("  345 x");
    EXPECT_EQ(r.value, 345);
    EXPECT_EQ(r.last, 4u);
    const auto d = disc_chars::element_io::get("'q'");
    EXPECT_EQ(d.value, 'q');
    EXPECT_EQ(d.last, 2u);
    expect_error<end_error>([] { count_chars::element_io::get("   "); }, "a count");
}

TEST(LiteralArrays, ErrorsKeepEarlierElementsAndSayWhich) {
    count_array a(1, 3, 9);
    std::istringstream in("4 5 x");
    expect_error<data_error>([&] { count_chars::get(in, a); }, "element 3: expected a count (an unsigned integer), found \"x\"");
    EXPECT_EQ(a, count_array(1, std::vector<count_element>{4, 5, 9}));
    count_matrix m(0, 1, 0, 1);
    std::istringstream short_in("1 2\n3");
    expect_error<end_error>([&] { count_chars::get(short_in, m); }, "row 1, column 1: the input ends");
    EXPECT_EQ(m(1, 0), 3);
}

TEST(LiteralArrays, VectorsNeedEveryRow) {
    count_vector v(0, 1);
    v[0] = std::make_unique<count_array>(0, 1);
    std::istringstream in("1 2 3 4 5");
    expect_error<range_error>([&] { count_chars::get(in, v); }, "row 1 is null");
    EXPECT_EQ(*v[0], count_array(0, std::vector<count_element>{1, 2}));
    v[1] = std::make_unique<count_array>(5, 5);
    count_chars::get(in, v);
    EXPECT_EQ(*v[0], count_array(0, std::vector<count_element>{3, 4}));
    EXPECT_EQ((*v[1])[5], 5);
}

TEST(RealLayouts, NumberedLineFeedPutsIndexAndValueOnSeparateLines) {
    real_array a(0, 1);
    a[0] = 1.5;
    a[1] = -0.25;
    EXPECT_EQ(printed([&](auto& o) { real_chars::print(o, a, true, '\n', 2, 2, 0); }), " 0\n 1.50\n 1\n-0.25\n");
    EXPECT_EQ(printed([&](auto& o) { real_chars::print(o, a, false, '\t'); }),
              "\t 1.50000000000000E+00\t-2.50000000000000E-01\n");
    real_matrix m(0, 1, 0, 1);
    m(1, 1) = 3;
    EXPECT_EQ(printed([&](auto& o) { real_chars::print_row(o, 1, m, false, '\n', 1, 1, 0); }), "0.0\n3.0\n");
    EXPECT_EQ(printed([&](auto& o) { real_chars::element_io::put(o, 1.0 / 3, 3, 4, 0); }), "  0.3333");
    std::string field(8, '*');
    real_chars::element_io::put(field, -2.5, 1, 0);
    EXPECT_EQ(field, "    -2.5");
}

TEST(RealArrays, RoundTripAndFixedWidthFields) {
    real_matrix m(0, 1, 0, 2);
    const double values[] = {0.1, -1e-300, 6.02214076e23, 2.5, 0, 1.0 / 3};
    for (int k = 0; k < 6; ++k) m(k / 3, k % 3) = values[k];
    std::stringstream io;
    real_chars::print(io, m, false, ' ', 2, 16, 4); // 17 significant digits: exact
    real_matrix back(0, 1, 0, 2);
    real_chars::get(io, back);
    EXPECT_EQ(back, m);
    std::istringstream fields("  1.5-2.50  3.0");
    real_array a(0, 2);
    real_chars::get(fields, a, 5);
    EXPECT_EQ(a, real_array(0, std::vector<double>{1.5, -2.5, 3.0}));
    expect_error<data_error>([] { real_chars::element_io::get("1e999"); }, "is not a finite number");
}

TEST(CurrentIo, TwinsUseTheCurrentInputAndOutput) {
    std::istringstream in("7 8");
    std::ostringstream out;
    generics::input_redirect ri(in, "counts.txt");
    generics::output_redirect ro(out);
    count_array a(0, 1);
    count_chars::get(a);
    count_chars::print(a, false, '\t');
    count_chars::element_io::put(9);
    EXPECT_EQ(out.str(), "\t 7\t 8\n 9");
}

} // namespace
