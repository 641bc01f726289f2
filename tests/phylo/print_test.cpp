#include <phylo/print.hpp>

#include "../test_support.hpp"
#include "records.hpp"

#include <generics/current_io.hpp>

#include <gtest/gtest.h>

#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace phylo;
using print::dist_output_format;
using print::output_format;
using test_records::make_data;
using test_records::make_disc;
using test_support::expect_error;
using test_support::printed;

template <class Data, class... Layout>
std::string written(const Data& x, Layout... layout) {
    return printed([&](auto& o) { print::put(o, x, layout...); });
}

TEST(ClosingBlocks, HaveTheirExactLengths) {
    EXPECT_EQ(print::data_closing_block.size(), 551u);
    EXPECT_EQ(print::distances_closing_block.size(), 411u);
    EXPECT_EQ(printed([](auto& o) { print::print_footer(o, output_format::NEXUS_ENCLOSED); }),
              std::string(print::data_closing_block) + "\n");
    EXPECT_EQ(printed([](auto& o) { print::print_footer(o, dist_output_format::NEXUS); }),
              std::string(print::distances_closing_block) + "\n");
    EXPECT_EQ(printed([](auto& o) { print::print_footer(o, output_format::PHYLIP); }), "");
}

TEST(Labels, FormsNexusNamesAndRuler) {
    EXPECT_EQ(print::to_nexus_label("Homo sapiens (L.)"), "Homo_sapiens__L.");
    EXPECT_EQ(print::to_nexus_label("a\x80\xe9"),
              "a_\xe9"); // codes 127 .. 159 are invalid, 160 .. 255 not
    const struct {
        const char* label;
        output_format format;
        index_type width;
        const char* expected;
    } cases[] = {{"O'Brien", output_format::NEXUS_ENCLOSED, 11, "'O`Brien'  "},
                 {"a b", output_format::EXTENDED_PHYLIP, 5, "a_b  "},
                 {"abcdef", output_format::EXTENDED_PHYLIP, 4, "abcd"},
                 {"Homo sapiens", output_format::PHYLIP, 3, "Homo sapie"},
                 {"x", output_format::LABELS, 3, "x\n"},
                 {"x", output_format::RAW, 3, ""},
                 {"(a)", output_format::NEXUS, 3, "a  "}};
    for (const auto& c : cases)
        EXPECT_EQ(printed([&](auto& o) { print::print_label(o, c.label, c.format, c.width); }),
                  c.expected)
            << c.label;
    // The ruler ends at the first multiple of ten above the number of characters.
    EXPECT_EQ(printed([](auto& o) { print::print_numbers(o, 25, 5); }),
              "[    \t        10        20        30]\n[    \t         .         .         .]\n");
    EXPECT_EQ(printed([](auto& o) { print::print_numbers(o, 0, 2); }),
              "[ \t        10]\n[ \t         .]\n");
    expect_error<range_error>([] { printed([](auto& o) { print::print_numbers(o, 5, 0); }); },
                              "positive label width");
}

TEST(CharacterLayouts, EveryLayoutByteForByte) {
    const disc_data x = make_disc({"a", "bb"}, {"ACGT", "AC-T"});
    EXPECT_EQ(written(x, output_format::EXTENDED_PHYLIP), " 2\t 4\na \tACGT\nbb\tAC-T\n");
    EXPECT_EQ(written(x, output_format::PHYLIP), " 2\t 4\na         \tACGT\nbb        \tAC-T\n");
    EXPECT_EQ(written(x, output_format::LABELS), "a\nbb\n");
    EXPECT_EQ(written(x, output_format::RAW), "\tACGT\n\tAC-T\n");
    const disc_data y = make_disc({"Homo sapiens", "O'Brien"}, {"ACGTACGTACGT", "AC-TAC-TAC-T"});
    EXPECT_EQ(written(y, output_format::NEXUS), test_support::data_file("print_nexus.nex"));
    EXPECT_EQ(
        written(y, output_format::NEXUS_ENCLOSED),
        "#NEXUS\n\nbegin data;\n\tdimensions ntax= 2 nchar= 12;\n\tformat datatype=nucleotide "
        "gap=- missing=?;\n"
        "\tmatrix\n[             \t        10        20]\n[             \t         .         .]\n"
        "'Homo sapiens'\tACGTACGTACGT\n'O`Brien'     \tAC-TAC-TAC-T\n" +
            std::string(print::data_closing_block) + "\n");
    const auto c = make_data<count_element>({"t"}, {{0, 12}});
    EXPECT_EQ(written(c, output_format::EXTENDED_PHYLIP), " 1\t 2\nt\t 0\t 12\n");
    const auto r = make_data<double>({"t"}, {{0.5, -12.25}});
    EXPECT_EQ(written(r, output_format::RAW), "\t 0.50000000\t-12.25000000\n");
    EXPECT_EQ(written(r, output_format::RAW, 4, 1, 2), "\t   5.0E-1\t  -1.2E+1\n");
    EXPECT_NE(written(r, output_format::NEXUS).find("format datatype=continuous missing=?;"),
              std::string::npos);
}

