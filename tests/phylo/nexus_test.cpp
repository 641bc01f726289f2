#include <phylo/nexus.hpp>

#include "../test_support.hpp"

#include <phylo/print.hpp>
#include <phylo/read.hpp>

#include <generics/current_io.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace phylo;
using print::dist_output_format;
using print::output_format;
using test_support::expect_error;
using test_support::text_input;

template <class Data>
Data read_text(const std::string& text) {
    text_input in(text);
    return nexus::get<Data>(in);
}

std::vector<std::string> labels_of(const taxon_labels& l) { return {l.begin(), l.end()}; }

template <class Element>
std::vector<std::vector<Element>> rows_of(const character_data<Element>& x) {
    std::vector<std::vector<Element>> rows;
    for (index_type i = x.first; i <= x.last; ++i)
        rows.emplace_back(x.rows[i]->begin(), x.rows[i]->end());
    return rows;
}

std::vector<std::string> disc_rows(const disc_data& x) {
    std::vector<std::string> rows;
    for (const auto& r : rows_of(x)) rows.emplace_back(r.begin(), r.end());
    return rows;
}

std::vector<std::vector<double>> square_of(const squared& d) {
    std::vector<std::vector<double>> m;
    for (index_type i = d.first; i <= d.last; ++i) {
        m.emplace_back();
        for (index_type j = d.first; j <= d.last; ++j) m.back().push_back(d.matrix(i, j));
    }
    return m;
}

template <class Element>
character_data<Element> make_data(const std::vector<std::string>& labels,
                                  const std::vector<std::vector<Element>>& rows) {
    character_data<Element> x(0, static_cast<index_type>(labels.size()) - 1);
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const auto ii = static_cast<index_type>(i);
        x.labels[ii] = labels[i];
        x.rows[ii] = std::make_unique<generics::bounded_array<Element>>(0, rows[i]);
    }
    return x;
}

disc_data make_disc(const std::vector<std::string>& labels, const std::vector<std::string>& rows) {
    std::vector<std::vector<char>> r;
    for (const auto& s : rows) r.emplace_back(s.begin(), s.end());
    return make_data<char>(labels, r);
}

// What a label becomes through the printer's layout and back through the reader.
std::string printed_label(const std::string& label, output_format f) {
    if (f == output_format::NEXUS) return nexus::nexus_name(print::to_nexus_label(label));
    std::string l = label;
    std::replace(l.begin(), l.end(), '\'', '`');
    return l;
}

std::vector<std::string> printed_labels(const std::vector<std::string>& labels, output_format f) {
    std::vector<std::string> out;
    for (const auto& l : labels) out.push_back(printed_label(l, f));
    return out;
}

// Labels the printer's NEXUS layout keeps as they are, and awkward ones that it changes.
const std::vector<std::string> plain_labels = {"Homo sapiens", "Pan", "Gorilla gorilla gorilla"};
const std::vector<std::string> awkward_labels = {"Homo_sapiens", "O'Brien", "sp. (L.)",
                                                 "a;b",          "[x]",     "  padded "};

std::string long_row(std::size_t n, std::size_t seed) {
    std::string s;
    for (std::size_t k = 0; k < n; ++k) s.push_back("ACGT-?N"[(k * 7 + seed * 3 + k / 5) % 7]);
    return s;
}

TEST(NexusRoundTrip, DiscreteMatricesOfEveryShapeReadBack) {
    const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> shapes = {
        {{"a"}, {"A"}},
        {{"a"}, {""}},
        {plain_labels, {long_row(25, 1), long_row(25, 2), long_row(25, 3)}},
        {{"x y", "z"}, {long_row(1003, 4), long_row(1003, 5)}},
        {awkward_labels, {"AC", "GT", "--", "??", "NN", "TT"}}};
    for (const output_format f : {output_format::NEXUS, output_format::NEXUS_ENCLOSED}) {
        for (const auto& shape : shapes) {
            const auto& labels = shape.first;
            const auto& rows = shape.second;
            const std::string text = test_support::printed(
                [&](std::ostream& o) { print::put(o, make_disc(labels, rows), f); });
            const disc_data back = read_text<disc_data>(text);
            EXPECT_EQ(labels_of(back.labels), printed_labels(labels, f)) << text;
            EXPECT_EQ(disc_rows(back), rows) << text;
        }
    }
    // The printer's quoted layout keeps every label but the apostrophe; the plain one keeps
    // blanks (as underscores) and loses the rest.
    EXPECT_EQ(printed_labels(plain_labels, output_format::NEXUS), plain_labels);
    EXPECT_EQ(printed_labels(awkward_labels, output_format::NEXUS_ENCLOSED)[0], "Homo_sapiens");
}

