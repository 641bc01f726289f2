#include <phylo/nexus.hpp>

#include "../test_support.hpp"
#include "records.hpp"

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
using test_records::make_data;
using test_records::make_disc;
using test_records::summary;
using test_support::expect_error;
using test_support::text_input;

// What nexus::get<Data> gives for text: the record summed up, or "data error: message".
template <class Data = disc_data>
std::string got(const std::string& text) {
    text_input in(text);
    return test_records::outcome([&] { return summary(nexus::get<Data>(in)); });
}

// Checks what read gives for text (see test_records::expect_outcome).
void expect_gives(std::string (*read)(const std::string&), const std::string& text,
                  const std::string& expected) {
    test_records::expect_outcome(read(text), expected, text);
}

struct nexus_case {
    std::string text, expected;
    std::string (*read)(const std::string&) = got<disc_data>;
};

// What labels become through the printer's layout and back through the reader.
std::vector<std::string> printed_labels(std::vector<std::string> labels, output_format f) {
    for (auto& l : labels)
        if (f == output_format::NEXUS)
            l = nexus::nexus_name(print::to_nexus_label(l));
        else
            std::replace(l.begin(), l.end(), '\'', '`');
    return labels;
}

std::string long_row(std::size_t n, std::size_t seed) {
    std::string s;
    for (std::size_t k = 0; k < n; ++k) s.push_back("ACGT-?N"[(k * 7 + seed * 3 + k / 5) % 7]);
    return s;
}

TEST(NexusRoundTrip, DiscreteMatricesOfEveryShapeReadBack) {
    // Labels the printer's NEXUS layout keeps as they are, and awkward ones that it changes.
    const std::vector<std::string> plain = {"Homo sapiens", "Pan", "Gorilla gorilla gorilla"},
                                   awkward = {"Homo_sapiens", "O'Brien", "sp. (L.)",
                                              "a;b",          "[x]",     "  padded "};
    const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> shapes = {
        {{"a"}, {"A"}},
        {{"a"}, {""}},
        {plain, {long_row(25, 1), long_row(25, 2), long_row(25, 3)}},
        {{"x y", "z"}, {long_row(1003, 4), long_row(1003, 5)}},
        {awkward, {"AC", "GT", "--", "??", "NN", "TT"}}};
    for (const output_format f : {output_format::NEXUS, output_format::NEXUS_ENCLOSED})
        for (const auto& [labels, rows] : shapes) {
            const auto data = make_disc(labels, rows);
            const std::string text =
                test_support::printed([&](std::ostream& o) { print::put(o, data, f); });
            EXPECT_EQ(got(text), summary(make_disc(printed_labels(labels, f), rows))) << text;
        }
    // The printer's quoted layout keeps every label but the apostrophe; the plain one keeps
    // blanks (as underscores) and loses the rest.
    EXPECT_EQ(printed_labels(plain, output_format::NEXUS), plain);
    EXPECT_EQ(printed_labels(awkward, output_format::NEXUS_ENCLOSED)[0], "Homo_sapiens");
}