// What a reader would refuse or misread is refused before anything is written.
TEST(CharacterLayouts, ErrorsComeBeforeAnythingIsWritten) {
    const struct {
        disc_data x;
        output_format format;
        const char* message;
    } cases[] = {
        {disc_data(0, -1), output_format::PHYLIP, "without taxa"},
        {disc_data(0, 0), output_format::RAW, "first taxon 0 is null"},
        {make_disc({"", ""}, {"A", "C"}), output_format::EXTENDED_PHYLIP, "every label is empty"},
        {make_disc({"a", "b"}, {"ACGT", "AC"}), output_format::NEXUS,
         "the row of taxon 1 holds 2 characters, the first row 4"},
        {make_disc({"a\tb", "c"}, {"A", "C"}), output_format::EXTENDED_PHYLIP,
         "the label \"a\\tb\" of taxon 0 holds a tab, where a reader of the layout would end "
         "the name"},
        {make_disc({"a", "b\x85"}, {"A", "C"}), output_format::EXTENDED_PHYLIP,
         "holds the character of code 133"},
        {make_disc({"a\nb", "c"}, {"A", "C"}), output_format::PHYLIP,
         "holds the character "
         "of code 10"},
        {make_disc({"a", "          x"}, {"A", "C"}), output_format::PHYLIP,
         "the label \"          x\" of taxon 1 is blank in the 10 columns of a PHYLIP name"}};
    for (const auto& c : cases) {
        std::ostringstream out;
        expect_error<range_error>([&] { print::put(out, c.x, c.format); }, c.message);
        EXPECT_EQ(out.str(), "") << c.message;
    }
    const disc_data unnamed = make_disc({"", ""}, {"A", "C"});
    EXPECT_NE(written(unnamed, output_format::NEXUS_ENCLOSED)
                  .find("[ \t        10]\n[ \t         .]\n''\tA\n''\tC\n"),
              std::string::npos); // quoted empty labels still give the column a width
}

TEST(CharacterLayouts, StrictNamesThatCollideAreRefused) {
    const disc_data x = make_disc({"Homo_sapiens_A", "Pan", "Homo_sapiens_B"}, {"A", "C", "G"});
    std::ostringstream out;
    expect_error<range_error>([&] { print::put(out, x, output_format::PHYLIP); },
                              "the labels \"Homo_sapiens_A\" (taxon 0) and \"Homo_sapiens_B\" "
                              "(taxon 2) are both \"Homo_sapie\"");
    EXPECT_EQ(out.str(), ""); // refused before the header
    // A trailing blank is stripped by every reader: "a" and "a " are one name.
    const disc_data blank = make_disc({"a", "a "}, {"A", "C"});
    expect_error<range_error>([&] { print::put(out, blank, output_format::PHYLIP); },
                              "are both \"a\"");
    // Other layouts keep whole names; labels that were equal already are the caller's own.
    EXPECT_EQ(written(x, output_format::EXTENDED_PHYLIP).substr(0, 6), " 3\t 1\n");
    EXPECT_EQ(written(make_disc({"a", "a"}, {"A", "C"}), output_format::PHYLIP),
              " 2\t 1\na         \tA\na         \tC\n");
    squared d(0, 1);
    d.labels = taxon_labels(0, {"Homo_sapiens_A", "Homo_sapiens_B"});
    expect_error<range_error>([&] { print::put(out, d, dist_output_format::PHYLIP); },
                              "are both \"Homo_sapie\"");
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(written(d, dist_output_format::EXTENDED_PHYLIP, 1, 1, 0).substr(0, 3), " 2\n");
}

