#include <phylo/read.hpp>

#include "../test_support.hpp"

#include <phylo/print.hpp>

#include <generics/current_io.hpp>

#include <gtest/gtest.h>

#include <sys/resource.h>

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

// A matrix as a PHYLIP file: rows of `width` values per line (0: each row on one line), in
// blocks separated by a blank line when interleaved, or each row wrapped over its lines when
// not. Discrete states are written together, with a blank after every 10 of them when
// `groups`; other values are separated by blanks. Later blocks start with `indent`.
struct phylip_writer {
    bool strict = false;
    bool discrete = true;
    bool groups = false;
    std::string indent;
    std::string eol = "\n";

    std::string name(const std::string& n) const {
        return strict ? (n + std::string(10, ' ')).substr(0, 10) : n + " ";
    }
    std::string values(const std::vector<std::string>& row, std::size_t from,
                       std::size_t to) const {
        std::string s;
        for (std::size_t j = from; j < to && j < row.size(); ++j) {
            if (j > from && (!discrete || (groups && (j - from) % 10 == 0))) s += ' ';
            s += row[j];
        }
        return s;
    }
    std::string text(const std::vector<std::string>& names,
                     const std::vector<std::vector<std::string>>& rows, std::size_t width,
                     bool interleaved) const {
        const std::size_t nchar = rows[0].size(), w = width == 0 ? nchar : width;
        std::string s = std::to_string(names.size()) + " " + std::to_string(nchar) + eol;
        if (!interleaved) {
            for (std::size_t i = 0; i < names.size(); ++i)
                for (std::size_t at = 0; at < nchar; at += w)
                    s += (at == 0 ? name(names[i]) : std::string()) + values(rows[i], at, at + w) +
                         eol;
            return s;
        }
        for (std::size_t at = 0; at < nchar; at += w) {
            if (at > 0) s += eol;
            for (std::size_t i = 0; i < names.size(); ++i)
                s += (at == 0 ? name(names[i]) : indent) + values(rows[i], at, at + w) + eol;
        }
        return s;
    }
};

std::vector<std::vector<std::string>> value_rows(std::size_t ntax, std::size_t nchar,
                                                 const std::vector<std::string>& alphabet) {
    std::vector<std::vector<std::string>> rows(ntax);
    for (std::size_t i = 0; i < ntax; ++i)
        for (std::size_t j = 0; j < nchar; ++j)
            rows[i].push_back(alphabet[(i * 7 + j * j) % alphabet.size()]);
    return rows;
}

template <class Data>
void expect_same_records(const Data& x, const Data& y, const std::string& text) {
    EXPECT_EQ(y.labels, x.labels) << text;
    ASSERT_EQ(y.last, x.last) << text;
    for (index_type i = x.first; i <= x.last; ++i) EXPECT_EQ(*y.rows[i], *x.rows[i]) << text;
}

// The same matrix read sequential and interleaved, whatever the width of the blocks, the
// label rule, the grouping of states, the indent of later blocks and the line ends.
TEST(Interleaved, EveryBlockWidthReadsAsSequential) {
    const std::vector<std::string> names{"Homo_sapiens", "Pan", "Gorilla_gorilla", "Pongo"};
    const auto states = value_rows(4, 123, {"A", "C", "G", "T", "-", "?", "N"});
    for (const bool strict : {false, true}) {
        const input_format format = strict ? input_format::PHYLIP : input_format::EXTENDED_PHYLIP;
        phylip_writer w;
        w.strict = strict;
        test_support::text_input seq(w.text(names, states, 0, false));
        const disc_data expected = read::get(seq, format, read::whitespace);
        ASSERT_EQ(rows_text(expected).size(), 4u * 124u);
        for (const std::size_t width : {1, 7, 10, 50, 60, 123, 200}) {
            w.groups = width % 10 == 0;
            w.indent = strict ? std::string(10, ' ') : width == 7 ? "\t" : "";
            w.eol = width == 50 ? "\r\n" : "\n";
            const std::string text = w.text(names, states, width, true);
            for (const auto layout : {read::row_layout::INTERLEAVED, read::row_layout::DETECT}) {
                test_support::text_input in(text);
                expect_same_records(expected, read::get(in, format, read::whitespace, layout),
                                    text);
            }
            // A sequential file whose rows wrap reads the same when the layout is detected.
            const std::string wrapped = w.text(names, states, width, false);
            test_support::text_input in(wrapped);
            expect_same_records(expected,
                                read::get(in, format, read::whitespace, read::row_layout::DETECT),
                                wrapped);
        }
    }
    phylip_writer w;
    w.discrete = false;
    const auto counts = value_rows(4, 25, {"0", "17", "3", "2147483647"});
    const auto reals = value_rows(4, 25, {"0.5", "-1e-3", "12", ".25"});
    test_support::text_input count_seq(w.text(names, counts, 0, false)),
        real_seq(w.text(names, reals, 0, false));
    const auto count_expected = read::get<count_data>(count_seq, input_format::EXTENDED_PHYLIP);
    const auto real_expected = read::get<real_data>(real_seq, input_format::EXTENDED_PHYLIP);
    for (const std::size_t width : {1, 7, 10}) {
        w.indent = width == 7 ? "   " : "";
        test_support::text_input c(w.text(names, counts, width, true)),
            r(w.text(names, reals, width, true));
        expect_same_records(
            count_expected,
            read::get<count_data>(c, input_format::EXTENDED_PHYLIP, read::row_layout::DETECT),
            w.text(names, counts, width, true));
        expect_same_records(
            real_expected,
            read::get<real_data>(r, input_format::EXTENDED_PHYLIP, read::row_layout::INTERLEAVED),
            w.text(names, reals, width, true));
    }
}