TEST(NexusRoundTrip, ContinuousMatricesReadBackAsCountsAndReals) {
    const std::vector<std::string> labels = {"Homo sapiens", "O'Brien", "t3"};
    const std::vector<std::vector<count_element>> counts = {
        {0, 12, 2147483647}, {3, 4, 5}, {7, 8, 9}};
    const std::vector<std::vector<double>> reals = {
        {1.5, -3.25, 0.001}, {0.0, 1e6, -0.5}, {12345.678, 2.0, -1e-8}};
    for (const output_format f : {output_format::NEXUS, output_format::NEXUS_ENCLOSED}) {
        const std::string ctext = test_support::printed(
            [&](std::ostream& o) { print::put(o, make_data<count_element>(labels, counts), f); });
        const count_data c = read_text<count_data>(ctext);
        EXPECT_EQ(labels_of(c.labels), printed_labels(labels, f));
        EXPECT_EQ(rows_of(c), counts);
        const std::string rtext = test_support::printed(
            [&](std::ostream& o) { print::put(o, make_data<double>(labels, reals), f); });
        const real_data r = read_text<real_data>(rtext);
        EXPECT_EQ(labels_of(r.labels), printed_labels(labels, f));
        EXPECT_EQ(rows_of(r), reals) << rtext;
        // The exponent layout reads back too.
        const std::string etext = test_support::printed(
            [&](std::ostream& o) { print::put(o, make_data<double>(labels, reals), f, 2, 10, 3); });
        EXPECT_EQ(rows_of(read_text<real_data>(etext)), reals) << etext;
    }
}

TEST(NexusRoundTrip, DistanceMatricesReadBack) {
    for (const std::size_t n : {1u, 2u, 7u}) {
        squared d(0, static_cast<index_type>(n) - 1);
        for (index_type i = 0; i < static_cast<index_type>(n); ++i) {
            d.labels[i] = i == 0 ? "Homo sapiens" : i == 1 ? "O'Brien" : "t" + std::to_string(i);
            for (index_type j = 0; j < static_cast<index_type>(n); ++j)
                d.matrix(i, j) = i == j ? 0.0 : 0.125 * (i + 1) + 0.5 * (j + 1); // not symmetric
        }
        for (const auto f : {dist_output_format::NEXUS, dist_output_format::NEXUS_ENCLOSED}) {
            const std::string text =
                test_support::printed([&](std::ostream& o) { print::put(o, d, f); });
            const squared back = read_text<squared>(text);
            EXPECT_EQ(labels_of(back.labels),
                      printed_labels(labels_of(d.labels), print::label_format(f)));
            EXPECT_EQ(square_of(back), square_of(d)) << text;
        }
    }
}

