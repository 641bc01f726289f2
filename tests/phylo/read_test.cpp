#include <phylo/read.hpp>

#include "../test_support.hpp"
#include "records.hpp"

#include <phylo/print.hpp>

#include <generics/current_io.hpp>

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

namespace {

using namespace phylo;
using read::dist_input_format;
using read::input_format;
using read::row_layout;
using read::triangle;
using test_records::summary;
using test_support::data_file;
using test_support::expect_error;
using test_support::text_input;
constexpr auto phylip = input_format::PHYLIP, extended = input_format::EXTENDED_PHYLIP;
constexpr auto dist_phylip = dist_input_format::PHYLIP,
               dist_extended = dist_input_format::EXTENDED_PHYLIP,
               dist_tab = dist_input_format::TAB_SEPARATED;
constexpr auto interleaved = row_layout::INTERLEAVED, detect = row_layout::DETECT;

// A reader of a test's input, giving the record's summary.
using reader = std::function<std::string(std::istream&)>;

// Reads a character matrix as get(in, format[, layout]) does.
template <class Data = disc_data, class... Layout>
reader chars(input_format f, Layout... layout) {
    return [=](std::istream& in) {
        if constexpr (std::is_same_v<Data, disc_data>)
            return summary(read::get(in, f, read::whitespace, layout...));
        else
            return summary(read::get<Data>(in, f, layout...));
    };
}

template <class... Shape>
reader dist(dist_input_format f, Shape... shape) {
    return [=](std::istream& in) { return summary(read::get(in, f, shape...)); };
}

// A reader of the current input, which names the input "/data/m.phy".
reader current(std::string (*read)()) {
    return [read](std::istream& in) {
        generics::input_redirect redirect(in, "/data/m.phy");
        return read();
    };
}

// Checks what reading text gives (see test_records::expect_outcome).
void expect_reads(const reader& read, const std::string& text, const std::string& expected) {
    text_input in(text);
    test_records::expect_outcome(test_records::outcome([&] { return read(in); }), expected, text);
}

struct input_case {
    reader read;
    std::string text, expected;
};

TEST(Labels, EachFormTakesItsOwnLabel) {
    const struct {
        input_format format;
        const char* text;
        const char* label;
        char next;
    } cases[] = {{phylip, "Homo sapieACGT", "Homo sapie", 'A'},
                 {phylip, "ab  \n  cdefgX", "ab    cdef", 'g'}, // the line end is not counted
                 {extended, "  Homo_sapiens ACGT", "Homo_sapiens", 'A'},
                 // padding before the tab goes; so does the next line's first word
                 {input_format::TAB_SEPARATED, " Homo sapiens  \t0.5", " Homo sapiens", '0'},
                 {input_format::COMMENTED_PHYLIP, "Homo\nnote ACGT", "Homo", 'A'}};
    for (const auto& c : cases) {
        text_input in(c.text);
        std::string label;
        read::get_label(in, c.format, label);
        EXPECT_EQ(label, c.label);
        EXPECT_EQ(test_support::next_char(in), c.next) << c.text;
    }
    text_input word("\t\n  \nabc\ndef");
    std::string w = ">";
    read::get_word(word, read::whitespace, w);
    EXPECT_EQ(w, ">abc");
    EXPECT_EQ(test_support::next_char(word), '\n'); // a line end that ends a word is not consumed
    text_input one("3 5 more words\nnext");
    EXPECT_EQ(read::get_header(one), (read::dimensions{3, 5}));
    EXPECT_EQ(test_support::next_char(one), 'n'); // the rest of the line goes with its line end
}

TEST(Headers, WhatEachGives) {
    const reader word = [](std::istream& in) {
        std::string w;
        read::get_word(in, read::whitespace, w);
        return w;
    };
    const reader header = [](std::istream& in) {
        const read::dimensions d = read::get_header(in);
        return std::to_string(d.ntax) + " " + std::to_string(d.nchar);
    };
    // A header line longer than the old line buffer is read whole.
    std::string long_header;
    for (int i = 0; i < 12000; ++i) long_header += "\ttaxon_" + std::to_string(i);
    ASSERT_GT(long_header.size(), read::max_line_len);
    const input_case cases[] = {
        {word, " \n ", "end error: line 2: the input ends where a word was expected"},
        {header, " 3\r\n\t5\r\n", "3 5"},
        {header, "three 5",
         "data error: line 1: expected the number of taxa (an integer), found \"t\""},
        {header, "3\n-5", "range error: line 2: the number of characters is -5, below 0"},
        {header, "99999999999 1", "range error: above 2147483647"},
        {header, "3", "end error: the number of characters was expected"},
        {[](std::istream& in) { return std::to_string(read::get_header(in, dist_tab)); },
         long_header + "\n", "12000"}};
    for (const auto& c : cases) expect_reads(c.read, c.text, c.expected);
}

// Every malformed file names the input line, the taxon and the character.
TEST(CharacterFiles, WhatEachInputGives) {
    const std::string lf = data_file("read_lf.phy"),
                      more_states = "data error: line 2: taxon 0 (Homo sapie), the row holds "
                                    "more than the 5 characters the header declares: "
                                    "\"trailing\" follows them",
                      no_blank = "2 4\nalpha     AC\nbeta      GG\n          GT\n          TT\n";
    const input_case cases[] = {
        // A row's line holds nothing after its last state: more states than the header
        // declares are the data error, read sequential or detected, with LF or CR LF.
        {chars(phylip), lf, more_states},
        {chars(phylip), data_file("read_crlf.phy"), more_states},
        {chars(phylip, detect), lf, more_states},
        {chars(extended), "1 3\nA ACGT\n",
         "data error: line 2: taxon 0 (A), the row holds more "
         "than the 3 characters the header declares: \"T\""},
        // A longer name gives its 11th character as a state.
        {chars(phylip), "1 5\nGorilla_gorilla\n", "Gorilla_go:rilla/"},
        // Blanks inside or around a name are still part of the ten columns.
        {chars(phylip), "1 2\n   x      AC\n", "x:AC/"},
        // Blocks without blank lines between them look sequential: only the caller can tell.
        {chars(phylip, interleaved), no_blank, "alpha:ACGT/beta:GGTT/"},
        {chars(phylip, detect), no_blank,
         "data error: line 3: taxon 0 (alpha), the row holds more than the 4 characters the "
         "header declares: \"ta\" follows them"},
        {chars(extended), "2 6\nHomo_sapiens ACG\n TTA\nPan AC GT\r\n--\n",
         "Homo_sapiens:ACGTTA/Pan:ACGT--/"},
        {chars<count_data>(input_format::COMMENTED_PHYLIP), "2 2\nHomo note 1 2 \nPan other 3 4\n",
         "Homo:1 2/Pan:3 4/"},
        // A value ends at a blank, a tab or a line end; its front is not taken for it.
        {chars<count_data>(extended), "1 2\na 1 2x\n",
         "data error: line 2: taxon 0 (a), character 1: the value 2 runs on into \"x\"; values "
         "end at a blank, a tab or a line end"},
        {chars<real_data>(extended, detect), "1 2\na 2.5.1 3\n",
         "data error: line 2: taxon 0 (a), character 0: the value 2.5 runs on into \".1\""},
        {chars<real_data>(input_format::TAB_SEPARATED),
         "2 3\nHomo sapiens\t1.5\t-2\t3e2\n big one \t0\t0\t0",
         "Homo sapiens:1.5 -2 300/ big one:0 0 0/"},
        {chars<count_data>(phylip), "0 4\n", "range error: declares 0 taxa"},
        {current([] { return summary(read::get<count_data>(extended, detect)); }),
         "1 3\na 1 2\n\n 3\n", "a:1 2 3/"},
        {current([] { return summary(read::get<count_data>(extended)); }), "1 1\na ?\n",
         "data error: /data/m.phy: line 2: taxon 0 (a)"},
        {chars<count_data>(extended), "2 3\na 1 2 3\nb 4 x 6\n",
         "data error: line 3: taxon 1 (b), character 1: expected a count (an unsigned integer), "
         "found \"x\""},
        {chars(extended), "2 4\na ACGT\nb AC",
         "end error: line 3: taxon 1 (b), character 2: the input ends where a character was "
         "expected"},
        {chars<real_data>(phylip), "2 1\nalpha     1.5\n\n",
         "end error: taxon 1: the input ends where a label of 10 characters (0 read) was expected"},
        {chars<real_data>(extended), "1 2\na 1 inf\n",
         "data error: line 2: taxon 0 (a), character 1: expected a real literal, found \"i\""},
        // Biopython's strict interleaved layout (2 taxa, 100 sites, the second block indented
        // by 10 blanks): read as sequential, the first row would run into the second's line.
        {chars(phylip), data_file("read_interleaved_strict.phy"),
         "data error: line 3: taxon 0 (Taxon00), the row holds more than the 100 characters"},
        // In blocks, every value on a line counts: one too many is the data error.
        {chars(extended, detect), "2 4\na ACG\nb ACG\n\nT\nTT\n",
         "data error: line 6: taxon 1 (b), character 4: the line holds more characters than the "
         "4 the header declares"},
        {chars(extended, interleaved), "2 4\na AC\nb AC\n\nGT\n",
         "end error: taxon 1 (b), the input ends where its line in block 2 (character 2 on) was "
         "expected"},
        {chars<count_data>(extended, interleaved), "2 3\na 1 2\nb 3 4\n\n 5\n 6 7\n",
         "data error: line 6: taxon 1 (b), character 3: the line holds more characters than the "
         "3"},
        {chars<count_data>(extended, detect), "2 3\na 1 2\nb 3 4\n\n 5\n x\n",
         "data error: line 6: taxon 1 (b), character 2: expected a count (an unsigned integer), "
         "found \"x\""}};
    for (const auto& c : cases) expect_reads(c.read, c.text, c.expected);
}

TEST(CharacterFiles, HugeHeadersOfTruncatedFilesCostNoMemory) {
    expect_reads(chars<count_data>(extended), "2000000000 1\na 1\n",
                 "end error: line 3: taxon 1: the input ends where a word was expected");
    expect_reads(chars<real_data>(extended), "1 2000000000\na 1 2 3\n",
                 "end error: taxon 0 (a), character 3: the input ends");
    std::istringstream square("200000\na 0 1\n"); // a seekable stream is measured first
    expect_error<end_error>(
        [&] { read::get(square, dist_phylip); },
        "line 1: the header declares 200000 taxa, but the input holds only 7 more characters");
    // A stream that cannot seek (a piece buffer) is read until it ends.
    const auto piped = [](const std::string& text, const reader& read, const char* message) {
        test_support::piece_buffer pipe(text, 4096);
        std::istream in(&pipe);
        expect_error<end_error>([&] { read(in); }, message);
    };
    piped("3\na 0 1 2\n", dist(dist_extended), "taxon 1: the input ends");
    // Nor does a square promised by a stream that cannot tell its length: the values' room
    // follows the rows read (a billion taxa would be 8e18 bytes, the capacity error, when
    // allocated up front). Not even within the first row, square or upper triangle: its room
    // grows with what was read (a billion values were once allocated and zeroed, 8 GB, before
    // the end was found).
    for (const reader& read :
         {dist(dist_phylip), dist(dist_extended), dist(dist_extended, triangle::SQUARE),
          dist(dist_extended, triangle::UPPER)})
        piped("1000000000\nalpha 0 1\n", read, "the input ends");
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    EXPECT_LT(usage.ru_maxrss, 2L << 20) << "peak resident KB"; // 2 GB, far above a few MB
}

TEST(CharacterFiles, LongRowsAreReadInPieces) {
    const index_type nchar = (index_type{1} << 20) + 3;
    const std::string head = "1 " + std::to_string(nchar) + "\nlong ";
    text_input in(head + std::string(static_cast<std::size_t>(nchar) - 1, 'A') + "C\n");
    const disc_data x = read::get(in, extended, read::whitespace);
    ASSERT_EQ(x.rows[0]->length(), nchar);
    EXPECT_EQ((*x.rows[0])[nchar - 1], 'C');
    EXPECT_EQ((*x.rows[0])[nchar - 2], 'A');
    std::string counts;
    for (index_type j = 1; j < nchar; ++j) counts += "1 ";
    expect_reads(chars<count_data>(extended), head + counts + "x\n",
                 "data error: character " + std::to_string(nchar - 1) + ": expected a count");
}

// Where a file stream's own buffer (8,191 bytes) ends must change nothing: a long literal and
// a CR LF split by the end of that buffer read as anywhere else.
TEST(CharacterFiles, FileBuffersEndNowhereInParticular) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("labmix_read_boundaries_" + std::to_string(::getpid()) + ".txt");
    const auto file = [&path](const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
        return std::ifstream(path, std::ios::binary);
    };
    // A real literal of 601 characters behind a label of 8,000 reads whole.
    for (const std::size_t label : {100, 8000}) {
        auto in = file("1 1\n" + std::string(label, 'x') + " 1." + std::string(598, '0') + "\n");
        EXPECT_EQ(read::get<real_data>(in, extended).rows[0]->unchecked(0), 1.0) << label;
    }
    // A line end that ends a label is never consumed, wherever the buffer ends.
    for (const std::size_t length : {8189, 8190, 8191}) {
        auto in = file(std::string(length, 'a') + "\r\nrest");
        std::string label;
        read::get_label(in, extended, label);
        EXPECT_EQ(label.size(), length);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "\r\nrest") << length;
    }
    std::filesystem::remove(path);
}

