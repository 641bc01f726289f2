#include <phylo/read.hpp>

#include <phylo/print.hpp>

#include <generics/current_io.hpp>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace phylo;
using read::dist_input_format;
using read::input_format;

template <class Error, class F>
void expect_error(F&& f, const std::string& text) {
    try {
        f();
        ADD_FAILURE() << "no error; expected one saying: " << text;
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << e.what();
    }
}

std::string row_text(const disc_data& x, index_type i) {
    return std::string(x.rows[i]->begin(), x.rows[i]->end());
}

std::string file_text(const std::string& name) {
    std::ifstream in(std::string(LABMIX_TEST_DATA) + "/" + name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

template <class Data>
void expect_same(const Data& a, const Data& b) {
    ASSERT_EQ(a.first, b.first);
    ASSERT_EQ(a.last, b.last);
    EXPECT_EQ(a.labels, b.labels);
    for (index_type i = a.first; i <= a.last; ++i) EXPECT_EQ(*a.rows[i], *b.rows[i]) << "taxon " << i;
}

TEST(Labels, PhylipTakesTenCharactersAcrossLineEnds) {
    std::istringstream in("Homo sapieACGT\nab  \n  cdefgX");
    std::string a, b;
    read::get_label(in, input_format::PHYLIP, a);
    EXPECT_EQ(a, "Homo sapie");
    read::skip_rest(in);
    read::get_label(in, input_format::PHYLIP, b); // the line end is not counted
    EXPECT_EQ(b, "ab    cdef");
    EXPECT_EQ(in.get(), 'g');
}

TEST(Labels, WordsAndTabSeparatedCells) {
    std::istringstream ext("  Homo_sapiens ACGT");
    std::string l;
    read::get_label(ext, input_format::EXTENDED_PHYLIP, l);
    EXPECT_EQ(l, "Homo_sapiens");
    EXPECT_EQ(ext.get(), 'A'); // the blank after the word is consumed
    std::istringstream tab(" Homo sapiens  \t0.5");
    std::string t;
    read::get_label(tab, input_format::TAB_SEPARATED, t);
    EXPECT_EQ(t, " Homo sapiens"); // the blanks that pad the cell before its tab are dropped
    std::istringstream commented("Homo\nnote ACGT");
    std::string c;
    read::get_label(commented, input_format::COMMENTED_PHYLIP, c);
    EXPECT_EQ(c, "Homo");
    EXPECT_EQ(commented.get(), 'A'); // the first word of the next line was the discarded one
    std::istringstream word("\t\n  \nabc\ndef");
    std::string w = ">";
    read::get_word(word, read::whitespace, w);
    EXPECT_EQ(w, ">abc");
    EXPECT_EQ(word.get(), '\n'); // a line end that ends a word is not consumed
    std::istringstream none(" \n ");
    std::string n;
    expect_error<end_error>([&] { read::get_word(none, read::whitespace, n); }, "line 2: the input ends where a word was expected");
}

TEST(Headers, CharacterAndDistanceFiles) {
    std::istringstream one("3 5 more words\nnext");
    EXPECT_EQ(read::get_header(one), (read::dimensions{3, 5}));
    EXPECT_EQ(one.get(), 'n'); // the rest of the header line is skipped with its line end
    std::istringstream two(" 3\r\n\t5\r\n");
    EXPECT_EQ(read::get_header(two), (read::dimensions{3, 5}));
    std::istringstream tabs("\tA\tB\tC\r\nA\t0");
    EXPECT_EQ(read::get_header(tabs, dist_input_format::TAB_SEPARATED), 3);
    EXPECT_EQ(tabs.get(), 'A');
    std::istringstream phylip("4 trailing\n");
    EXPECT_EQ(read::get_header(phylip, dist_input_format::PHYLIP), 4);
    // A header line longer than the old line buffer is read whole.
    std::string long_header;
    for (int i = 0; i < 12000; ++i) long_header += "\ttaxon_" + std::to_string(i);
    std::istringstream big(long_header + "\n");
    EXPECT_GT(long_header.size(), read::max_line_len);
    EXPECT_EQ(read::get_header(big, dist_input_format::TAB_SEPARATED), 12000);
}

TEST(Headers, MalformedHeadersSayWhatWasExpected) {
    std::istringstream word("three 5");
    expect_error<data_error>([&] { read::get_header(word); }, "line 1: expected the number of taxa (an integer), found \"t\"");
    std::istringstream negative("3\n-5");
    expect_error<range_error>([&] { read::get_header(negative); }, "line 2: the number of characters is -5, below 0");
    std::istringstream huge("99999999999 1");
    expect_error<range_error>([&] { read::get_header(huge); }, "above 2147483647");
    std::istringstream cut("3");
    expect_error<end_error>([&] { read::get_header(cut); }, "the number of characters was expected");
    std::istringstream zero("0 4\n");
    expect_error<range_error>([&] { read::get<count_data>(zero, input_format::PHYLIP); }, "declares 0 taxa");
    std::istringstream no_tab("A B C\n");
    expect_error<range_error>([&] { read::get(no_tab, dist_input_format::TAB_SEPARATED); }, "holds no tab");
}

TEST(CharacterFiles, PhylipLabelsAndCrLfTwins) {
    for (const char* name : {"read_lf.phy", "read_crlf.phy"}) {
        std::istringstream in(file_text(name));
        const disc_data x = read::get(in, input_format::PHYLIP, read::whitespace);
        ASSERT_EQ(x.last, 2) << name;
        EXPECT_EQ(x.labels[0], "Homo sapie");
        EXPECT_EQ(row_text(x, 0), "ACGTA"); // the rest of its line is ignored
        EXPECT_EQ(x.labels[1], "Pan");
        EXPECT_EQ(row_text(x, 1), "AC-TA");
        EXPECT_EQ(x.labels[2], "Gorilla_go"); // a longer name gives its 11th character as a state
        EXPECT_EQ(row_text(x, 2), "rilla");
    }
}

TEST(CharacterFiles, ExtendedCommentedAndTabSeparatedRows) {
    std::istringstream ext("2 6\nHomo_sapiens ACG\n TTA\nPan AC GT\r\n--\n");
    const disc_data e = read::get(ext, input_format::EXTENDED_PHYLIP, read::whitespace);
    EXPECT_EQ(e.labels[0], "Homo_sapiens");
    EXPECT_EQ(row_text(e, 0), "ACGTTA"); // a row may run over several lines
    EXPECT_EQ(row_text(e, 1), "ACGT--");
    std::istringstream com("2 2\nHomo note 1 2\nPan other 3 4 trailing\n");
    const count_data c = read::get<count_data>(com, input_format::COMMENTED_PHYLIP);
    EXPECT_EQ(c.labels[1], "Pan");
    EXPECT_EQ(*c.rows[1], count_array(0, std::vector<count_element>{3, 4}));
    std::istringstream tab("2 3\nHomo sapiens\t1.5\t-2\t3e2\n big one \t0\t0\t0");
    const real_data r = read::get<real_data>(tab, input_format::TAB_SEPARATED);
    EXPECT_EQ(r.labels[0], "Homo sapiens");
    EXPECT_EQ(r.labels[1], " big one");
    EXPECT_EQ(*r.rows[0], real_array(0, std::vector<double>{1.5, -2, 300}));
    std::istringstream empty_rows("2 0\na\nb\n");
    const count_data z = read::get<count_data>(empty_rows, input_format::EXTENDED_PHYLIP);
    EXPECT_EQ(z.rows[1]->length(), 0);
    EXPECT_EQ(z.labels[1], "b");
}

TEST(CharacterFiles, ErrorsNameTheLineTaxonAndCharacter) {
    std::istringstream bad("2 3\na 1 2 3\nb 4 x 6\n");
    expect_error<data_error>([&] { read::get<count_data>(bad, input_format::EXTENDED_PHYLIP); },
                             "line 3: taxon 1 (b), character 1: expected a count (an unsigned integer), found \"x\"");
    std::istringstream neg("1 2\na 1 -2\n");
    expect_error<data_error>([&] { read::get<count_data>(neg, input_format::EXTENDED_PHYLIP); },
                             "taxon 0 (a), character 1: the count -2 is below 0");
    std::istringstream cut("2 4\na ACGT\nb AC");
    expect_error<end_error>([&] { read::get(cut, input_format::EXTENDED_PHYLIP, read::whitespace); },
                            "line 3: taxon 1 (b), character 2: the input ends where a character was expected");
    std::istringstream no_label("2 1\nalpha     1.5\n\n");
    expect_error<end_error>([&] { read::get<real_data>(no_label, input_format::PHYLIP); },
                            "taxon 1: the input ends where a label of 10 characters (0 read) was expected");
    std::istringstream inf("1 2\na 1 inf\n");
    expect_error<data_error>([&] { read::get<real_data>(inf, input_format::EXTENDED_PHYLIP); },
                             "line 2: taxon 0 (a), character 1: expected a real literal, found \"i\"");
}

TEST(CharacterFiles, HugeHeadersOfTruncatedFilesCostNoMemory) {
    std::istringstream many_taxa("2000000000 1\na 1\n");
    expect_error<end_error>([&] { read::get<count_data>(many_taxa, input_format::EXTENDED_PHYLIP); },
                            "line 3: taxon 1: the input ends where a word was expected");
    std::istringstream long_rows("1 2000000000\na 1 2 3\n");
    expect_error<end_error>([&] { read::get<real_data>(long_rows, input_format::EXTENDED_PHYLIP); },
                            "taxon 0 (a), character 3: the input ends");
    std::istringstream big_square("200000\na 0 1\n");
    expect_error<end_error>([&] { read::get(big_square, dist_input_format::PHYLIP); },
                            "line 1: the header declares 200000 taxa, but the input holds only 7 more characters");
    // A stream that cannot seek is read until it ends.
    std::stringbuf text("3\na 0 1 2\n");
    struct unseekable : std::streambuf {
        explicit unseekable(std::stringbuf& t) : t_(t) {}
        int_type underflow() override { return t_.sgetc(); }
        int_type uflow() override { return t_.sbumpc(); }
        std::stringbuf& t_;
    } pipe(text);
    std::istream piped(&pipe);
    expect_error<end_error>([&] { read::get(piped, dist_input_format::EXTENDED_PHYLIP); }, "taxon 1: the input ends");
}

TEST(CharacterFiles, LongRowsAreReadInPieces) {
    const index_type nchar = (index_type{1} << 20) + 3;
    std::string text = "1 " + std::to_string(nchar) + "\nlong ";
    text.append(static_cast<std::size_t>(nchar) - 1, 'A');
    text += "C\n";
    std::istringstream in(text);
    const disc_data x = read::get(in, input_format::EXTENDED_PHYLIP, read::whitespace);
    ASSERT_EQ(x.rows[0]->length(), nchar);
    EXPECT_EQ(x.rows[0]->first(), 0);
    EXPECT_EQ((*x.rows[0])[nchar - 1], 'C');
    EXPECT_EQ((*x.rows[0])[nchar - 2], 'A');
    std::string counts;
    for (index_type j = 1; j < nchar; ++j) counts += "1 ";
    std::istringstream bad("1 " + std::to_string(nchar) + "\nlong " + counts + "x\n");
    expect_error<data_error>([&] { read::get<count_data>(bad, input_format::EXTENDED_PHYLIP); },
                             "character " + std::to_string(nchar - 1) + ": expected a count");
}

TEST(CharacterFiles, CurrentInputMessagesNameTheInput) {
    std::istringstream in("1 1\na ?\n");
    generics::input_redirect r(in, "/data/m.phy");
    expect_error<data_error>([] { read::get<count_data>(input_format::EXTENDED_PHYLIP); }, "/data/m.phy: line 2: taxon 0 (a)");
}

TEST(DistanceFiles, TabSeparatedCrLfFile) {
    std::istringstream in(file_text("read_dist_crlf.tsv"));
    const squared x = read::get(in, dist_input_format::TAB_SEPARATED);
    ASSERT_EQ(x.last, 2);
    EXPECT_EQ(x.labels[0], "Homo");
    EXPECT_EQ(x.labels[1], "Pan");
    EXPECT_EQ(x.labels[2], " Gorilla");
    EXPECT_EQ(x.matrix(0, 2), 0.1);
    EXPECT_EQ(x.matrix(1, 0), 0.5);
    EXPECT_EQ(x.matrix(1, 2), 2.0);
    EXPECT_TRUE(std::signbit(x.matrix(2, 2)));
    std::istringstream cut("2\na 0 1\nb 1");
    expect_error<end_error>([&] { read::get(cut, dist_input_format::EXTENDED_PHYLIP); }, "line 3: taxon 1 (b), column 1");
}

// Print then read gives the same record, for every layout both sides know.
TEST(RoundTrips, CharacterMatrices) {
    disc_data d(0, 2);
    count_data c(0, 2);
    real_data r(0, 2);
    const std::vector<std::string> labels = {"Homo_sapiens", "Pan", "Gorilla"};
    for (index_type i = 0; i <= 2; ++i) {
        d.labels[i] = c.labels[i] = r.labels[i] = labels[static_cast<std::size_t>(i)];
        d.rows[i] = std::make_unique<disc_array>(0, 3);
        c.rows[i] = std::make_unique<count_array>(0, 3);
        r.rows[i] = std::make_unique<real_array>(0, 3);
        for (index_type j = 0; j <= 3; ++j) {
            (*d.rows[i])[j] = "ACGT-?N"[(i + j) % 7];
            (*c.rows[i])[j] = static_cast<count_element>(i * 1000 + j);
            (*r.rows[i])[j] = (i - 1) * 0.125 + j * 1e-3;
        }
    }
    const std::pair<print::output_format, input_format> layouts[] = {
        {print::output_format::EXTENDED_PHYLIP, input_format::EXTENDED_PHYLIP},
        {print::output_format::PHYLIP, input_format::PHYLIP},
        {print::output_format::EXTENDED_PHYLIP, input_format::TAB_SEPARATED},
    };
    for (const auto& [out_format, in_format] : layouts) {
        std::stringstream ds, cs, rs;
        print::put(ds, d, out_format);
        print::put(cs, c, out_format);
        print::put(rs, r, out_format);
        if (out_format == print::output_format::PHYLIP) {
            d.labels[0] = c.labels[0] = r.labels[0] = "Homo_sapie"; // the layout keeps 10 characters
        }
        expect_same(read::get(ds, in_format, read::whitespace), d);
        expect_same(read::get<count_data>(cs, in_format), c);
        expect_same(read::get<real_data>(rs, in_format), r);
        d.labels[0] = c.labels[0] = r.labels[0] = "Homo_sapiens";
    }
}

TEST(RoundTrips, DistanceMatrices) {
    squared x(0, 3);
    const std::vector<std::string> labels = {"a", "Homo_sapiens", "b_c", "dd"};
    for (index_type i = 0; i <= 3; ++i) {
        x.labels[i] = labels[static_cast<std::size_t>(i)];
        for (index_type j = 0; j <= 3; ++j) x.matrix(i, j) = i == j ? 0 : 0.12345678 * (i + 1) - j;
    }
    const std::pair<print::dist_output_format, dist_input_format> layouts[] = {
        {print::dist_output_format::PHYLIP, dist_input_format::PHYLIP},
        {print::dist_output_format::EXTENDED_PHYLIP, dist_input_format::EXTENDED_PHYLIP},
        {print::dist_output_format::TAB_SEPARATED, dist_input_format::TAB_SEPARATED},
    };
    for (const auto& [out_format, in_format] : layouts) {
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
