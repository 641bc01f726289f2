#include <phylo/read.hpp>

#include "../test_support.hpp"

#include <phylo/print.hpp>

#include <generics/current_io.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

using namespace phylo;
using read::dist_input_format;
using read::input_format;
using test_support::data_file;
using test_support::expect_error;

// The rows of a discrete record, joined by '/'.
std::string rows_text(const disc_data& x) {
    std::string s;
    for (index_type i = x.first; i <= x.last; ++i)
        s += std::string(x.rows[i]->begin(), x.rows[i]->end()) + "/";
    return s;
}

TEST(Labels, EachFormTakesItsOwnLabel) {
    const struct {
        input_format format;
        const char* text;
        const char* label;
        char next;
    } cases[] = {
        {input_format::PHYLIP, "Homo sapieACGT", "Homo sapie", 'A'},
        {input_format::PHYLIP, "ab  \n  cdefgX", "ab    cdef", 'g'}, // the line end is not counted
        {input_format::EXTENDED_PHYLIP, "  Homo_sapiens ACGT", "Homo_sapiens", 'A'},
        {input_format::TAB_SEPARATED, " Homo sapiens  \t0.5", " Homo sapiens",
         '0'}, // padding before the tab goes
        {input_format::COMMENTED_PHYLIP, "Homo\nnote ACGT", "Homo",
         'A'}}; // the next line's first word goes
    for (const auto& c : cases) {
        test_support::text_input in(c.text);
        std::string label;
        read::get_label(in, c.format, label);
        EXPECT_EQ(label, c.label);
        EXPECT_EQ(test_support::next_char(in), c.next) << c.text;
    }
    test_support::text_input word("\t\n  \nabc\ndef");
    std::string w = ">";
    read::get_word(word, read::whitespace, w);
    EXPECT_EQ(w, ">abc");
    EXPECT_EQ(test_support::next_char(word), '\n'); // a line end that ends a word is not consumed
    test_support::text_input none(" \n ");
    expect_error<end_error>([&] { read::get_word(none, read::whitespace, w); },
                            "line 2: the input ends where a word was expected");
}

TEST(Headers, CharacterAndDistanceFiles) {
    test_support::text_input one("3 5 more words\nnext"), two(" 3\r\n\t5\r\n");
    EXPECT_EQ(read::get_header(one), (read::dimensions{3, 5}));
    EXPECT_EQ(test_support::next_char(one),
              'n'); // the rest of the header line is skipped with its line end
    EXPECT_EQ(read::get_header(two), (read::dimensions{3, 5}));
    // A header line longer than the old line buffer is read whole.
    std::string long_header;
    for (int i = 0; i < 12000; ++i) long_header += "\ttaxon_" + std::to_string(i);
    ASSERT_GT(long_header.size(), read::max_line_len);
    test_support::text_input big(long_header + "\n");
    EXPECT_EQ(read::get_header(big, dist_input_format::TAB_SEPARATED), 12000);
}

TEST(Headers, MalformedHeadersSayWhatWasExpected) {
    test_support::text_input word("three 5"), negative("3\n-5"), huge("99999999999 1"), cut("3");
    expect_error<data_error>([&] { read::get_header(word); },
                             "line 1: expected the number of taxa (an integer), found \"t\"");
    expect_error<range_error>([&] { read::get_header(negative); },
                              "line 2: the number of characters is -5, below 0");
    expect_error<range_error>([&] { read::get_header(huge); }, "above 2147483647");
    expect_error<end_error>([&] { read::get_header(cut); },
                            "the number of characters was expected");
    test_support::text_input zero("0 4\n"), no_tab("A B C\n");
    expect_error<range_error>([&] { read::get<count_data>(zero, input_format::PHYLIP); },
                              "declares 0 taxa");
    expect_error<range_error>([&] { read::get(no_tab, dist_input_format::TAB_SEPARATED); },
                              "holds no tab");
}