// The PHYLIP layouts with blanks in place of tabs, and a real layout given as one value,
// which writes what its three numbers write.
TEST(CharacterLayouts, BlankSeparatedPhylip) {
    using print::field_separator;
    using print::real_layout;
    const disc_data x = make_disc({"a", "bb"}, {"ACGT", "AC-T"});
    EXPECT_EQ(written(x, output_format::EXTENDED_PHYLIP, field_separator::BLANK),
              " 2  4\na  ACGT\nbb AC-T\n");
    EXPECT_EQ(written(x, output_format::PHYLIP, field_separator::BLANK),
              " 2  4\na          ACGT\nbb         AC-T\n");
    EXPECT_EQ(written(x, output_format::PHYLIP, field_separator::TAB),
              written(x, output_format::PHYLIP));
    // Layouts outside the PHYLIP family keep their tabs.
    for (const output_format f : {output_format::RAW, output_format::NEXUS})
        EXPECT_EQ(written(x, f, field_separator::BLANK), written(x, f));
    EXPECT_EQ(written(make_data<count_element>({"t"}, {{0, 12}}), output_format::EXTENDED_PHYLIP,
                      field_separator::BLANK),
              " 1  2\nt  0  12\n");
    const auto r = make_data<double>({"t"}, {{0.5, -12.25}});
    const std::string reals = " 1  2\nt           0.50 -12.25\n";
    EXPECT_EQ(written(r, output_format::PHYLIP, field_separator::BLANK, 2, 2, 0), reals);
    EXPECT_EQ(written(r, output_format::PHYLIP, real_layout(2, 2, 0), field_separator::BLANK),
              reals);
    EXPECT_EQ(written(r, output_format::RAW, real_layout(4, 1, 2)),
              written(r, output_format::RAW, 4, 1, 2));
    EXPECT_EQ(written(r, output_format::PHYLIP, print::default_layout()),
              written(r, output_format::PHYLIP));
    squared d(0, 1);
    d.labels = taxon_labels(0, {"a", "bb"});
    d.matrix(0, 1) = d.matrix(1, 0) = 0.5;
    const std::string distances = " 2\na          0.0 0.5\nbb         0.5 0.0\n";
    EXPECT_EQ(written(d, dist_output_format::PHYLIP, field_separator::BLANK, 1, 1, 0), distances);
    EXPECT_EQ(written(d, dist_output_format::TAB_SEPARATED, field_separator::BLANK, 1, 1, 0),
              written(d, dist_output_format::TAB_SEPARATED, 1, 1, 0));
    EXPECT_EQ(written(d, dist_output_format::EXTENDED_PHYLIP, real_layout(1, 3, 0)),
              written(d, dist_output_format::EXTENDED_PHYLIP, 1, 3, 0));
    std::ostringstream current;
    {
        generics::output_redirect redirect(current);
        print::put(x, output_format::EXTENDED_PHYLIP, field_separator::BLANK);
        print::put(d, dist_output_format::PHYLIP, real_layout(1, 1, 0), field_separator::BLANK);
    }
    EXPECT_EQ(current.str(), " 2  4\na  ACGT\nbb AC-T\n" + distances);
}

TEST(DistanceLayouts, EveryLayout) {
    squared x(0, 2);
    x.labels[0] = "a", x.labels[1] = "bb b", x.labels[2] = "ccc";
    for (index_type i = 0; i <= 2; ++i)
        for (index_type j = 0; j <= 2; ++j) x.matrix(i, j) = 10 * i + j;
    const std::string row0 = "\t 0.00\t 1.00\t 2.00\n", row1 = "\t10.00\t11.00\t12.00\n",
                      row2 = "\t20.00\t21.00\t22.00\n";
    EXPECT_EQ(written(x, dist_output_format::PHYLIP, 2, 2, 0),
              " 3\na         " + row0 + "bb b      " + row1 + "ccc       " + row2);
    EXPECT_EQ(written(x, dist_output_format::EXTENDED_PHYLIP, 2, 2, 0),
              " 3\na   " + row0 + "bb_b" + row1 + "ccc " + row2);
    EXPECT_EQ(written(x, dist_output_format::TAB_SEPARATED, 2, 2, 0),
              "\ta\tbb_b\tccc\na   " + row0 + "bb_b" + row1 + "ccc " + row2);
    EXPECT_EQ(written(x, dist_output_format::ONE_COLUMN, 2, 2, 0),
              "bb_b\ta   \t10.00\nccc \ta   \t20.00\nccc \tbb_b\t21.00\n\n");
    EXPECT_EQ(written(x, dist_output_format::LABELS), "a\nbb b\nccc\n\n");
    EXPECT_EQ(written(x, dist_output_format::RAW, 2, 2, 0), row0 + row1 + row2 + "\n");
    EXPECT_EQ(written(x, dist_output_format::NEXUS_ENCLOSED, 2, 2, 0),
              "#NEXUS\n\nbegin distances;\n\tdimensions newtaxa ntax= 3;\n\tformat triangle=both "
              "labels;\n\tmatrix\n"
              "'a'   " +
                  row0 + "'bb b'" + row1 + "'ccc' " + row2 +
                  std::string(print::distances_closing_block) + "\n");
    // Without taxa only the tab-separated header, which needs labels, fails; it and distances
    // that no reader takes back fail before anything is written.
    std::ostringstream out;
    expect_error<range_error>(
        [&] { print::put(out, squared(0, -1), dist_output_format::TAB_SEPARATED); },
        "every label is empty");
    x.matrix(2, 1) = std::numeric_limits<double>::infinity();
    expect_error<range_error>([&] { print::put(out, x, dist_output_format::PHYLIP); },
                              "the distance of row 2, column 1 is infinite");
    x.matrix(2, 1) = std::numeric_limits<double>::quiet_NaN();
    expect_error<range_error>([&] { print::put(out, x, dist_output_format::NEXUS); },
                              "is not a number, which no reader of distances takes back");
    expect_error<range_error>(
        [&] { print::put(out, x, dist_output_format::LABELS, 2, std::size_t(-1), 0); },
        "asks for more than 1100 digits");
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(written(squared(0, -1), dist_output_format::PHYLIP), " 0\n");
    std::ostringstream current;
    generics::output_redirect r(current);
    print::put(x, dist_output_format::LABELS);
    EXPECT_EQ(current.str(), "a\nbb b\nccc\n\n");
}

} // namespace
