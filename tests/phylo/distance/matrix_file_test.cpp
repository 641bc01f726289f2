#include <phylo/distance/matrix_file.hpp>

#include "../../test_support.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using namespace phylo;
using distance::matrix_layout;
using read::triangle;

// The last name fills a strict name's 10 columns: only strict names read the strict rows.
const std::vector<std::string> names = {"Homo", "Pan", "Gorilla", "Pongo_abel"};
const char* const values[4][4] = {{"0", "0.1", "0.2", "0.35"},
                                  {"0.1", "0", "0.25", "0.4"},
                                  {"0.2", "0.25", "0", "0.45"},
                                  {"0.35", "0.4", "0.45", "0"}};

std::string phylip(read::triangle shape, bool strict, char between) {
    using enum read::triangle;
    std::string text = "4\n";
    for (int i = 0; i < 4; ++i) {
        const auto k = static_cast<std::size_t>(i);
        text += strict ? names[k] + std::string(10 - names[k].size(), ' ') : names[k] + between;
        const int from = shape == UPPER ? i + 1 : shape == UPPER_DIAGONAL ? i : 0;
        const int to = shape == LOWER ? i : shape == LOWER_DIAGONAL ? i + 1 : 4;
        for (int j = from; j < to; ++j) text += std::string(j > from, between) + values[i][j];
        text += '\n';
    }
    return text;
}

TEST(MatrixFile, EveryLayoutReadsTheSameMatrix) {
    const std::string rows = phylip(triangle::SQUARE, false, '\t').substr(2);
    std::vector<std::pair<matrix_layout, std::string>> files = {
        {matrix_layout::NEXUS,
         "#NEXUS\nbegin distances;\n dimensions ntax=4;\n format triangle=lower;\n matrix\n"
         " Homo 0\n Pan 0.1 0\n Gorilla 0.2 0.25 0\n 'Pongo_abel' 0.35 0.4 0.45 0\n;\nend;\n"
         "begin trees;\nend;\n"},
        {matrix_layout::TAB_SEPARATED, "\tHomo\tPan\tGorilla\tPongo_abel\n" + rows},
        {matrix_layout::TAB_SEPARATED, "taxon\tHomo\tPan\tGorilla\tPongo_abel\n" + rows},
        {matrix_layout::TAB_SEPARATED, "Homo\tPan\tGorilla\tPongo_abel\n" + rows}};
    for (const triangle shape : {triangle::SQUARE, triangle::LOWER, triangle::LOWER_DIAGONAL,
                                 triangle::UPPER, triangle::UPPER_DIAGONAL})
        for (const bool strict : {false, true})
            for (const char between : {' ', '\t'})
                files.emplace_back(strict ? matrix_layout::PHYLIP : matrix_layout::EXTENDED_PHYLIP,
                                   phylip(shape, strict, between));
    for (const auto& [named, text] : files)
        for (const matrix_layout layout : {matrix_layout::AUTOMATIC, named}) {
            SCOPED_TRACE((layout == named ? "named:\n" : "detected:\n") + text);
            test_support::text_input in(text);
            const squared d = distance::read_matrix(in, "d", layout);
            ASSERT_EQ(d.labels.length(), 4);
            for (index_type i = 0; i < 4; ++i) {
                EXPECT_EQ(d.labels[i], names[static_cast<std::size_t>(i)]);
                for (index_type j = 0; j < 4; ++j)
                    EXPECT_EQ(d.matrix(i, j), std::stod(values[i][j]));
            }
        }
}

TEST(MatrixFile, RefusesWhatItCannotTellOrTestWith) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Homo 0 1\n", "d: line 1: the first line is neither #NEXUS, nor a PHYLIP header"},
        {"2\nTaxon 1   \nTaxon 2   0.5\n", "d: the PHYLIP rows read both with names ended by a "
                                           "blank or tab and with 10-character names, to "
                                           "different matrices; name the layout"},
        {"2\na 0 x\nb 1 0\n",
         "d: the PHYLIP rows read neither with names ended by a blank or tab ("},
        {"2\na 0 1\nb 1 0\nc 0 0\n", "line 4: the file goes on after the matrix"},
        {"2\na 0 1\na 1 0\n", "d: the label \"a\" names both row 1 and row 2"},
        {"2\na 0 1\nb 1 0.5\n", "d: the distance from \"b\" to itself is 0.5, not 0"},
        {"#NEXUS\nbegin distances; dimensions ntax=2; format missing=?; matrix a 0 b ? 0; end;",
         "d: the distance from \"a\" to \"b\" (or back) is nan, not a "},
        {"2\na 0 1\nb 1.0001 0\n", "d: the matrix is not symmetric: the distance from \"a\" to "
                                   "\"b\" is 1, back 1.0001 (they must agree within 1e-9"},
        {"2\na 0 -1\nb -1 0\n", "d: the distance from \"a\" to \"b\" is -1, below 0"},
        {"2\na 0 1\nb 1.0000000001 0\n", ""}}; // within 1e-9
    for (const auto& row : cases) {
        const auto& text = row.first;
        const auto& message = row.second;
        SCOPED_TRACE(text);
        const auto read_and_check = [&text] {
            test_support::text_input in(text);
            distance::check_matrix(distance::read_matrix(in, "d"), "d");
        };
        if (message.empty())
            EXPECT_NO_THROW(read_and_check());
        else
            test_support::expect_error<data_error>(read_and_check, message);
    }
}

} // namespace