TEST(CharacterFiles, EveryInputLayout) {
    for (const char* name : {"read_lf.phy", "read_crlf.phy"}) {
        test_support::text_input in(data_file(name));
        const disc_data x = read::get(in, input_format::PHYLIP, read::whitespace);
        // The rest of a row's line is ignored; a longer name gives its 11th character as a state.
        EXPECT_EQ(x.labels, taxon_labels(0, {"Homo sapie", "Pan", "Gorilla_go"})) << name;
        EXPECT_EQ(rows_text(x), "ACGTA/AC-TA/rilla/") << name;
    }
    test_support::text_input ext("2 6\nHomo_sapiens ACG\n TTA\nPan AC GT\r\n--\n");
    EXPECT_EQ(rows_text(read::get(ext, input_format::EXTENDED_PHYLIP, read::whitespace)),
              "ACGTTA/ACGT--/");
    test_support::text_input com("2 2\nHomo note 1 2\nPan other 3 4 trailing\n");
    const count_data c = read::get<count_data>(com, input_format::COMMENTED_PHYLIP);
    EXPECT_EQ(*c.rows[1], count_array(0, std::vector<count_element>{3, 4}));
    test_support::text_input tab("2 3\nHomo sapiens\t1.5\t-2\t3e2\n big one \t0\t0\t0");
    const real_data r = read::get<real_data>(tab, input_format::TAB_SEPARATED);
    EXPECT_EQ(r.labels, taxon_labels(0, {"Homo sapiens", " big one"}));
    EXPECT_EQ(*r.rows[0], real_array(0, std::vector<double>{1.5, -2, 300}));
}

TEST(CharacterFiles, ErrorsNameTheInputLineTaxonAndCharacter) {
    test_support::text_input bad("2 3\na 1 2 3\nb 4 x 6\n"), cut("2 4\na ACGT\nb AC");
    expect_error<data_error>(
        [&] { read::get<count_data>(bad, input_format::EXTENDED_PHYLIP); },
        "line 3: taxon 1 (b), character 1: expected a count (an unsigned integer), found \"x\"");
    expect_error<end_error>(
        [&] { read::get(cut, input_format::EXTENDED_PHYLIP, read::whitespace); },
        "line 3: taxon 1 (b), character 2: the input ends where a character was expected");
    test_support::text_input no_label("2 1\nalpha     1.5\n\n"), inf("1 2\na 1 inf\n");
    expect_error<end_error>(
        [&] { read::get<real_data>(no_label, input_format::PHYLIP); },
        "taxon 1: the input ends where a label of 10 characters (0 read) was expected");
    expect_error<data_error>(
        [&] { read::get<real_data>(inf, input_format::EXTENDED_PHYLIP); },
        "line 2: taxon 0 (a), character 1: expected a real literal, found \"i\"");
    test_support::text_input dist("2\na 0 1\nb 1");
    expect_error<end_error>([&] { read::get(dist, dist_input_format::EXTENDED_PHYLIP); },
                            "line 3: taxon 1 (b), column 1");
    test_support::text_input in("1 1\na ?\n");
    generics::input_redirect redirect(in, "/data/m.phy");
    expect_error<data_error>([] { read::get<count_data>(input_format::EXTENDED_PHYLIP); },
                             "/data/m.phy: line 2: taxon 0 (a)");
}

// Biopython's strict interleaved layout (2 taxa, 100 sites, the second block indented by 10
// blanks): read as sequential, the second taxon's name would be the indent.
TEST(CharacterFiles, BlankStrictNamesAreTheDataError) {
    test_support::text_input in(data_file("read_interleaved_strict.phy"));
    expect_error<data_error>(
        [&] { read::get(in, input_format::PHYLIP, read::whitespace); },
        "line 5: taxon 1: the 10 characters of the name are all blank, which names no taxon");
    test_support::text_input dist("2\na         0 1\n          1 0\n");
    expect_error<data_error>([&] { read::get(dist, dist_input_format::PHYLIP); },
                             "line 3: taxon 1: the 10 characters of the name are all blank");
    // Blanks inside or around a name are still part of the ten columns.
    test_support::text_input padded("1 2\n   x      AC\n");
    EXPECT_EQ(read::get(padded, input_format::PHYLIP, read::whitespace).labels[0], "x");
}