// Files written by Biopython 1.80, DendroPy 4.5.2, ape 5.7 and phangorn 2.11.1, as they
// wrote them (the comment with the date shortened).
TEST(NexusPeers, CharacterMatricesOfOtherToolsRead) {
    const std::vector<std::string> sequences = {"ACGTACGTAC-T", "ACGTTCGTACNT", "ACG?ACGAAC-T"};
    // Biopython (Bio.AlignIO, "nexus"): quoted names where needed, Pan_troglodytes bare.
    const std::string biopython = "#NEXUS\nbegin data;\ndimensions ntax=3 nchar=12;\n"
                                  "format datatype=dna missing=? gap=-;\nmatrix\n"
                                  "'Homo sapiens'  ACGTACGTAC-T\nPan_troglodytes ACGTTCGTACNT\n"
                                  "'O''Brien'      ACG?ACGAAC-T\n;\nend;\n";
    const disc_data x = read_text<disc_data>(biopython);
    EXPECT_EQ(labels_of(x.labels),
              (std::vector<std::string>{"Homo sapiens", "Pan troglodytes", "O'Brien"}));
    EXPECT_EQ(disc_rows(x), sequences);
    // Bio.Nexus with interleave: a bare INTERLEAVE and a blank line before the ';'.
    const std::string bio_interleaved =
        "#NEXUS\nbegin data;\ndimensions ntax=3 nchar=12;\n"
        "format datatype=dna missing=? gap=- interleave;\nmatrix\n"
        "'Homo sapiens'  ACGTACGTAC-T\nPan_troglodytes ACGTTCGTACNT\n"
        "'O''Brien'      ACG?ACGAAC-T\n\n;\nend;\n";
    EXPECT_EQ(disc_rows(read_text<disc_data>(bio_interleaved)), sequences);
    // DendroPy: a TAXA block, then CHARACTERS; a quoted name keeps its underscore.
    const std::string dendropy =
        "#NEXUS\n\nBEGIN TAXA;\n    DIMENSIONS NTAX=3;\n    TAXLABELS\n"
        "        Homo_sapiens\n        'Pan_troglodytes'\n        'O''Brien'\n"
        "  ;\nEND;\n\nBEGIN CHARACTERS;\n    DIMENSIONS NCHAR=12;\n"
        "    FORMAT DATATYPE=DNA GAP=- MISSING=? MATCHCHAR=.;\n    MATRIX\n"
        "        Homo_sapiens         ACGTACGTAC-T\n"
        "        'Pan_troglodytes'    ACGTTCGTACNT\n"
        "        'O''Brien'           ACG?ACGAAC-T\n    ;\nEND;\n\n\n";
    const disc_data dx = read_text<disc_data>(dendropy);
    EXPECT_EQ(labels_of(dx.labels),
              (std::vector<std::string>{"Homo sapiens", "Pan_troglodytes", "O'Brien"}));
    EXPECT_EQ(disc_rows(dx), sequences);
    // DendroPy standard data with SYMBOLS; ape standard data with symbols in lower case.
    const std::string dendropy_standard =
        "#NEXUS\n\nBEGIN TAXA;\n    DIMENSIONS NTAX=2;\n    TAXLABELS\n        t1\n        t2\n  "
        ";\n"
        "END;\n\nBEGIN CHARACTERS;\n    DIMENSIONS NCHAR=4;\n"
        "    FORMAT DATATYPE=STANDARD SYMBOLS=\"10-\" MISSING=?;\n    MATRIX\n        t1    0101\n"
        "        t2    1?10\n    ;\nEND;\n";
    nexus::character_format declared;
    text_input standard_in(dendropy_standard);
    const disc_data sx = nexus::get(standard_in, declared);
    EXPECT_EQ(disc_rows(sx), (std::vector<std::string>{"0101", "1?10"}));
    EXPECT_EQ(declared.kind, nexus::data_kind::STANDARD);
    EXPECT_EQ(declared.symbols, "10-");
    const std::string ape_standard =
        "#NEXUS\n[Data written by write.nexus.data.R, Mon Dec  7 2026]\nBEGIN DATA;\n"
        "  DIMENSIONS NTAX=2 NCHAR=4;\n"
        "  FORMAT DATATYPE=STANDARD MISSING=? GAP=- INTERLEAVE=NO symbols=\"0123456789\";\n"
        "  MATRIX\n    t1      0101\n    t2      1?10\n  ;\nEND;\n";
    text_input ape_in(ape_standard);
    const disc_data ax = nexus::get(ape_in, declared);
    EXPECT_EQ(disc_rows(ax), (std::vector<std::string>{"0101", "1?10"}));
    EXPECT_EQ(declared, (nexus::character_format{nexus::data_kind::STANDARD, '?', '-', '\0',
                                                 "0123456789", false}));
    // ape interleaved, 5 characters a line; states in lower case are kept as written.
    const std::string ape_interleaved =
        "#NEXUS\n[Data written by write.nexus.data.R]\nBEGIN DATA;\n  DIMENSIONS NTAX=3 NCHAR=12;\n"
        "  FORMAT DATATYPE=DNA MISSING=? GAP=- INTERLEAVE=YES;\n  MATRIX\n"
        "    Homo_sapiens      acgta\n    Pan               acgtt\n    Mus               acg?a\n\n"
        "    Homo_sapiens      cgtac\n    Pan               cgtac\n    Mus               cgaac\n\n"
        "    Homo_sapiens      -t\n    Pan               nt\n    Mus               -t\n  ;\nEND;\n";
    const disc_data ix = read_text<disc_data>(ape_interleaved);
    EXPECT_EQ(labels_of(ix.labels), (std::vector<std::string>{"Homo sapiens", "Pan", "Mus"}));
    EXPECT_EQ(disc_rows(ix),
              (std::vector<std::string>{"acgtacgtac-t", "acgttcgtacnt", "acg?acgaac-t"}));
}

