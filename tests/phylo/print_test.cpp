#include <phylo/print.hpp>

#include <generics/current_io.hpp>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace phylo;
using print::dist_output_format;
using print::output_format;

template <class Error, class F>
void expect_error(F&& f, const std::string& text) {
    try {
        f();
        ADD_FAILURE() << "no error; expected one saying: " << text;
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << e.what();
    }
}

std::string file_text(const std::string& name) {
    std::ifstream in(std::string(LABMIX_TEST_DATA) + "/" + name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

disc_data disc_matrix_of(const std::vector<std::string>& labels, const std::vector<std::string>& rows) {
    disc_data x(0, static_cast<index_type>(labels.size()) - 1);
    for (index_type i = x.first; i <= x.last; ++i) {
        const std::string& r = rows[static_cast<std::size_t>(i)];
        x.labels[i] = labels[static_cast<std::size_t>(i)];
        x.rows[i] = std::make_unique<disc_array>(0, static_cast<index_type>(r.size()) - 1);
        std::copy(r.begin(), r.end(), x.rows[i]->begin());
    }
    return x;
}

template <class Data, class... Layout>
std::string written(const Data& x, Layout... layout) {
    std::ostringstream out;
    print::put(out, x, layout...);
    return out.str();
}

squared three_taxa() {
    squared x(0, 2);
    x.labels[0] = "a";
    x.labels[1] = "bb b";
    x.labels[2] = "ccc";
    for (index_type i = 0; i <= 2; ++i)
        for (index_type j = 0; j <= 2; ++j) x.matrix(i, j) = 10 * i + j;
    return x;
}

TEST(ClosingBlocks, HaveTheirExactLengths) {
    EXPECT_EQ(print::data_closing_block.size(), 551u);
    EXPECT_EQ(print::distances_closing_block.size(), 411u);
    std::ostringstream data, dist, none;
    print::print_footer(data, output_format::NEXUS_ENCLOSED);
    print::print_footer(dist, dist_output_format::NEXUS);
    print::print_footer(none, output_format::PHYLIP);
    EXPECT_EQ(data.str(), std::string(print::data_closing_block) + "\n");
    EXPECT_EQ(dist.str(), std::string(print::distances_closing_block) + "\n");
    EXPECT_EQ(none.str(), "");
}

TEST(Labels, FormsAndNexusNames) {
    EXPECT_EQ(print::to_nexus_label("Homo sapiens (L.)"), "Homo_sapiens__L.");
    EXPECT_EQ(print::to_nexus_label(" ()\t-"), "");
    EXPECT_EQ(print::to_nexus_label("a\x80\xe9"), "a_\xe9"); // codes 127 .. 159 are invalid, 160 .. 255 not
    auto label = [](std::string_view l, output_format f, index_type w) {
        std::ostringstream out;
        print::print_label(out, l, f, w);
        return out.str();
    };
    EXPECT_EQ(label("O'Brien", output_format::NEXUS_ENCLOSED, 11), "'O`Brien'  ");
    EXPECT_EQ(label("a b", output_format::EXTENDED_PHYLIP, 5), "a_b  ");
    EXPECT_EQ(label("abcdef", output_format::EXTENDED_PHYLIP, 4), "abcd");
    EXPECT_EQ(label("Homo sapiens", output_format::PHYLIP, 3), "Homo sapie");
    EXPECT_EQ(label("x", output_format::LABELS, 3), "x\n");
    EXPECT_EQ(label("x", output_format::RAW, 3), "");
    EXPECT_EQ(label("(a)", output_format::NEXUS, 3), "a  ");
    taxon_labels none;
    EXPECT_EQ(print::longest_label(none), 0);
}

TEST(Ruler, EndsAtTheFirstMultipleOfTenAboveNchar) {
    auto ruler = [](index_type nchar, index_type width) {
        std::ostringstream out;
        print::print_numbers(out, nchar, width);
        return out.str();
    };
    EXPECT_EQ(ruler(25, 5), "[    \t        10        20        30]\n[    \t         .         .         .]\n");
    EXPECT_EQ(ruler(20, 1), "[\t        10        20        30]\n[\t         .         .         .]\n");
    EXPECT_EQ(ruler(0, 2), "[ \t        10]\n[ \t         .]\n");
    expect_error<range_error>([&] { ruler(5, 0); }, "positive label width");
}

TEST(CharacterLayouts, PhylipFamilyLabelsAndRaw) {
    const disc_data x = disc_matrix_of({"a", "bb"}, {"ACGT", "AC-T"});
    EXPECT_EQ(written(x, output_format::EXTENDED_PHYLIP), " 2\t 4\na \tACGT\nbb\tAC-T\n");
    EXPECT_EQ(written(x, output_format::PHYLIP), " 2\t 4\na         \tACGT\nbb        \tAC-T\n");
    EXPECT_EQ(written(x, output_format::LABELS), "a\nbb\n");
    EXPECT_EQ(written(x, output_format::RAW), "\tACGT\n\tAC-T\n");
    const disc_data longer = disc_matrix_of({"Homo sapiens"}, {"A"});
    EXPECT_EQ(written(longer, output_format::PHYLIP), " 1\t 1\nHomo sapie\tA\n");
    EXPECT_EQ(written(longer, output_format::EXTENDED_PHYLIP), " 1\t 1\nHomo_sapiens\tA\n");
}

TEST(CharacterLayouts, NexusByteForByte) {
    const disc_data x = disc_matrix_of({"Homo sapiens", "O'Brien"}, {"ACGTACGTACGT", "AC-TAC-TAC-T"});
    const std::string head =
        "#NEXUS\n\nbegin data;\n\tdimensions ntax= 2 nchar= 12;\n\tformat datatype=nucleotide gap=- missing=?;\n\tmatrix\n";
    EXPECT_EQ(written(x, output_format::NEXUS),
              head +
                  "[           \t        10        20]\n"
                  "[           \t         .         .]\n"
                  "Homo_sapiens\tACGTACGTACGT\n"
                  "O_Brien     \tAC-TAC-TAC-T\n" +
                  std::string(print::data_closing_block) + "\n");
    EXPECT_EQ(written(x, output_format::NEXUS_ENCLOSED),
              head +
                  "[             \t        10        20]\n"
                  "[             \t         .         .]\n"
                  "'Homo sapiens'\tACGTACGTACGT\n"
                  "'O`Brien'     \tAC-TAC-TAC-T\n" +
                  std::string(print::data_closing_block) + "\n");
    EXPECT_EQ(file_text("print_nexus.nex"), written(x, output_format::NEXUS));
}

TEST(CharacterLayouts, CountAndRealRows) {
    count_data c(0, 0);
    c.labels[0] = "t";
    c.rows[0] = std::make_unique<count_array>(0, 1);
    (*c.rows[0])[1] = 12;
    EXPECT_EQ(written(c, output_format::EXTENDED_PHYLIP), " 1\t 2\nt\t 0\t 12\n");
    real_data r(0, 0);
    r.labels[0] = "t";
    r.rows[0] = std::make_unique<real_array>(0, 1);
    (*r.rows[0])[0] = 0.5;
    (*r.rows[0])[1] = -12.25;
    EXPECT_EQ(written(r, output_format::RAW), "\t 0.50000000\t-12.25000000\n");
    EXPECT_EQ(written(r, output_format::RAW, 4, 1, 2), "\t   5.0E-1\t  -1.2E+1\n");
    const std::string nexus = written(r, output_format::NEXUS);
    EXPECT_NE(nexus.find("format datatype=continuous missing=?;"), std::string::npos);
}

TEST(CharacterLayouts, ErrorsLeaveWhatWasWritten) {
    disc_data empty(0, -1);
    std::ostringstream out;
    expect_error<range_error>([&] { print::put(out, empty, output_format::PHYLIP); }, "without taxa");
    EXPECT_EQ(out.str(), "");
    disc_data null_row(0, 0);
    expect_error<range_error>([&] { print::put(out, null_row, output_format::RAW); }, "first taxon 0 is null");
    const disc_data unnamed = disc_matrix_of({"", ""}, {"A", "C"});
    expect_error<range_error>([&] { print::put(out, unnamed, output_format::EXTENDED_PHYLIP); }, "every label is empty");
    EXPECT_EQ(out.str(), " 2\t 1\n"); // the header was written
    EXPECT_NE(written(unnamed, output_format::NEXUS_ENCLOSED).find("[ \t        10]\n[ \t         .]\n''\tA\n''\tC\n"),
              std::string::npos); // quoted empty labels still give the column a width
}

TEST(DistanceLayouts, EveryLayout) {
    const squared x = three_taxa();
    const std::string row0 = "\t 0.00\t 1.00\t 2.00\n", row1 = "\t10.00\t11.00\t12.00\n", row2 = "\t20.00\t21.00\t22.00\n";
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
              "#NEXUS\n\nbegin distances;\n\tdimensions newtaxa ntax= 3;\n\tformat triangle=both labels;\n\tmatrix\n"
              "'a'   " + row0 + "'bb b'" + row1 + "'ccc' " + row2 + std::string(print::distances_closing_block) + "\n");
    EXPECT_EQ(written(x, dist_output_format::PHYLIP).substr(0, 25), " 3\na         \t 0.00000000");
}

TEST(DistanceLayouts, NoLabelsAndCurrentOutput) {
    squared none(0, -1);
    std::ostringstream out;
    expect_error<range_error>([&] { print::put(out, none, dist_output_format::TAB_SEPARATED); }, "every label is empty");
    EXPECT_EQ(out.str(), "\n");
    EXPECT_EQ(written(none, dist_output_format::PHYLIP), " 0\n");
    std::ostringstream current;
    generics::output_redirect r(current);
    print::put(three_taxa(), dist_output_format::LABELS);
    print::print_header(2, 3, output_format::PHYLIP, datatype::PROTEIN);
    EXPECT_EQ(current.str(), "a\nbb b\nccc\n\n 2\t 3\n");
}

} // namespace