TEST(CharacterFiles, HugeHeadersOfTruncatedFilesCostNoMemory) {
    test_support::text_input many_taxa("2000000000 1\na 1\n"), long_rows("1 2000000000\na 1 2 3\n");
    std::istringstream square("200000\na 0 1\n"); // a seekable stream is measured first
    expect_error<end_error>(
        [&] { read::get<count_data>(many_taxa, input_format::EXTENDED_PHYLIP); },
        "line 3: taxon 1: the input ends where a word was expected");
    expect_error<end_error>([&] { read::get<real_data>(long_rows, input_format::EXTENDED_PHYLIP); },
                            "taxon 0 (a), character 3: the input ends");
    expect_error<end_error>(
        [&] { read::get(square, dist_input_format::PHYLIP); },
        "line 1: the header declares 200000 taxa, but the input holds only 7 more characters");
    // A stream that cannot seek is read until it ends.
    struct unseekable : std::stringbuf {
        using std::stringbuf::stringbuf;
        pos_type seekoff(off_type, std::ios_base::seekdir, std::ios_base::openmode) override {
            return -1;
        }
        pos_type seekpos(pos_type, std::ios_base::openmode) override { return -1; }
    } pipe("3\na 0 1 2\n");
    std::istream piped(&pipe);
    expect_error<end_error>([&] { read::get(piped, dist_input_format::EXTENDED_PHYLIP); },
                            "taxon 1: the input ends");
    // Nor does a square promised by a stream that cannot tell its length: the values' room
    // follows the rows read (a billion taxa would be 8e18 bytes, the capacity error, when
    // allocated up front).
    for (const dist_input_format format :
         {dist_input_format::PHYLIP, dist_input_format::EXTENDED_PHYLIP}) {
        unseekable promise("1000000000\nalpha 0 1\n");
        std::istream in(&promise);
        expect_error<end_error>([&] { read::get(in, format); }, "the input ends");
    }
}

TEST(CharacterFiles, LongRowsAreReadInPieces) {
    const index_type nchar = (index_type{1} << 20) + 3;
    const std::string head = "1 " + std::to_string(nchar) + "\nlong ";
    test_support::text_input in(head + std::string(static_cast<std::size_t>(nchar) - 1, 'A') +
                                "C\n");
    const disc_data x = read::get(in, input_format::EXTENDED_PHYLIP, read::whitespace);
    ASSERT_EQ(x.rows[0]->length(), nchar);
    EXPECT_EQ((*x.rows[0])[nchar - 1], 'C');
    EXPECT_EQ((*x.rows[0])[nchar - 2], 'A');
    std::string counts;
    for (index_type j = 1; j < nchar; ++j) counts += "1 ";
    test_support::text_input bad(head + counts + "x\n");
    expect_error<data_error>([&] { read::get<count_data>(bad, input_format::EXTENDED_PHYLIP); },
                             "character " + std::to_string(nchar - 1) + ": expected a count");
}

// Where a file stream's own buffer (8,191 bytes) ends must change nothing: a long literal and
// a CR LF split by the end of that buffer read as anywhere else.
TEST(BlockBoundaries, FileBuffersEndNowhereInParticular) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("labmix_read_boundaries_" + std::to_string(::getpid()) + ".txt");
    const auto file = [&path](const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
        return std::ifstream(path, std::ios::binary);
    };
    // A real literal of 601 characters behind a label of 8,000 reads whole.
    for (const std::size_t label : {100, 8000}) {
        auto in = file("1 1\n" + std::string(label, 'x') + " 1." + std::string(598, '0') + "\n");
        const auto x = read::get<real_data>(in, input_format::EXTENDED_PHYLIP);
        EXPECT_EQ(x.rows[0]->unchecked(0), 1.0) << label;
    }
    // A line end that ends a label is never consumed, wherever the buffer ends.
    for (const std::size_t length : {8189, 8190, 8191}) {
        auto in = file(std::string(length, 'a') + "\r\nrest");
        std::string label;
        read::get_label(in, input_format::EXTENDED_PHYLIP, label);
        EXPECT_EQ(label.size(), length);
        std::string rest(std::istreambuf_iterator<char>(in), {});
        EXPECT_EQ(rest, "\r\nrest") << length;
    }
    std::filesystem::remove(path);
}

TEST(DistanceFiles, TabSeparatedCrLfFile) {
    test_support::text_input in(data_file("read_dist_crlf.tsv"));
    const squared x = read::get(in, dist_input_format::TAB_SEPARATED);
    EXPECT_EQ(x.labels, taxon_labels(0, {"Homo", "Pan", " Gorilla"}));
    EXPECT_EQ(x.matrix(0, 2), 0.1);
    EXPECT_EQ(x.matrix(1, 0), 0.5);
    EXPECT_TRUE(std::signbit(x.matrix(2, 2)));
}