TEST(NexusPeers, BareNamesWithBlanksAsApeWritesThem) {
    // write.nexus.data writes "Homo sapiens" without quotes. In a sequential matrix with one
    // row a line, the words left over at the end of the line tell how many of the first
    // words belong to the name.
    const std::string ape = "#NEXUS\nBEGIN DATA;\n  DIMENSIONS NTAX=3 NCHAR=12;\n"
                            "  FORMAT DATATYPE=DNA MISSING=? GAP=- INTERLEAVE=NO;\n  MATRIX\n"
                            "    Homo sapiens         acgtacgtac-t\n"
                            "    Mus musculus_domesticus acgttcgtacnt\n"
                            "    Pan                  acg?acgaac-t\n  ;\nEND;\n";
    const disc_data x = read_text<disc_data>(ape);
    EXPECT_EQ(labels_of(x.labels),
              (std::vector<std::string>{"Homo sapiens", "Mus musculus domesticus", "Pan"}));
    EXPECT_EQ(disc_rows(x),
              (std::vector<std::string>{"acgtacgtac-t", "acgttcgtacnt", "acg?acgaac-t"}));
    // Groups of states and several rows on one line are not names.
    const disc_data g = read_text<disc_data>("#NEXUS\nbegin data; dimensions ntax=3 nchar=4;\n"
                                             "matrix\na AC GT b ACGT\nc AC\nGT; end;");
    EXPECT_EQ(labels_of(g.labels), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(disc_rows(g), (std::vector<std::string>{"ACGT", "ACGT", "ACGT"}));
    // Interleaved, the name's words cannot be told from the states: the row is too long.
    expect_error<data_error>(
        [] {
            read_text<disc_data>("#NEXUS\nBEGIN DATA; DIMENSIONS NTAX=2 NCHAR=4;\n"
                                 "FORMAT INTERLEAVE=YES; MATRIX\nHomo sapiens ac\nPan ac\n\n"
                                 "Homo sapiens gt\nPan gt\n;\nEND;");
        },
        "line 4: taxon 0 (Homo), the row holds more than its 4 values (a taxon name with blanks "
        "must be quoted)");
}

TEST(NexusPeers, ContinuousMatricesOfOtherToolsRead) {
    const std::vector<std::vector<double>> values = {{1.5, 2.0, -3.25}, {0.0, 0.001, 4.0}};
    const std::string dendropy =
        "#NEXUS\n\nBEGIN TAXA;\n    DIMENSIONS NTAX=2;\n    TAXLABELS\n        a\n        b_b\n  "
        ";\n"
        "END;\n\nBEGIN CHARACTERS;\n    DIMENSIONS NCHAR=3;\n"
        "    FORMAT DATATYPE=CONTINUOUS ITEMS=(STATES);\n    MATRIX\n"
        "        a      1.5 2.0 -3.25 \n        b_b    0.0 0.001 4.0 \n    ;\nEND;\n";
    const real_data r = read_text<real_data>(dendropy);
    EXPECT_EQ(labels_of(r.labels), (std::vector<std::string>{"a", "b b"}));
    EXPECT_EQ(rows_of(r), values);
    const std::string ape = "#NEXUS\n[Data written by write.nexus.data.R]\nBEGIN DATA;\n"
                            "  DIMENSIONS NTAX=2 NCHAR=3;\n"
                            "  FORMAT DATATYPE=CONTINUOUS MISSING=? GAP=- INTERLEAVE=NO;\n"
                            "  MATRIX\n    a      1.5\t2\t-3.25\n    b      0\t?\t4\n  ;\nEND;\n";
    const real_data a = read_text<real_data>(ape);
    EXPECT_EQ(a.rows[0]->span()[2], -3.25);
    EXPECT_TRUE(std::isnan(a.rows[1]->span()[1])); // the missing value
    expect_error<data_error>([&] { read_text<count_data>(ape); },
                             "line 7: taxon 0 (a), character 1: expected a count");
}

TEST(NexusPeers, DistanceMatricesOfPhangornRead) {
    const std::vector<std::vector<double>> expected = {
        {0.0, 0.1, 0.25}, {0.1, 0.0, 0.3}, {0.25, 0.3, 0.0}};
    const std::string taxa = "#NEXUS\n\nBEGIN TAXA;\n\tDIMENSIONS ntax=3;\n"
                             "\tTAXLABELS Homo_sapiens Pan Mus ;\nEND;\n\n";
    // write.nexus.dist(d), (upper = TRUE), (diag = FALSE) and (upper = TRUE, diag = FALSE).
    const std::vector<std::string> matrices = {
        "BEGIN DISTANCES; \n\tFORMAT TRIANGLE = LOWER;\n\tMatrix \n\tHomo_sapiens 0.00\n"
        "\tPan 0.10 0.00\n\tMus 0.25 0.30 0.00\n\t;\nEND; \n",
        "BEGIN DISTANCES; \n\tFORMAT TRIANGLE = BOTH;\n\tMatrix \n\tHomo_sapiens 0.00 0.10 0.25\n"
        "\tPan 0.10 0.00 0.30\n\tMus 0.25 0.30 0.00\n\t;\nEND; \n",
        "BEGIN DISTANCES; \n\tFORMAT TRIANGLE = LOWER;\n\tFORMAT NODIAGONAL;\n\tMatrix \n"
        "\tHomo_sapiens\n\tPan 0.10\n\tMus 0.25 0.30\n\t;\nEND; \n"};
    for (const auto& m : matrices) {
        const squared d = read_text<squared>(taxa + m);
        EXPECT_EQ(labels_of(d.labels), (std::vector<std::string>{"Homo sapiens", "Pan", "Mus"}));
        EXPECT_EQ(square_of(d), expected) << m;
    }
    // phangorn writes a name with blanks bare, in TAXLABELS too, which then holds more
    // words than taxa: the rows give the names, made of those words.
    const std::string blank_taxa = "#NEXUS\n\nBEGIN TAXA;\n\tDIMENSIONS ntax=3;\n"
                                   "\tTAXLABELS Homo sapiens Pan Mus ;\nEND;\n\n";
    const std::string blank_rows = "BEGIN DISTANCES; \n\tFORMAT TRIANGLE = LOWER;\n\tMatrix \n"
                                   "\tHomo sapiens 0.00\n\tPan 0.10 0.00\n\tMus 0.25 0.30 0.00\n"
                                   "\t;\nEND; \n";
    const squared d = read_text<squared>(blank_taxa + blank_rows);
    EXPECT_EQ(labels_of(d.labels), (std::vector<std::string>{"Homo sapiens", "Pan", "Mus"}));
    EXPECT_EQ(square_of(d), expected);
    std::string other_rows = blank_rows;
    other_rows.replace(other_rows.find("Pan"), 3, "Pax");
    expect_error<data_error>([&] { read_text<squared>(blank_taxa + other_rows); },
                             "line 14: the TAXA block lists 4 names for NTAX=3 taxa, and the "
                             "names of the matrix rows are not made of them");
    expect_error<data_error>(
        [] {
            read_text<squared>("#NEXUS\nBEGIN TAXA;\n\tDIMENSIONS ntax=3;\n"
                               "\tTAXLABELS Homo Pan ;\nEND;\n");
        },
        "line 5: the TAXA block declares NTAX=3 but TAXLABELS names only 2 taxa");
}

TEST(NexusSyntax, CommentsCaseBlocksAndGroupsAnywhere) {
    const std::string text =
        "[start] #nexus [a [nested] comment]\n"
        "Begin Trees; tree t = ((a:1,'b;c':2),d); [;] End;\n"
        "BEGIN assumptions; charset x = 1-3; ENDBLOCK;\n"
        "begin TAXA; dimensions ntax = 3; taxlabels [first] 'a b' c_d e ; end;\n"
        "begin characters; Dimensions nchar=10; FoRmAt DataType=Dna MatchChar=. missing=N;\n"
        "charstatelabels 1 'x;y', 2 z; Matrix\n"
        "e    ACGTA CGTAC\n"
        "'a b' ..... [a comment inside] ...T.\n"
        "c_d  [x]..[y]GT AACGTN\n"
        ";\nend;\n"
        "begin paup; set autoclose; end;\n";
    text_input in(text);
    const disc_data x = nexus::get<disc_data>(in);
    // The order of TAXLABELS, rows matched by name; the match character takes the first row's
    // state, the first row being the first one written (e).
    EXPECT_EQ(labels_of(x.labels), (std::vector<std::string>{"a b", "c d", "e"}));
    EXPECT_EQ(disc_rows(x), (std::vector<std::string>{"ACGTACGTTC", "ACGTAACGTN", "ACGTACGTAC"}));
    // The call stops after the block's END: the PAUP block is still there.
    EXPECT_EQ(test_support::next_char(in), '\n');
    EXPECT_EQ(test_support::next_char(in), 'b');
}

TEST(NexusSyntax, InterleavedBlocksAndLineEnds) {
    // Rows of a later block may come in another order; CR LF line ends; a comment inside a
    // block line; a DATA block's own names even though a TAXA block came first.
    const std::string text = "#NEXUS\r\nbegin taxa; taxlabels x y; end;\r\n"
                             "begin data; dimensions ntax=2 nchar=7;\r\n"
                             "format interleave=yes datatype=protein;\r\nmatrix\r\n"
                             "'P 1' MKV\r\nP_2 MRV\r\n\r\nP_2 Q[ ]L\r\n'P 1' -L\r\n"
                             "'P 1' AA\r\nP_2  A?\r\n;\r\nend;\r\n";
    const disc_data x = read_text<disc_data>(text);
    EXPECT_EQ(labels_of(x.labels), (std::vector<std::string>{"P 1", "P 2"}));
    EXPECT_EQ(disc_rows(x), (std::vector<std::string>{"MKV-LAA", "MRVQLA?"}));
}

TEST(NexusSyntax, DistanceLayouts) {
    const std::vector<std::vector<double>> expected = {
        {0.0, 1.0, 2.0}, {1.0, 0.0, 3.0}, {2.0, 3.0, 0.0}};
    const std::string head = "#NEXUS\nbegin distances; dimensions newtaxa ntax=3; ";
    const std::vector<std::string> bodies = {
        "format triangle=upper; matrix a 0 1 2 b 0 3 c 0; end;",
        "format triangle=upper nodiagonal; matrix a 1 2\nb 3\nc\n; end;",
        "format triangle=both nodiagonal; matrix a 1 2 b 1 3 c 2 3; end;",
        "format; matrix a 0\nb 1\n0 c\n2 3 0; end;", // rows run over lines; LOWER by default
        "format interleave; matrix\na 0\nb 1 0\nc 2\n\nc 3 0\n; end;",
        "format nolabels; taxlabels a b c; matrix 0 1 0 2 3 0; end;"};
    for (const auto& b : bodies) {
        const squared d = read_text<squared>(head + b);
        EXPECT_EQ(labels_of(d.labels), (std::vector<std::string>{"a", "b", "c"})) << b;
        EXPECT_EQ(square_of(d), expected) << b;
    }
    const squared m = read_text<squared>(head + "format missing=x; matrix a 0 b x 0 c 2 3 0; end;");
    EXPECT_TRUE(std::isnan(m.matrix(0, 1)));
    EXPECT_TRUE(std::isnan(m.matrix(1, 0)));
    // A MISSING symbol that can start a number stands for a missing value only alone.
    const squared dash =
        read_text<squared>(head + "format missing=-; matrix a 0 b - 0 c -.5 -2 0; end;");
    EXPECT_TRUE(std::isnan(dash.matrix(1, 0)));
    EXPECT_EQ(dash.matrix(2, 0), -0.5);
    EXPECT_EQ(dash.matrix(1, 2), -2.0);
}

TEST(NexusSyntax, OneInputHoldsSeveralBlocks) {
    text_input in("#NEXUS\nbegin taxa; taxlabels a b; end;\n"
                  "begin characters; dimensions nchar=2; format datatype=continuous; matrix\n"
                  "b 3 4 a 1 2; end;\n"
                  "begin distances; matrix a 0 b 0.5 0; end;\n");
    generics::text_cursor c(in, true);
    const real_data r = nexus::get<real_data>(c);
    EXPECT_EQ(rows_of(r), (std::vector<std::vector<double>>{{1, 2}, {3, 4}}));
    // The TAXA block was seen by the first call only: this block names its own taxa.
    expect_error<data_error>([&] { nexus::get<squared>(c); },
                             "line 5: the DISTANCES block gives no DIMENSIONS NTAX= and no TAXA "
                             "block comes before it");
}

TEST(NexusErrors, MalformedFilesNameTheReasonAndTheLine) {
    const std::string data = "#NEXUS\nbegin data; dimensions ntax=2 nchar=4;\nformat datatype=dna";
    const struct {
        std::string text;
        std::string message;
    } data_errors[] = {
        {"3\t4\nx ACGT\n",
         "line 1: expected #NEXUS or BEGIN (of a DATA or CHARACTERS block), found \"3\""},
        {"#NEXUS\nmatrix a;",
         "line 2: expected BEGIN (of a DATA or CHARACTERS block), found \"matrix\""},
        {data + ";\nmatrix\na ACGT\nb AC;\nend;",
         "line 6: taxon 1 (b), the matrix ends (;) after 2 of 4 characters"},
        {data + ";\nmatrix\na ACGT\nb ACGTA\n;\nend;",
         "line 6: expected the ';' that ends the matrix after its 2 rows, found \"A\""},
        {data + " interleave;\nmatrix\na ACGT\n;end;",
         "line 6: the matrix has rows for only 1 of its 2 taxa"},
        {data + " interleave;\nmatrix\na AC\nb AC\na GTT\n;end;",
         "line 7: taxon 0 (a), the row holds more than its 4 values"},
        {data + " interleave;\nmatrix\na AC\nb AG\na GT\nb T\n;end;",
         "line 9: taxon 1 (b) has 3 values, not 4"},
        {data + " interleave;\nmatrix\na AC\nb AC\nc GT\n;end;",
         "line 7: row 2: the row name \"c\" is not one of the 2 taxa of the matrix"},
        {"#NEXUS\nbegin taxa; taxlabels a b; end;\nbegin characters; dimensions nchar=1;\n"
         "matrix a A c C; end;",
         "line 4: row 1: the row name \"c\" is not one of the taxa"},
        {data + ";\nmatrix\na ACGT\na ACGT\n;end;",
         "line 6: row 1: a second row for the taxon \"a\""},
        {"#NEXUS\nbegin taxa; taxlabels a b c; end;\nbegin characters; dimensions nchar=2;\n"
         "format interleave; matrix\na AC\nb GT\n;\nend;",
         "line 7: taxon 2 (c) has 0 values, not 2"},
        {data + " matchchar=.;\nmatrix\na AC.T\nb ACGT\n;end;",
         "line 5: taxon 0 (a), character 2: the match character \".\" stands in the first row"},
        {data + ";\nmatrix\na A(CG)GT\nb ACGT\n;end;",
         "line 5: taxon 0 (a), character 1: a polymorphic or uncertain state set ( ..."},
        {data + " interleave=maybe;", "line 3: INTERLEAVE must be YES or NO, not \"maybe\""},
        {data + " missing=??;", "line 3: MISSING must be one character, not \"??\""},
        {"#NEXUS\nbegin data; dimensions ntax=two;",
         "line 2: NTAX must be a whole number, not \"two\""},
        {"#NEXUS\nbegin data; dimensions ntax=2 nchar=2; end;",
         "line 2: the DATA block ends without a MATRIX"},
        {"#NEXUS\nbegin data; matrix",
         "line 2: MATRIX comes before DIMENSIONS NCHAR= in the DATA block"},
        {"#NEXUS\nbegin characters; dimensions nchar=1; matrix a A;",
         "line 2: the CHARACTERS block gives no DIMENSIONS NTAX="},
        {"#NEXUS\nbegin taxa; taxlabels a b a; end;",
         "line 2: TAXLABELS names the taxon \"a\" twice"},
        {"#NEXUS\nbegin data; dimensions ntax=1 nchar=1; format datatype=continuous; matrix a 1; "
         "end;",
         "line 2: the matrix holds CONTINUOUS data, not discrete states"},
        {"#NEXUS\nbegin data; dimensions ntax=1 nchar=1; format datatype=mixed(dna:1-2); matrix",
         "line 2: DATATYPE=mixed(dna : 1 - 2) is not supported"},
    };
    for (const auto& e : data_errors)
        expect_error<data_error>([&] { read_text<disc_data>(e.text); }, e.message);
    expect_error<data_error>(
        [] {
            read_text<real_data>(
                "#NEXUS\nbegin data; dimensions ntax=1 nchar=1;\nmatrix a A; end;");
        },
        "line 3: the matrix holds STANDARD data, not CONTINUOUS values");
    expect_error<data_error>(
        [] {
            read_text<squared>("#NEXUS\nbegin distances; dimensions ntax=2; format triangle=left;");
        },
        "line 2: TRIANGLE must be LOWER, UPPER or BOTH, not \"left\"");
    expect_error<data_error>(
        [] {
            read_text<squared>(
                "#NEXUS\nbegin distances; dimensions ntax=2; format nolabels;\nmatrix 0 1 0;");
        },
        "line 3: a matrix without row names (NOLABELS) needs its taxa named by a TAXA block");
    expect_error<data_error>(
        [] {
            read_text<squared>(
                "#NEXUS\nbegin distances; dimensions ntax=2;\nmatrix a 0\nb * 0; end;");
        },
        "line 4: taxon 1 (b), value 0: expected a real literal, found \"*\"");

    const struct {
        std::string text;
        std::string message;
    } end_errors[] = {
        {"", "line 1: the input ends where a DATA or CHARACTERS block was expected"},
        {"#NEXUS\nbegin trees; tree t = (a,b);\nend;\n",
         "line 4: the input ends where a DATA or CHARACTERS block"},
        {"#NEXUS [open\n [nested] \n",
         "line 3: the input ends inside the comment opened on line 1"},
        {"#NEXUS\nbegin taxa; taxlabels 'a\nb",
         "line 3: the input ends inside the quoted token opened on line 2"},
        {data + ";\nmatrix\na ACGT\nb AC",
         "line 6: taxon 1 (b), the input ends after 2 of 4 characters"},
        {data + ";\nmatrix\na ACGT\nb ACGT\n",
         "line 7: the input ends where the ';' that ends the matrix"},
    };
    for (const auto& e : end_errors)
        expect_error<end_error>([&] { read_text<disc_data>(e.text); }, e.message);

    expect_error<range_error>(
        [] { read_text<disc_data>("#NEXUS\nbegin data; dimensions ntax=0 nchar=1; matrix"); },
        "line 2: NTAX=0: a matrix needs at least 1 taxon");
    expect_error<range_error>(
        [] { read_text<disc_data>("#NEXUS\nbegin data; dimensions ntax=-2;"); },
        "line 2: NTAX is -2, below 0");
    expect_error<range_error>(
        [] { read_text<disc_data>("#NEXUS\nbegin data; dimensions nchar=3000000000;"); },
        "line 2: NCHAR is 3000000000, above 2147483647");
}

TEST(NexusErrors, TheCurrentInputIsNamed) {
    text_input in("#NEXUS\nbegin data; dimensions ntax=1 nchar=3;\nmatrix\na AC\n;\nend;\n");
    generics::input_redirect redirect(in, "/data/m.nex");
    expect_error<data_error>(
        [] { nexus::get<disc_data>(); },
        "/data/m.nex: line 5: taxon 0 (a), the matrix ends (;) after 2 of 3 characters");
}

TEST(NexusNames, BareAndQuotedNames) {
    EXPECT_EQ(nexus::nexus_name("Homo_sapiens"), "Homo sapiens");
    EXPECT_EQ(nexus::nexus_name("'Homo_sapiens'"), "Homo_sapiens");
    EXPECT_EQ(nexus::nexus_name("'O''Brien'"), "O'Brien");
    EXPECT_EQ(nexus::nexus_name("''"), "");
    // A name as the reader reads it from a matrix.
    const disc_data x = read_text<disc_data>(
        "#NEXUS\nbegin data; dimensions ntax=3 nchar=1; matrix 'it''s'A __x__ C '' G; end;");
    EXPECT_EQ(labels_of(x.labels), (std::vector<std::string>{"it's", "  x  ", ""}));
}

} // namespace