TEST(NexusRoundTrip, ContinuousAndDistanceMatricesReadBack) {
    const std::vector<std::string> labels = {"Homo sapiens", "O'Brien", "t3"};
    const std::vector<std::vector<count_element>> counts = {
        {0, 12, 2147483647}, {3, 4, 5}, {7, 8, 9}};
    const std::vector<std::vector<double>> reals = {
        {1.5, -3.25, 0.001}, {0.0, 1e6, -0.5}, {12345.678, 2.0, -1e-8}};
    for (const output_format f : {output_format::NEXUS, output_format::NEXUS_ENCLOSED}) {
        const auto text = [f](const auto& x, auto... layout) {
            return test_support::printed([&](std::ostream& o) { print::put(o, x, f, layout...); });
        };
        const auto names = printed_labels(labels, f);
        EXPECT_EQ(got<count_data>(text(make_data(labels, counts))),
                  summary(make_data(names, counts)));
        EXPECT_EQ(got<real_data>(text(make_data(labels, reals))), summary(make_data(names, reals)));
        // The exponent layout reads back too.
        EXPECT_EQ(got<real_data>(text(make_data(labels, reals), 2, 10, 3)),
                  summary(make_data(names, reals)));
    }
    for (const index_type n : {1, 2, 7}) {
        squared d(0, n - 1);
        for (index_type i = 0; i < n; ++i) {
            d.labels[i] = i == 0 ? "Homo sapiens" : i == 1 ? "O'Brien" : "t" + std::to_string(i);
            for (index_type j = 0; j < n; ++j)
                d.matrix(i, j) = i == j ? 0.0 : 0.125 * (i + 1) + 0.5 * (j + 1); // not symmetric
        }
        for (const auto f : {dist_output_format::NEXUS, dist_output_format::NEXUS_ENCLOSED}) {
            const std::string text =
                test_support::printed([&](std::ostream& o) { print::put(o, d, f); });
            squared expected = d;
            const auto names =
                printed_labels({d.labels.begin(), d.labels.end()}, print::label_format(f));
            for (index_type i = 0; i < n; ++i) expected.labels[i] = names[i];
            EXPECT_EQ(got<squared>(text), summary(expected)) << text;
        }
    }
}