// Print then read gives the same record, for every layout both sides know.
template <class Data, class Read>
void expect_round_trips(const std::string& text, Read read_as) {
    test_support::text_input in(text);
    const Data x = read_as(in, input_format::EXTENDED_PHYLIP);
    for (const auto& [out_format, in_format] :
         {std::pair{print::output_format::EXTENDED_PHYLIP, input_format::EXTENDED_PHYLIP},
          {print::output_format::PHYLIP, input_format::PHYLIP},
          {print::output_format::EXTENDED_PHYLIP, input_format::TAB_SEPARATED}}) {
        std::stringstream io;
        print::put(io, x, out_format);
        const Data y = read_as(io, in_format);
        taxon_labels expected = x.labels;
        if (in_format == input_format::PHYLIP)
            expected[0] = "Homo_sapie"; // the layout keeps 10 characters
        EXPECT_EQ(y.labels, expected) << io.str();
        for (index_type i = x.first; i <= x.last; ++i)
            EXPECT_EQ(*y.rows[i], *x.rows[i]) << io.str();
    }
}

TEST(RoundTrips, CharacterMatrices) {
    expect_round_trips<disc_data>(
        "3 4\nHomo_sapiens ACGT\nPan -?NA\nGorilla CGT-\n",
        [](std::istream& in, input_format f) { return read::get(in, f, read::whitespace); });
    expect_round_trips<count_data>(
        "3 3\nHomo_sapiens 0 1 2\nPan 1000 1001 0\nGorilla 2147483647 7 3\n",
        [](std::istream& in, input_format f) { return read::get<count_data>(in, f); });
    expect_round_trips<real_data>(
        "3 3\nHomo_sapiens -0.125 -0.124 0.001\nPan 0 1e-3 0.002\nGorilla 0.125 12.5 -3\n",
        [](std::istream& in, input_format f) { return read::get<real_data>(in, f); });
}

// Blanks in place of the PHYLIP layouts' tabs read back the same.
TEST(RoundTrips, BlankSeparatedPhylip) {
    const auto check = [](const auto& x, auto read_as) {
        for (const auto& [out_format, in_format] :
             {std::pair{print::output_format::EXTENDED_PHYLIP, input_format::EXTENDED_PHYLIP},
              {print::output_format::PHYLIP, input_format::PHYLIP}}) {
            std::stringstream io;
            print::put(io, x, out_format, print::field_separator::BLANK);
            ASSERT_EQ(io.str().find('\t'), std::string::npos) << io.str();
            const auto y = read_as(io, in_format);
            EXPECT_EQ(y.labels, x.labels) << io.str();
            for (index_type i = x.first; i <= x.last; ++i)
                EXPECT_EQ(*y.rows[i], *x.rows[i]) << io.str();
        }
    };
    test_support::text_input disc("2 4\nHomo ACGT\nPan_pan -?NA\n"),
        count("2 2\nHomo 0 1\nPan 7 3\n"), real("2 2\nHomo -0.125 1e-3\nPan 0 12.5\n");
    check(read::get(disc, input_format::EXTENDED_PHYLIP, read::whitespace),
          [](std::istream& in, input_format f) { return read::get(in, f, read::whitespace); });
    check(read::get<count_data>(count, input_format::EXTENDED_PHYLIP),
          [](std::istream& in, input_format f) { return read::get<count_data>(in, f); });
    check(read::get<real_data>(real, input_format::EXTENDED_PHYLIP),
          [](std::istream& in, input_format f) { return read::get<real_data>(in, f); });
}

TEST(RoundTrips, DistanceMatrices) {
    squared x(0, 3);
    x.labels = taxon_labels(0, {"a", "Homo_sapiens", "b_c", "dd"});
    for (index_type i = 0; i <= 3; ++i)
        for (index_type j = 0; j <= 3; ++j) x.matrix(i, j) = i == j ? 0 : 0.12345678 * (i + 1) - j;
    for (const auto& [out_format, in_format] :
         {std::pair{print::dist_output_format::PHYLIP, dist_input_format::PHYLIP},
          {print::dist_output_format::EXTENDED_PHYLIP, dist_input_format::EXTENDED_PHYLIP},
          {print::dist_output_format::TAB_SEPARATED, dist_input_format::TAB_SEPARATED}}) {
        std::stringstream io;
        print::put(io, x, out_format, 2, 8, 0);
        const squared y = read::get(io, in_format);
        taxon_labels expected = x.labels;
        if (in_format == dist_input_format::PHYLIP) expected[1] = "Homo_sapie"; // 10 characters
        EXPECT_EQ(y.labels, expected) << io.str();
        EXPECT_EQ(y.matrix, x.matrix) << io.str();
    }
}

} // namespace