// A matrix as a PHYLIP file: rows of `width` values per line (0: each row on one line), in
// blocks separated by a blank line when interleaved, or each row wrapped over its lines when
// not. Discrete states are written together, with a blank after every 10 of them when
// `groups`; other values are separated by blanks. Later blocks start with `indent`.
struct phylip_writer {
    bool strict = false, discrete = true, groups = false;
    std::string indent, eol = "\n";

    std::string text(const std::vector<std::string>& names,
                     const std::vector<std::vector<std::string>>& rows, std::size_t width,
                     bool interleaved) const {
        const std::size_t nchar = rows[0].size(), w = width == 0 ? nchar : width;
        const auto line = [&](std::size_t i, std::size_t at) {
            std::string s = at > 0   ? (interleaved ? indent : "")
                            : strict ? (names[i] + std::string(10, ' ')).substr(0, 10)
                                     : names[i] + " ";
            for (std::size_t j = at; j < at + w && j < nchar; ++j) {
                if (j > at && (!discrete || (groups && (j - at) % 10 == 0))) s += ' ';
                s += rows[i][j];
            }
            return s + eol;
        };
        std::string s = std::to_string(names.size()) + " " + std::to_string(nchar) + eol;
        if (!interleaved) {
            for (std::size_t i = 0; i < names.size(); ++i)
                for (std::size_t at = 0; at < nchar; at += w) s += line(i, at);
            return s;
        }
        for (std::size_t at = 0; at < nchar; at += w) {
            if (at > 0) s += eol;
            for (std::size_t i = 0; i < names.size(); ++i) s += line(i, at);
        }
        return s;
    }
};