// Files written by Biopython 1.80, DendroPy 4.5.2, ape 5.7 and phangorn 2.11.1, as they
// wrote them (the comment with the date shortened).
TEST(NexusPeers, MatricesOfOtherToolsRead) {
    const std::string rows = ":ACGTACGTAC-T/Pan troglodytes:ACGTTCGTACNT/O'Brien:ACG?ACGAAC-T/",
                      ape_rows = ":acgtacgtac-t/Pan:acgttcgtacnt/Mus:acg?acgaac-t/";
    // DendroPy standard data with SYMBOLS; ape standard data with symbols in lower case.
    const std::string
        dendropy_standard =
            "#NEXUS\n\nBEGIN TAXA;\n    DIMENSIONS NTAX=2;\n    TAXLABELS\n        t1\n        "
            "t2\n  "
            ";\nEND;\n\nBEGIN CHARACTERS;\n    DIMENSIONS NCHAR=4;\n    FORMAT DATATYPE=STANDARD "
            "SYMBOLS=\"10-\" MISSING=?;\n    MATRIX\n        t1    0101\n        t2    1?10\n    "
            ";\n"
            "END;\n",
        ape_standard =
            "#NEXUS\n[Data written by write.nexus.data.R, Mon Dec  7 2026]\nBEGIN DATA;\n"
            "  DIMENSIONS NTAX=2 NCHAR=4;\n  FORMAT DATATYPE=STANDARD MISSING=? GAP=- "
            "INTERLEAVE=NO "
            "symbols=\"0123456789\";\n  MATRIX\n    t1      0101\n    t2      1?10\n  ;\nEND;\n";
    const std::string phangorn_taxa = "#NEXUS\n\nBEGIN TAXA;\n\tDIMENSIONS ntax=3;\n"
                                      "\tTAXLABELS Homo_sapiens Pan Mus ;\nEND;\n\n",
                      distances = "Homo sapiens:0 0.1 0.25/Pan:0.1 0 0.3/Mus:0.25 0.3 0/";
    // phangorn writes a name with blanks bare, in TAXLABELS too, which then holds more
    // words than taxa: the rows give the names, made of those words.
    const std::string blank_taxa = "#NEXUS\n\nBEGIN TAXA;\n\tDIMENSIONS ntax=3;\n"
                                   "\tTAXLABELS Homo sapiens Pan Mus ;\nEND;\n\n",
                      blank_rows = "BEGIN DISTANCES; \n\tFORMAT TRIANGLE = LOWER;\n\tMatrix \n"
                                   "\tHomo sapiens 0.00\n\tPan 0.10 0.00\n\tMus 0.25 0.30 0.00\n"
                                   "\t;\nEND; \n";
    std::string other_rows = blank_rows;
    other_rows.replace(other_rows.find("Pan"), 3, "Pax");
    const std::string ape_continuous =
        "#NEXUS\n[Data written by write.nexus.data.R]\nBEGIN DATA;\n  DIMENSIONS NTAX=2 NCHAR=3;\n"
        "  FORMAT DATATYPE=CONTINUOUS MISSING=? GAP=- INTERLEAVE=NO;\n"
        "  MATRIX\n    a      1.5\t2\t-3.25\n    b      0\t?\t4\n  ;\nEND;\n";
    const nexus_case cases[] = {
        // Biopython (Bio.AlignIO, "nexus"): quoted names where needed, Pan_troglodytes bare.
        {"#NEXUS\nbegin data;\ndimensions ntax=3 nchar=12;\nformat datatype=dna missing=? gap=-;\n"
         "matrix\n'Homo sapiens'  ACGTACGTAC-T\nPan_troglodytes ACGTTCGTACNT\n"
         "'O''Brien'      ACG?ACGAAC-T\n;\nend;\n",
         "Homo sapiens" + rows},
        // Bio.Nexus with interleave: a bare INTERLEAVE and a blank line before the ';'.
        {"#NEXUS\nbegin data;\ndimensions ntax=3 nchar=12;\n"
         "format datatype=dna missing=? gap=- interleave;\nmatrix\n"
         "'Homo sapiens'  ACGTACGTAC-T\nPan_troglodytes ACGTTCGTACNT\n"
         "'O''Brien'      ACG?ACGAAC-T\n\n;\nend;\n",
         "Homo sapiens" + rows},
        // DendroPy: a TAXA block, then CHARACTERS; a quoted name keeps its underscore.
        {"#NEXUS\n\nBEGIN TAXA;\n    DIMENSIONS NTAX=3;\n    TAXLABELS\n        Homo_sapiens\n"
         "        'Pan_troglodytes'\n        'O''Brien'\n  ;\nEND;\n\nBEGIN CHARACTERS;\n"
         "    DIMENSIONS NCHAR=12;\n    FORMAT DATATYPE=DNA GAP=- MISSING=? MATCHCHAR=.;\n"
         "    MATRIX\n        Homo_sapiens         ACGTACGTAC-T\n"
         "        'Pan_troglodytes'    ACGTTCGTACNT\n        'O''Brien'           ACG?ACGAAC-T\n"
         "    ;\nEND;\n\n\n",
         "Homo sapiens:ACGTACGTAC-T/Pan_troglodytes:ACGTTCGTACNT/O'Brien:ACG?ACGAAC-T/"},
        {dendropy_standard, "t1:0101/t2:1?10/"},
        {ape_standard, "t1:0101/t2:1?10/"},
        // ape interleaved, 5 characters a line; states in lower case are kept as written.
        {"#NEXUS\n[Data written by write.nexus.data.R]\nBEGIN DATA;\n  DIMENSIONS NTAX=3 "
         "NCHAR=12;\n"
         "  FORMAT DATATYPE=DNA MISSING=? GAP=- INTERLEAVE=YES;\n  MATRIX\n"
         "    Homo_sapiens      acgta\n    Pan               acgtt\n    Mus               acg?a\n\n"
         "    Homo_sapiens      cgtac\n    Pan               cgtac\n    Mus               cgaac\n\n"
         "    Homo_sapiens      -t\n    Pan               nt\n    Mus               -t\n  "
         ";\nEND;\n",
         "Homo sapiens" + ape_rows},
        // write.nexus.data writes "Homo sapiens" without quotes. In a sequential matrix with
        // one row a line, the words left over at the end of the line tell how many of the
        // first words belong to the name.
        {"#NEXUS\nBEGIN DATA;\n  DIMENSIONS NTAX=3 NCHAR=12;\n"
         "  FORMAT DATATYPE=DNA MISSING=? GAP=- INTERLEAVE=NO;\n  MATRIX\n"
         "    Homo sapiens         acgtacgtac-t\n    Mus musculus_domesticus acgttcgtacnt\n"
         "    Pan                  acg?acgaac-t\n  ;\nEND;\n",
         "Homo sapiens:acgtacgtac-t/Mus musculus domesticus:acgttcgtacnt/Pan:acg?acgaac-t/"},
        // Groups of states and several rows on one line are not names.
        {"#NEXUS\nbegin data; dimensions ntax=3 nchar=4;\nmatrix\na AC GT b ACGT\nc AC\nGT; end;",
         "a:ACGT/b:ACGT/c:ACGT/"},
        // Interleaved, the name's words cannot be told from the states: the row is too long.
        {"#NEXUS\nBEGIN DATA; DIMENSIONS NTAX=2 NCHAR=4;\nFORMAT INTERLEAVE=YES; MATRIX\n"
         "Homo sapiens ac\nPan ac\n\nHomo sapiens gt\nPan gt\n;\nEND;",
         "data error: line 4: taxon 0 (Homo), the row holds more than its 4 values (a taxon name "
         "with blanks must be quoted)"},
        {"#NEXUS\n\nBEGIN TAXA;\n    DIMENSIONS NTAX=2;\n    TAXLABELS\n        a\n        b_b\n  "
         ";\nEND;\n\nBEGIN CHARACTERS;\n    DIMENSIONS NCHAR=3;\n"
         "    FORMAT DATATYPE=CONTINUOUS ITEMS=(STATES);\n    MATRIX\n"
         "        a      1.5 2.0 -3.25 \n        b_b    0.0 0.001 4.0 \n    ;\nEND;\n",
         "a:1.5 2 -3.25/b b:0 0.001 4/", got<real_data>},
        {ape_continuous, "a:1.5 2 -3.25/b:0 nan 4/", got<real_data>}, // ? is the missing value
        // A value ends at whitespace, a comment or ';': 1.5 is no count 1 and a value .5.
        {ape_continuous,
         "data error: line 7: taxon 0 (a), character 0: the value 1 runs on into \".5\"",
         got<count_data>},
        // write.nexus.dist(d), (upper = TRUE), (diag = FALSE) and (upper = TRUE, diag = FALSE).
        {phangorn_taxa + "BEGIN DISTANCES; \n\tFORMAT TRIANGLE = LOWER;\n\tMatrix \n"
                         "\tHomo_sapiens 0.00\n\tPan 0.10 0.00\n\tMus 0.25 0.30 0.00\n\t;\nEND; \n",
         distances, got<squared>},
        {phangorn_taxa + "BEGIN DISTANCES; \n\tFORMAT TRIANGLE = BOTH;\n\tMatrix \n"
                         "\tHomo_sapiens 0.00 0.10 0.25\n\tPan 0.10 0.00 0.30\n"
                         "\tMus 0.25 0.30 0.00\n\t;\nEND; \n",
         distances, got<squared>},
        {phangorn_taxa + "BEGIN DISTANCES; \n\tFORMAT TRIANGLE = LOWER;\n\tFORMAT NODIAGONAL;\n"
                         "\tMatrix \n\tHomo_sapiens\n\tPan 0.10\n\tMus 0.25 0.30\n\t;\nEND; \n",
         distances, got<squared>},
        {blank_taxa + blank_rows, distances, got<squared>},
        {blank_taxa + other_rows,
         "data error: line 14: the TAXA block lists 4 names for NTAX=3 taxa, and the names of "
         "the matrix rows are not made of them",
         got<squared>},
        {"#NEXUS\nBEGIN TAXA;\n\tDIMENSIONS ntax=3;\n\tTAXLABELS Homo Pan ;\nEND;\n",
         "data error: line 5: the TAXA block declares NTAX=3 but TAXLABELS names only 2 taxa",
         got<squared>}};
    for (const auto& c : cases) expect_gives(c.read, c.text, c.expected);
    nexus::character_format declared;
    text_input standard_in(dendropy_standard), ape_in(ape_standard);
    EXPECT_EQ(summary(nexus::get(standard_in, declared)), "t1:0101/t2:1?10/");
    EXPECT_EQ(declared.kind, nexus::data_kind::STANDARD);
    EXPECT_EQ(declared.symbols, "10-");
    EXPECT_EQ(summary(nexus::get(ape_in, declared)), "t1:0101/t2:1?10/");
    EXPECT_EQ(declared, (nexus::character_format{nexus::data_kind::STANDARD, '?', '-', '\0',
                                                 "0123456789", false}));
}