// Files written by Biopython (strict and relaxed) and by ape's write.dna.
TEST(Interleaved, FilesOfOtherTools) {
    for (const auto layout : {read::row_layout::DETECT, read::row_layout::INTERLEAVED}) {
        test_support::text_input strict(data_file("read_interleaved_strict.phy"));
        const disc_data x = read::get(strict, input_format::PHYLIP, read::whitespace, layout);
        EXPECT_EQ(x.labels, taxon_labels(0, {"Taxon00", "Taxon01"}));
        const std::string row0(x.rows[0]->begin(), x.rows[0]->end());
        const std::string row1(x.rows[1]->begin(), x.rows[1]->end());
        EXPECT_EQ(row0.substr(0, 20), "CGTTAATCCCTTTCCCTAAC");
        EXPECT_EQ(row0.substr(45, 10), "AGAGACGGAA"); // across the blocks
        EXPECT_EQ(row1.substr(90), "TTTAGTCGTG");
        const std::string homo = "ACGTACGTAC", pan = "TTGCA", gorilla = "GATTACA";
        std::string rows;
        for (int k = 0; k < 7; ++k) rows += homo;
        rows += "AC-T/";
        for (int k = 0; k < 14; ++k) rows += pan;
        rows += "NNNN/";
        for (int k = 0; k < 10; ++k) rows += gorilla;
        rows += "????"
                "/";
        test_support::text_input relaxed(data_file("read_interleaved_relaxed.phy"));
        const disc_data y =
            read::get(relaxed, input_format::EXTENDED_PHYLIP, read::whitespace, layout);
        EXPECT_EQ(y.labels, taxon_labels(0, {"Homo_sapiens", "Pan_troglodytes", "Gorilla"}));
        EXPECT_EQ(rows_text(y), rows);
        test_support::text_input ape(data_file("read_interleaved_ape.phy"));
        std::string lower = rows;
        for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        EXPECT_EQ(
            rows_text(read::get(ape, input_format::EXTENDED_PHYLIP, read::whitespace, layout)),
            lower);
    }
}