std::vector<std::vector<std::string>> value_rows(std::size_t nchar,
                                                 const std::vector<std::string>& alphabet) {
    std::vector<std::vector<std::string>> rows(4);
    for (std::size_t i = 0; i < 4; ++i)
        for (std::size_t j = 0; j < nchar; ++j)
            rows[i].push_back(alphabet[(i * 7 + j * j) % alphabet.size()]);
    return rows;
}

// The same matrix read sequential and interleaved, whatever the width of the blocks, the
// label rule, the grouping of states, the indent of later blocks and the line ends.
TEST(Interleaved, EveryBlockWidthReadsAsSequential) {
    const std::vector<std::string> names{"Homo_sapiens", "Pan", "Gorilla_gorilla", "Pongo"};
    const auto states = value_rows(123, {"A", "C", "G", "T", "-", "?", "N"});
    for (const bool strict : {false, true}) {
        const input_format format = strict ? phylip : extended;
        phylip_writer w;
        w.strict = strict;
        text_input seq(w.text(names, states, 0, false));
        const std::string expected = summary(read::get(seq, format, read::whitespace));
        // the labels, then each row's 123 states between ':' and '/'
        ASSERT_EQ(expected.size(), (strict ? 28u : 35u) + 4u * 125u);
        for (const std::size_t width : {1, 7, 10, 50, 60, 123, 200}) {
            w.groups = width % 10 == 0;
            w.indent = strict ? std::string(10, ' ') : width == 7 ? "\t" : "";
            w.eol = width == 50 ? "\r\n" : "\n";
            for (const auto layout : {interleaved, detect})
                expect_reads(chars(format, layout), w.text(names, states, width, true), expected);
            // A sequential file whose rows wrap reads the same when the layout is detected.
            expect_reads(chars(format, detect), w.text(names, states, width, false), expected);
        }
    }
    phylip_writer w;
    w.discrete = false;
    const auto counts = value_rows(25, {"0", "17", "3", "2147483647"});
    const auto reals = value_rows(25, {"0.5", "-1e-3", "12", ".25"});
    text_input count_seq(w.text(names, counts, 0, false)), real_seq(w.text(names, reals, 0, false));
    const std::string count_expected = summary(read::get<count_data>(count_seq, extended)),
                      real_expected = summary(read::get<real_data>(real_seq, extended));
    for (const std::size_t width : {1, 7, 10}) {
        w.indent = width == 7 ? "   " : "";
        expect_reads(chars<count_data>(extended, detect), w.text(names, counts, width, true),
                     count_expected);
        expect_reads(chars<real_data>(extended, interleaved), w.text(names, reals, width, true),
                     real_expected);
    }
}