TEST(NexusSyntax, WhatEachFileGives) {
    const std::string head = "#NEXUS\nbegin distances; dimensions newtaxa ntax=3; ",
                      square = "a:0 1 2/b:1 0 3/c:2 3 0/",
                      data = "#NEXUS\nbegin data; dimensions ntax=2 nchar=4;\nformat datatype=dna";
    const nexus_case cases[] = {
        // Rows of a later block may come in another order; CR LF line ends; a comment inside
        // a block line; a DATA block's own names even though a TAXA block came first.
        {"#NEXUS\r\nbegin taxa; taxlabels x y; end;\r\nbegin data; dimensions ntax=2 nchar=7;\r\n"
         "format interleave=yes datatype=protein;\r\nmatrix\r\n'P 1' MKV\r\nP_2 MRV\r\n\r\n"
         "P_2 Q[ ]L\r\n'P 1' -L\r\n'P 1' AA\r\nP_2  A?\r\n;\r\nend;\r\n",
         "P 1:MKV-LAA/P 2:MRVQLA?/"},
        {head + "format triangle=upper; matrix a 0 1 2 b 0 3 c 0; end;", square, got<squared>},
        {head + "format triangle=upper nodiagonal; matrix a 1 2\nb 3\nc\n; end;", square,
         got<squared>},
        {head + "format triangle=both nodiagonal; matrix a 1 2 b 1 3 c 2 3; end;", square,
         got<squared>},
        // Rows run over lines; LOWER by default.
        {head + "format; matrix a 0\nb 1\n0 c\n2 3 0; end;", square, got<squared>},
        {head + "format interleave; matrix\na 0\nb 1 0\nc 2\n\nc 3 0\n; end;", square,
         got<squared>},
        {head + "format nolabels; taxlabels a b c; matrix 0 1 0 2 3 0; end;", square, got<squared>},
        {head + "format missing=x; matrix a 0 b x 0 c 2 3 0; end;", "a:0 nan 2/b:nan 0 3/c:2 3 0/",
         got<squared>},
        // A MISSING symbol that can start a number stands for a missing value only alone.
        {head + "format missing=-; matrix a 0 b - 0 c -.5 -2 0; end;",
         "a:0 nan -0.5/b:nan 0 -2/c:-0.5 -2 0/", got<squared>},
        // Names as the reader reads them from a matrix.
        {"#NEXUS\nbegin data; dimensions ntax=3 nchar=1; matrix 'it''s'A __x__ C '' G; end;",
         "it's:A/  x  :C/:G/"},
        // Malformed files name the reason and the line.
        {"3\t4\nx ACGT\n",
         "data error: line 1: expected #NEXUS or BEGIN (of a DATA or CHARACTERS block), found "
         "\"3\""},
        {"#NEXUS\nmatrix a;",
         "data error: line 2: expected BEGIN (of a DATA or CHARACTERS block), found \"matrix\""},
        {data + ";\nmatrix\na ACGT\nb AC;\nend;",
         "data error: line 6: taxon 1 (b), the matrix ends (;) after 2 of 4 characters"},
        {data + ";\nmatrix\na ACGT\nb ACGTA\n;\nend;",
         "data error: line 6: expected the ';' that ends the matrix after its 2 rows, found \"A\""},
        {data + " interleave;\nmatrix\na ACGT\n;end;",
         "data error: line 6: the matrix has rows for only 1 of its 2 taxa"},
        {data + " interleave;\nmatrix\na AC\nb AC\na GTT\n;end;",
         "data error: line 7: taxon 0 (a), the row holds more than its 4 values"},
        {data + " interleave;\nmatrix\na AC\nb AG\na GT\nb T\n;end;",
         "data error: line 9: taxon 1 (b) has 3 values, not 4"},
        {data + " interleave;\nmatrix\na AC\nb AC\nc GT\n;end;",
         "data error: line 7: row 2: the row name \"c\" is not one of the 2 taxa of the matrix"},
        {"#NEXUS\nbegin taxa; taxlabels a b; end;\nbegin characters; dimensions nchar=1;\n"
         "matrix a A c C; end;",
         "data error: line 4: row 1: the row name \"c\" is not one of the taxa"},
        {data + ";\nmatrix\na ACGT\na ACGT\n;end;",
         "data error: line 6: row 1: a second row for the taxon \"a\""},
        {"#NEXUS\nbegin taxa; taxlabels a b c; end;\nbegin characters; dimensions nchar=2;\n"
         "format interleave; matrix\na AC\nb GT\n;\nend;",
         "data error: line 7: taxon 2 (c) has 0 values, not 2"},
        {data + " matchchar=.;\nmatrix\na AC.T\nb ACGT\n;end;",
         "data error: line 5: taxon 0 (a), character 2: the match character \".\" stands in the "
         "first row"},
        {data + ";\nmatrix\na A(CG)GT\nb ACGT\n;end;",
         "data error: line 5: taxon 0 (a), character 1: a polymorphic or uncertain state set ( "
         "..."},
        {data + " interleave=maybe;",
         "data error: line 3: INTERLEAVE must be YES or NO, not \"maybe\""},
        {data + " missing=??;", "data error: line 3: MISSING must be one character, not \"??\""},
        {"#NEXUS\nbegin data; dimensions ntax=two;",
         "data error: line 2: NTAX must be a whole number, not \"two\""},
        {"#NEXUS\nbegin data; dimensions ntax=2 nchar=2; end;",
         "data error: line 2: the DATA block ends without a MATRIX"},
        {"#NEXUS\nbegin data; matrix",
         "data error: line 2: MATRIX comes before DIMENSIONS NCHAR= in the DATA block"},
        {"#NEXUS\nbegin characters; dimensions nchar=1; matrix a A;",
         "data error: line 2: the CHARACTERS block gives no DIMENSIONS NTAX="},
        {"#NEXUS\nbegin taxa; taxlabels a b a; end;",
         "data error: line 2: TAXLABELS names the taxon \"a\" twice"},
        {"#NEXUS\nbegin data; dimensions ntax=1 nchar=1; format datatype=continuous; matrix a 1; "
         "end;",
         "data error: line 2: the matrix holds CONTINUOUS data, not discrete states"},
        {"#NEXUS\nbegin data; dimensions ntax=1 nchar=1; format datatype=mixed(dna:1-2); matrix",
         "data error: line 2: DATATYPE=mixed(dna : 1 - 2) is not supported"},
        {"#NEXUS\nbegin data; dimensions ntax=1 nchar=1;\nmatrix a A; end;",
         "data error: line 3: the matrix holds STANDARD data, not CONTINUOUS values",
         got<real_data>},
        {"#NEXUS\nbegin distances; dimensions ntax=2; format triangle=left;",
         "data error: line 2: TRIANGLE must be LOWER, UPPER or BOTH, not \"left\"", got<squared>},
        {"#NEXUS\nbegin distances; dimensions ntax=2; format nolabels;\nmatrix 0 1 0;",
         "data error: line 3: a matrix without row names (NOLABELS) needs its taxa named by a "
         "TAXA block",
         got<squared>},
        {"#NEXUS\nbegin distances; dimensions ntax=2;\nmatrix a 0\nb * 0; end;",
         "data error: line 4: taxon 1 (b), value 0: expected a real literal, found \"*\"",
         got<squared>},
        // NUL bytes are no blanks: /dev/zero would be read for ever.
        {std::string(100, '\0'), "data error: line 1: the input holds a NUL byte (code 0)"},
        {data + ";\nmatrix\na AC" + std::string(1, '\0') + "GT\n",
         "data error: line 5: taxon 0 (a), the input holds a NUL byte"},
        {"", "end error: line 1: the input ends where a DATA or CHARACTERS block was expected"},
        {"#NEXUS\nbegin trees; tree t = (a,b);\nend;\n",
         "end error: line 4: the input ends where a DATA or CHARACTERS block"},
        {"#NEXUS [open\n [nested] \n",
         "end error: line 3: the input ends inside the comment opened on line 1"},
        {"#NEXUS\nbegin taxa; taxlabels 'a\nb",
         "end error: line 3: the input ends inside the quoted token opened on line 2"},
        {data + ";\nmatrix\na ACGT\nb AC",
         "end error: line 6: taxon 1 (b), the input ends after 2 of 4 characters"},
        {data + ";\nmatrix\na ACGT\nb ACGT\n",
         "end error: line 7: the input ends where the ';' that ends the matrix"},
        {"#NEXUS\nbegin data; dimensions ntax=0 nchar=1; matrix",
         "range error: line 2: NTAX=0: a matrix needs at least 1 taxon"},
        {"#NEXUS\nbegin data; dimensions ntax=-2;", "range error: line 2: NTAX is -2, below 0"},
        {"#NEXUS\nbegin data; dimensions nchar=3000000000;",
         "range error: line 2: NCHAR is 3000000000, above 2147483647"}};
    for (const auto& c : cases) expect_gives(c.read, c.text, c.expected);
    EXPECT_EQ(nexus::nexus_name("Homo_sapiens"), "Homo sapiens");
    EXPECT_EQ(nexus::nexus_name("'Homo_sapiens'"), "Homo_sapiens");
    EXPECT_EQ(nexus::nexus_name("'O''Brien'"), "O'Brien");
    EXPECT_EQ(nexus::nexus_name("''"), "");
}