TEST(Interleaved, DetectionAndErrors) {
    // Blocks without blank lines between them look sequential: only the caller can tell.
    const std::string no_blank = "2 4\nalpha     AC\nbeta      GG\n          GT\n          TT\n";
    test_support::text_input detect(no_blank), told(no_blank);
    expect_error<data_error>(
        [&] {
            read::get(detect, input_format::PHYLIP, read::whitespace, read::row_layout::DETECT);
        },
        "line 4: taxon 1: the 10 characters of the name are all blank");
    EXPECT_EQ(rows_text(read::get(told, input_format::PHYLIP, read::whitespace,
                                  read::row_layout::INTERLEAVED)),
              "ACGT/GGTT/");
    // Trailing text after a full first line is ignored, as in a sequential file.
    test_support::text_input trailing(data_file("read_lf.phy"));
    EXPECT_EQ(rows_text(read::get(trailing, input_format::PHYLIP, read::whitespace,
                                  read::row_layout::DETECT)),
              "ACGTA/AC-TA/rilla/");
    // In blocks, every value on a line counts: one too many is the data error.
    test_support::text_input over("2 4\na ACG\nb ACG\n\nT\nTT\n"), cut("2 4\na AC\nb AC\n\nGT\n");
    expect_error<data_error>(
        [&] {
            read::get(over, input_format::EXTENDED_PHYLIP, read::whitespace,
                      read::row_layout::DETECT);
        },
        "line 6: taxon 1 (b), character 4: the line holds more characters than the 4 the header "
        "declares");
    expect_error<end_error>(
        [&] {
            read::get(cut, input_format::EXTENDED_PHYLIP, read::whitespace,
                      read::row_layout::INTERLEAVED);
        },
        "taxon 1 (b), the input ends where its line in block 2 (character 2 on) was expected");
    test_support::text_input counts("2 3\na 1 2\nb 3 4\n\n 5\n 6 7\n");
    expect_error<data_error>(
        [&] {
            read::get<count_data>(counts, input_format::EXTENDED_PHYLIP,
                                  read::row_layout::INTERLEAVED);
        },
        "line 6: taxon 1 (b), character 3: the line holds more characters than the 3");
    test_support::text_input bad("2 3\na 1 2\nb 3 4\n\n 5\n x\n");
    expect_error<data_error>(
        [&] {
            read::get<count_data>(bad, input_format::EXTENDED_PHYLIP, read::row_layout::DETECT);
        },
        "line 6: taxon 1 (b), character 2: expected a count (an unsigned integer), found \"x\"");
    // The current input, by name in messages.
    test_support::text_input in("1 3\na 1 2\n\n 3\n");
    generics::input_redirect redirect(in, "/data/m.phy");
    const auto x = read::get<count_data>(input_format::EXTENDED_PHYLIP, read::row_layout::DETECT);
    EXPECT_EQ(*x.rows[0], count_array(0, std::vector<count_element>{1, 2, 3}));
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
    // Not even within the first row, square or upper triangle: its room grows with what was
    // read (a billion values were once allocated and zeroed, 8 GB, before the end was found).
    for (const read::triangle shape : {read::triangle::SQUARE, read::triangle::UPPER}) {
        unseekable promise("1000000000\nalpha 0 1\n");
        std::istream in(&promise);
        expect_error<end_error>([&] { read::get(in, dist_input_format::EXTENDED_PHYLIP, shape); },
                                "the input ends");
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    EXPECT_LT(usage.ru_maxrss, 2L << 20) << "peak resident KB"; // 2 GB, far above a few MB
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

// A distance matrix in the shape given, as dnadist writes rows: the name in 10 columns, then
// 7 values on the name's line and on each indented line that continues the row.
std::string dnadist_rows(const squared& x, read::triangle shape) {
    const index_type n = x.last + 1;
    std::string s = "    " + std::to_string(n) + "\n";
    for (index_type i = 0; i < n; ++i) {
        index_type from = 0, to = n; // columns from .. to - 1
        if (shape == read::triangle::LOWER) to = i;
        if (shape == read::triangle::LOWER_DIAGONAL) to = i + 1;
        if (shape == read::triangle::UPPER) from = i + 1;
        if (shape == read::triangle::UPPER_DIAGONAL) from = i;
        s += (x.labels[i] + std::string(10, ' ')).substr(0, 10);
        for (index_type j = from; j < to; ++j) {
            if (j > from && (j - from) % 7 == 0) s += "\n";
            s += " " + std::to_string(x.matrix(i, j));
        }
        s += "\n";
    }
    return s;
}

TEST(DistanceFiles, TrianglesReadAsTheFullSquare) {
    using read::triangle;
    test_support::text_input square_file(data_file("read_dnadist_square.dist")),
        lower_file(data_file("read_dnadist_lower.dist"));
    const squared square = read::get(square_file, dist_input_format::PHYLIP);
    ASSERT_EQ(square.last, 9);
    EXPECT_EQ(square.labels[9], "Taxon09");
    EXPECT_EQ(square.matrix(9, 8), 0.236694); // on the line that continues the row
    for (const triangle shape : {triangle::LOWER, triangle::DETECT}) {
        test_support::text_input in(data_file("read_dnadist_lower.dist"));
        const squared lower = read::get(in, dist_input_format::PHYLIP, shape);
        EXPECT_EQ(lower.labels, square.labels);
        EXPECT_EQ(lower.matrix, square.matrix);
    }
    test_support::text_input detect_square(data_file("read_dnadist_square.dist"));
    EXPECT_EQ(read::get(detect_square, dist_input_format::PHYLIP, triangle::DETECT).matrix,
              square.matrix);
    // Every shape, named or detected, over wrapped rows (10 taxa: up to 2 lines a row) and
    // over rows on one line (3 taxa).
    squared three(0, 2);
    three.labels = taxon_labels(0, {"a", "b", "c"});
    three.matrix(0, 1) = three.matrix(1, 0) = 0.5;
    three.matrix(0, 2) = three.matrix(2, 0) = 0.25;
    three.matrix(1, 2) = three.matrix(2, 1) = 0.125;
    for (const squared* x : {&square, static_cast<const squared*>(&three)})
        for (const triangle shape : {triangle::SQUARE, triangle::LOWER, triangle::LOWER_DIAGONAL,
                                     triangle::UPPER, triangle::UPPER_DIAGONAL}) {
            const std::string text = dnadist_rows(*x, shape);
            for (const triangle as : {shape, triangle::DETECT}) {
                test_support::text_input in(text);
                const squared y = read::get(in, dist_input_format::PHYLIP, as);
                EXPECT_EQ(y.labels, x->labels) << text;
                EXPECT_EQ(y.matrix, x->matrix) << text;
            }
        }
    // A diagonal that is read is kept; one that is not is 0. PHYLIP's lower triangle ignores
    // a diagonal written after a row's values.
    test_support::text_input diagonal("2\na 9\nb 1 8\n"), ignored("2\na 7\nb 1 7\n"),
        one("1\nonly\n");
    const squared d =
        read::get(diagonal, dist_input_format::EXTENDED_PHYLIP, triangle::LOWER_DIAGONAL);
    EXPECT_EQ(d.matrix, real_matrix(0, 1, 0, 1, {9, 1, 1, 8}));
    EXPECT_EQ(read::get(ignored, dist_input_format::EXTENDED_PHYLIP, triangle::LOWER).matrix,
              real_matrix(0, 1, 0, 1, {0, 1, 1, 0}));
    EXPECT_EQ(read::get(one, dist_input_format::EXTENDED_PHYLIP, triangle::DETECT).matrix,
              real_matrix(0, 0, 0, 0, {0}));
    // Tab-separated files have triangles too.
    test_support::text_input tab("\ta\tb\tc\na\nb\t0.5\nc\t0.25\t0.125\n");
    EXPECT_EQ(read::get(tab, dist_input_format::TAB_SEPARATED, triangle::DETECT).matrix,
              three.matrix);
}

TEST(DistanceFiles, TriangleErrors) {
    using read::triangle;
    test_support::text_input odd("3\na 1 2 3 4\nb 1\nc\n"), cut("3\na\nb 1\nc 2\n"),
        bad("3\na\nb 0.5\nc 0.25 x\n");
    expect_error<data_error>(
        [&] { read::get(odd, dist_input_format::EXTENDED_PHYLIP, triangle::DETECT); },
        "the first rows hold 4 and 1 values, which fits no layout of 3 taxa");
    expect_error<end_error>(
        [&] { read::get(cut, dist_input_format::EXTENDED_PHYLIP, triangle::LOWER); },
        "line 5: taxon 2 (c), column 1: the input ends");
    expect_error<data_error>(
        [&] { read::get(bad, dist_input_format::EXTENDED_PHYLIP, triangle::DETECT); },
        "line 4: taxon 2 (c), column 1: expected a real literal, found \"x\"");
    std::istringstream promise("100000\na\n");
    expect_error<end_error>([&] { read::get(promise, dist_input_format::PHYLIP, triangle::LOWER); },
                            "too few for a triangle of 4999950000 values");
    test_support::text_input in("2\na\nb 3\n");
    generics::input_redirect redirect(in, "/data/d.phy");
    EXPECT_EQ(read::get(dist_input_format::EXTENDED_PHYLIP, triangle::LOWER).matrix(0, 1), 3);
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