// Files written by Biopython (strict and relaxed) and by ape's write.dna.
TEST(Interleaved, FilesOfOtherTools) {
    // The rows in upper case, or in lower case as ape writes them.
    const auto rows = [](bool lower) {
        const auto row = [lower](const std::string& label, const char* s, int n, const char* end) {
            std::string r;
            while (n-- > 0) r += s;
            for (char& ch : r += end) ch = lower ? static_cast<char>(std::tolower(ch)) : ch;
            return label + ":" + r + "/";
        };
        return row("Homo_sapiens", "ACGTACGTAC", 7, "AC-T") +
               row("Pan_troglodytes", "TTGCA", 14, "NNNN") +
               row("Gorilla", "GATTACA", 10,
                   "??"
                   "??");
    };
    for (const auto layout : {detect, interleaved}) {
        text_input strict(data_file("read_interleaved_strict.phy"));
        const disc_data x = read::get(strict, phylip, read::whitespace, layout);
        EXPECT_EQ(x.labels, taxon_labels(0, {"Taxon00", "Taxon01"}));
        const std::string row0(x.rows[0]->begin(), x.rows[0]->end());
        EXPECT_EQ(row0.substr(0, 20), "CGTTAATCCCTTTCCCTAAC");
        EXPECT_EQ(row0.substr(45, 10), "AGAGACGGAA"); // across the blocks
        EXPECT_EQ(std::string(x.rows[1]->begin(), x.rows[1]->end()).substr(90), "TTTAGTCGTG");
        expect_reads(chars(extended, layout), data_file("read_interleaved_relaxed.phy"),
                     rows(false));
        expect_reads(chars(extended, layout), data_file("read_interleaved_ape.phy"), rows(true));
    }
}