TEST(NexusSyntax, CommentsCaseBlocksAndGroupsAnywhere) {
    text_input in("[start] #nexus [a [nested] comment]\n"
                  "Begin Trees; tree t = ((a:1,'b;c':2),d); [;] End;\n"
                  "BEGIN assumptions; charset x = 1-3; ENDBLOCK;\n"
                  "begin TAXA; dimensions ntax = 3; taxlabels [first] 'a b' c_d e ; end;\n"
                  "begin characters; Dimensions nchar=10; FoRmAt DataType=Dna MatchChar=. "
                  "missing=N;\ncharstatelabels 1 'x;y', 2 z; Matrix\ne    ACGTA CGTAC\n"
                  "'a b' ..... [a comment inside] ...T.\nc_d  [x]..[y]GT AACGTN\n;\nend;\n"
                  "begin paup; set autoclose; end;\n");
    // The order of TAXLABELS, rows matched by name; the match character takes the first row's
    // state, the first row being the first one written (e).
    EXPECT_EQ(summary(nexus::get<disc_data>(in)), "a b:ACGTACGTTC/c d:ACGTAACGTN/e:ACGTACGTAC/");
    // The call stops after the block's END: the PAUP block is still there.
    EXPECT_EQ(test_support::next_char(in), '\n');
    EXPECT_EQ(test_support::next_char(in), 'b');
}

TEST(NexusSyntax, OneInputHoldsSeveralBlocks) {
    text_input in("#NEXUS\nbegin taxa; taxlabels a b; end;\n"
                  "begin characters; dimensions nchar=2; format datatype=continuous; matrix\n"
                  "b 3 4 a 1 2; end;\n"
                  "begin distances; matrix a 0 b 0.5 0; end;\n");
    generics::text_cursor c(in, true);
    EXPECT_EQ(summary(nexus::get<real_data>(c)), "a:1 2/b:3 4/");
    // The TAXA block was seen by the first call only: this block names its own taxa.
    expect_error<data_error>([&] { nexus::get<squared>(c); },
                             "line 5: the DISTANCES block gives no DIMENSIONS NTAX= and no TAXA "
                             "block comes before it");
}

TEST(NexusErrors, TheCurrentInputIsNamed) {
    text_input in("#NEXUS\nbegin data; dimensions ntax=1 nchar=3;\nmatrix\na AC\n;\nend;\n");
    generics::input_redirect redirect(in, "/data/m.nex");
    expect_error<data_error>(
        [] { nexus::get<disc_data>(); },
        "/data/m.nex: line 5: taxon 0 (a), the matrix ends (;) after 2 of 3 characters");
}

} // namespace