// A distance matrix in the shape given, as dnadist writes rows: the name in 10 columns, then
// 7 values on the name's line and on each indented line that continues the row.
std::string dnadist_rows(const squared& x, triangle shape) {
    const index_type n = x.last + 1;
    std::string s = "    " + std::to_string(n) + "\n";
    for (index_type i = 0; i < n; ++i) {
        index_type from = 0, to = n; // columns from .. to - 1
        if (shape == triangle::LOWER) to = i;
        if (shape == triangle::LOWER_DIAGONAL) to = i + 1;
        if (shape == triangle::UPPER) from = i + 1;
        if (shape == triangle::UPPER_DIAGONAL) from = i;
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
    text_input square_file(data_file("read_dnadist_square.dist"));
    const squared square = read::get(square_file, dist_phylip);
    ASSERT_EQ(square.last, 9);
    EXPECT_EQ(square.labels[9], "Taxon09");
    EXPECT_EQ(square.matrix(9, 8), 0.236694); // on the line that continues the row
    squared three(0, 2);
    three.labels = taxon_labels(0, {"a", "b", "c"});
    three.matrix = real_matrix(0, 2, 0, 2, {0, 0.5, 0.25, 0.5, 0, 0.125, 0.25, 0.125, 0});
    const std::string lower = data_file("read_dnadist_lower.dist");
    std::vector<input_case> cases = {
        {dist(dist_phylip, triangle::LOWER), lower, summary(square)},
        {dist(dist_phylip, triangle::DETECT), lower, summary(square)},
        {dist(dist_phylip, triangle::DETECT), data_file("read_dnadist_square.dist"),
         summary(square)},
        {dist(dist_tab), data_file("read_dist_crlf.tsv"),
         "Homo:0 0.5 0.1/Pan:0.5 0 2/ Gorilla:0.1 2 -0/"},
        // A diagonal that is read is kept; one that is not is 0.
        {dist(dist_extended, triangle::LOWER_DIAGONAL), "2\na 9\nb 1 8\n", "a:9 1/b:1 8/"},
        {dist(dist_extended, triangle::LOWER), "2\na\nb 1\n", "a:0 1/b:1 0/"},
        // A row holding more values than its shape and the header's count give is the data
        // error, whatever the shape: read on, a square would pass for a triangle, a longer
        // row for a shorter one.
        {dist(dist_extended, triangle::LOWER), "2\na 7\nb 1 7\n",
         "data error: line 2: taxon 0 (a), the row holds more than 0 values of a lower triangle "
         "of 2 taxa: \"7\" follows them"},
        {dist(dist_extended, triangle::UPPER_DIAGONAL), "2\na 0 1\nb 1 0\n",
         "data error: line 3: taxon 1 (b), the row holds more than 1 value of an upper triangle "
         "with its diagonal of 2 taxa: \"0\""},
        {dist(dist_phylip), "2\na         0 1 2\nb         1 0 2\n",
         "data error: line 2: taxon 0 (a), the row holds more than the 2 values of a square of the "
         "2 taxa the header declares: \"2\" follows them"},
        {dist(dist_phylip), "2\na         0 1,5\nb         1 0\n",
         "data error: line 2: taxon 0 (a), column 1: the value 1 runs on into \",5\""},
        // R's write.table writes no header cell above the labels: n names above rows of n + 1
        // cells. With a cell there, empty or named, the header holds n + 1 cells.
        {dist(dist_tab), "A\tB\tC\nA\t0\t1\t2\nB\t1\t0\t3\nC\t2\t3\t0\n",
         "A:0 1 2/B:1 0 3/C:2 3 0/"},
        {dist(dist_tab), "taxon\tA\tB\nA\t0\t1\nB\t1\t0\n", "A:0 1/B:1 0/"},
        // ... and puts every label between double quotes by default.
        {dist(dist_tab), "\"A\"\t\"B \"\"2\"\"\"\n\"A\"\t0\t1\n\"B \"\"2\"\"\"\t1\t0\n",
         "A:0 1/B \"2\":1 0/"},
        // The header names the rows' taxa in their order.
        {dist(dist_tab), "\tC\tB\tA\nA\t0\t1\t2\nB\t1\t0\t1\nC\t2\t1\t0\n",
         "data error: line 2: taxon 0 (A), the header line names taxon 0 \"C\", not this row's "
         "label"},
        {dist(dist_extended, triangle::DETECT), "1\nonly\n", "only:0/"},
        // Tab-separated files have triangles too.
        {dist(dist_tab, triangle::DETECT), "\ta\tb\tc\na\nb\t0.5\nc\t0.25\t0.125\n",
         "a:0 0.5 0.25/b:0.5 0 0.125/c:0.25 0.125 0/"},
        {current([] { return summary(read::get(dist_extended, triangle::LOWER)); }), "2\na\nb 3\n",
         "a:0 3/b:3 0/"},
        {dist(dist_tab), "A B C\n", "range error: holds no tab"},
        {dist(dist_extended), "2\na 0 1\nb 1", "end error: line 3: taxon 1 (b), column 1"},
        {dist(dist_phylip), "2\na         0 1\n          1 0\n",
         "data error: line 3: taxon 1: the 10 characters of the name are all blank"},
        {dist(dist_extended, triangle::DETECT), "3\na 1 2 3 4\nb 1\nc\n",
         "data error: the first rows hold 4 and 1 values, which fits no layout of 3 taxa"},
        {dist(dist_extended, triangle::LOWER), "3\na\nb 1\nc 2\n",
         "end error: line 5: taxon 2 (c), column 1: the input ends"},
        {dist(dist_extended, triangle::DETECT), "3\na\nb 0.5\nc 0.25 x\n",
         "data error: line 4: taxon 2 (c), column 1: expected a real literal, found \"x\""}};
    // Every shape, named or detected, over wrapped rows (10 taxa: up to 2 lines a row) and
    // over rows on one line (3 taxa).
    for (const squared* x : {&square, static_cast<const squared*>(&three)})
        for (const triangle shape : {triangle::SQUARE, triangle::LOWER, triangle::LOWER_DIAGONAL,
                                     triangle::UPPER, triangle::UPPER_DIAGONAL})
            for (const triangle as : {shape, triangle::DETECT})
                cases.push_back({dist(dist_phylip, as), dnadist_rows(*x, shape), summary(*x)});
    for (const auto& c : cases) expect_reads(c.read, c.text, c.expected);
    std::istringstream promise("100000\na\n");
    expect_error<end_error>([&] { read::get(promise, dist_phylip, triangle::LOWER); },
                            "too few for a triangle of 4999950000 values");
}

// Print then read gives the same record, for every layout both sides know, with tabs or with
// blanks in place of the PHYLIP layouts' tabs.
TEST(RoundTrips, CharacterMatrices) {
    using print::field_separator;
    using print::output_format;
    const auto round_trips = [](const std::string& text, auto read_as) {
        text_input in(text);
        const auto x = read_as(in, extended);
        std::string strict = summary(x);
        strict.replace(0, 12, "Homo_sapie"); // the layout keeps 10 characters
        for (const auto& [out_format, separator, in_format] :
             {std::tuple{output_format::EXTENDED_PHYLIP, field_separator::TAB, extended},
              {output_format::PHYLIP, field_separator::TAB, phylip},
              {output_format::EXTENDED_PHYLIP, field_separator::TAB, input_format::TAB_SEPARATED},
              {output_format::EXTENDED_PHYLIP, field_separator::BLANK, extended},
              {output_format::PHYLIP, field_separator::BLANK, phylip}}) {
            std::stringstream io;
            if (separator == field_separator::TAB)
                print::put(io, x, out_format);
            else
                print::put(io, x, out_format, separator);
            EXPECT_TRUE(separator == field_separator::TAB ||
                        io.str().find('\t') == std::string::npos)
                << io.str();
            EXPECT_EQ(summary(read_as(io, in_format)), in_format == phylip ? strict : summary(x))
                << io.str();
        }
    };
    round_trips(
        "3 4\nHomo_sapiens ACGT\nPan_pan -?NA\nGorilla CGT-\n",
        [](std::istream& in, input_format f) { return read::get(in, f, read::whitespace); });
    round_trips("3 3\nHomo_sapiens 0 1 2\nPan 1000 1001 0\nGorilla 2147483647 7 3\n",
                [](std::istream& in, input_format f) { return read::get<count_data>(in, f); });
    round_trips("3 3\nHomo_sapiens -0.125 -0.124 0.001\nPan 0 1e-3 0.002\nGorilla 0.125 12.5 -3\n",
                [](std::istream& in, input_format f) { return read::get<real_data>(in, f); });
}

TEST(RoundTrips, DistanceMatrices) {
    squared x(0, 3);
    x.labels = taxon_labels(0, {"a", "Homo_sapiens", "b_c", "dd"});
    for (index_type i = 0; i <= 3; ++i)
        for (index_type j = 0; j <= 3; ++j) x.matrix(i, j) = i == j ? 0 : 0.12345678 * (i + 1) - j;
    for (const auto& [out_format, in_format] :
         {std::pair{print::dist_output_format::PHYLIP, dist_phylip},
          {print::dist_output_format::EXTENDED_PHYLIP, dist_extended},
          {print::dist_output_format::TAB_SEPARATED, dist_tab}}) {
        std::stringstream io;
        print::put(io, x, out_format, 2, 8, 0);
        const squared y = read::get(io, in_format);
        taxon_labels expected = x.labels;
        if (in_format == dist_phylip) expected[1] = "Homo_sapie"; // 10 characters
        EXPECT_EQ(y.labels, expected) << io.str();
        EXPECT_EQ(y.matrix, x.matrix) << io.str();
    }
}

} // namespace
