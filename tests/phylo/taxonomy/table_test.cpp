#include <phylo/taxonomy/table.hpp>

#include <generics/current_io.hpp>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using phylo::taxonomy::group_name_vector;
using phylo::taxonomy::group_names;
using phylo::taxonomy::nf_error;
namespace taxonomy = phylo::taxonomy;

using rows_t = std::vector<std::vector<std::string>>;

// Runs `f`, which must throw exactly E with message `message`.
template <class E, class F>
void expect_error(F&& f, const std::string& message) {
    try {
        f();
        ADD_FAILURE() << "no exception, expected: " << message;
    } catch (const E& e) {
        EXPECT_EQ(std::string(e.what()), message);
    }
}

group_name_vector read(const std::string& text, char separator = '\t') {
    std::istringstream in(text);
    return taxonomy::get(in, separator, "t.tsv");
}

// The table as plain rows, checking on the way that every row is indexed from 0.
rows_t rows_of(const group_name_vector& table) {
    EXPECT_EQ(table.first(), 0);
    rows_t rows;
    for (const auto& row : table) {
        EXPECT_TRUE(row);
        EXPECT_EQ(row->first(), 0);
        rows.emplace_back(row->begin(), row->end());
    }
    return rows;
}

std::string written(const group_name_vector& table, char separator = '\t') {
    std::ostringstream out;
    taxonomy::put(out, table, separator);
    return out.str();
}

std::string data_file(const std::string& name) { return std::string(LABMIX_TEST_DATA) + "/" + name; }

TEST(TableGet, FieldsRowsAndBlanks) {
    EXPECT_EQ(rows_of(read("x\t1\ny\t2\n")), (rows_t{{"x", "1"}, {"y", "2"}}));
    // Only blanks are trimmed; a field of blanks is empty; a tab inside a field cannot occur.
    EXPECT_EQ(rows_of(read("  x  \t \n\t\v b\f \n")), (rows_t{{"x", ""}, {"", "\v b\f"}}));
    // A trailing separator gives an empty last field.
    EXPECT_EQ(rows_of(read("a\tb\t\nc\t\t\n")), (rows_t{{"a", "b", ""}, {"c", "", ""}}));
    EXPECT_EQ(rows_of(read("a;b c;d\n", ';')), (rows_t{{"a", "b c", "d"}}));
    // A last line without a line end is a row like the others.
    EXPECT_EQ(rows_of(read("a\tb\nc\td")), (rows_t{{"a", "b"}, {"c", "d"}}));
    // One-field tables: the separator never occurs.
    EXPECT_EQ(rows_of(read("only\nrow\n")), (rows_t{{"only"}, {"row"}}));
}

TEST(TableGet, EmptyLinesAndEmptyInputs) {
    EXPECT_EQ(rows_of(read("\n\na\tb\n\n\nc\td\n\n")), (rows_t{{"a", "b"}, {"c", "d"}}));
    for (const std::string text : {"", "\n", "\n\n\n", "\r\n\r\n", "\r"}) {
        const auto table = read(text);
        EXPECT_TRUE(table.empty()) << text.size();
        EXPECT_EQ(table.last(), -1);
        EXPECT_TRUE(group_names::extract(table, 0).empty());
        EXPECT_EQ(written(table), "");
    }
}

TEST(TableGet, CarriageReturnsBelongToTheLineEnd) {
    const std::string lf = "a\tb\n\nc\td\ne\tf\n";
    const std::string crlf = "a\tb\r\n\r\nc\td\r\ne\tf\r\n";
    EXPECT_EQ(rows_of(read(crlf)), rows_of(read(lf)));
    // At the very end of the input, with or without a line feed before it.
    EXPECT_EQ(rows_of(read("a\tb\r\nc\td\r")), (rows_t{{"a", "b"}, {"c", "d"}}));
    EXPECT_EQ(rows_of(read("a\tb\n\r")), (rows_t{{"a", "b"}}));
    // Elsewhere a carriage return is an ordinary character.
    EXPECT_EQ(rows_of(read("a\r\tb\r\r\n")), (rows_t{{"a\r", "b\r"}}));
    EXPECT_EQ(rows_of(read("a\rb\tc\n")), (rows_t{{"a\rb", "c"}}));
}

TEST(TableGet, CrlfFileReadsLikeItsLfTwin) {
    std::ifstream crlf(data_file("table_crlf.tsv"), std::ios::binary);
    std::ifstream lf(data_file("table_lf.tsv"), std::ios::binary);
    ASSERT_TRUE(crlf && lf);
    const auto a = rows_of(taxonomy::get(crlf, '\t', "table_crlf.tsv"));
    const auto b = rows_of(taxonomy::get(lf, '\t', "table_lf.tsv"));
    EXPECT_EQ(a.size(), 4u);
    EXPECT_EQ(a, b);
}

TEST(TableGet, LongLinesAreReadWhole) {
    // Lines longer than any read block, and lines that straddle block boundaries.
    const std::string long_label(1'000'003, 'x');
    const auto table = read("a\t" + long_label + "\r\n" + long_label + "\tb\n");
    EXPECT_EQ(rows_of(table), (rows_t{{"a", long_label}, {long_label, "b"}}));

    // A CR LF split between two blocks of input (blocks are 256 KiB).
    for (std::size_t cr_at = (1u << 18) - 3; cr_at <= (1u << 18) + 2; ++cr_at) {
        const std::string filler(cr_at - 2, 'f');
        EXPECT_EQ(rows_of(read("a\t" + filler + "\r\nb\tc\r\n")), (rows_t{{"a", filler}, {"b", "c"}}));
    }

    std::string text;
    rows_t expected;
    for (int i = 0; i < 40'000; ++i) {
        std::string label(static_cast<std::size_t>(i % 97), static_cast<char>('a' + i % 26));
        text += std::to_string(i) + "\t" + label + (i % 3 == 0 ? "\r\n" : "\n");
        expected.push_back({std::to_string(i), label});
    }
    EXPECT_EQ(rows_of(read(text)), expected);
}

TEST(TableGet, GrowthPastTheFirstRowsIsInvisible) {
    for (int rows : {99, 100, 101, 150, 1000, 70'000}) {
        std::string text;
        for (int i = 0; i < rows; ++i) text += "t" + std::to_string(i) + "\tg\tf\n";
        const auto table = read(text);
        ASSERT_EQ(table.last(), rows - 1);
        EXPECT_EQ(table[rows - 1]->last(), 2);
        EXPECT_EQ((*table[rows - 1])[0], "t" + std::to_string(rows - 1));
        EXPECT_EQ((*table[0])[2], "f");
    }
}

TEST(TableGet, WrongFieldCountNamesInputAndLine) {
    expect_error<nf_error>([] { read("a\tb\t\na\tb\n"); }, "t.tsv: line  2");
    // Empty lines count, with or without a carriage return.
    expect_error<nf_error>([] { read("\na\tb\n\r\nc\td\ne\n"); }, "t.tsv: line  5");
    expect_error<nf_error>([] { read("a\tb\n\nc\td\ne\tf\tg\n"); }, "t.tsv: line  4");
    // The last line without a line end, and a lone carriage return is no field.
    expect_error<nf_error>([] { read("a\tb\nc\td\nx"); }, "t.tsv: line  3");
    std::istringstream in("a\tb\n" + std::string(20'000, 'y') + "\n");
    expect_error<nf_error>([&] { taxonomy::get(in, '\t', "/data/long name.tsv"); },
                           "/data/long name.tsv: line  2");
    EXPECT_STREQ(nf_error("x").name(), "wrong number of fields");
}

TEST(TableGet, ReadsTheRestOfTheStream) {
    std::istringstream in("header line\na\tb\nc\td\n");
    std::string skipped;
    std::getline(in, skipped);
    // Lines are counted from where the call begins.
    EXPECT_EQ(rows_of(taxonomy::get(in, '\t', "t")), (rows_t{{"a", "b"}, {"c", "d"}}));
    EXPECT_TRUE(taxonomy::get(in, '\t', "t").empty());
}

TEST(TableGet, UnreadableInputIsAnErrorNotAnEmptyTable) {
    const std::filesystem::path dir = std::filesystem::path(LABMIX_TEST_DATA);
    std::ifstream directory(dir);
    expect_error<phylo::use_error>([&] { taxonomy::get(directory, '\t', dir.string()); },
                                   dir.string() + ": cannot be read");

    std::ifstream missing("/nonexistent/table_none.tsv");
    expect_error<phylo::use_error>([&] { taxonomy::get(missing, '\t', "none.tsv"); },
                                   "none.tsv: cannot be read");

    std::istringstream broken("a\tb\n");
    broken.setstate(std::ios::badbit);
    EXPECT_THROW(taxonomy::get(broken, '\t', "b"), phylo::use_error);

    if (geteuid() != 0) { // root reads any file
        const auto path = std::filesystem::temp_directory_path() / "table_unreadable_test.tsv";
        std::ofstream(path) << "a\tb\n";
        std::filesystem::permissions(path, std::filesystem::perms::none);
        std::ifstream unreadable(path);
        EXPECT_THROW(taxonomy::get(unreadable, '\t', path.string()), phylo::use_error);
        std::filesystem::remove(path);
    }
}

TEST(TableGet, CurrentInputTwinUsesItsName) {
    std::istringstream good("x\t1\ny\t2\n");
    {
        generics::input_redirect redirect(good, "/home/u/good.tsv");
        EXPECT_EQ(rows_of(taxonomy::get('\t')), (rows_t{{"x", "1"}, {"y", "2"}}));
    }
    std::istringstream bad("x\t1\ny\n");
    generics::input_redirect redirect(bad, "/home/u/bad.tsv");
    expect_error<nf_error>([] { taxonomy::get('\t'); }, "/home/u/bad.tsv: line  2");
}

TEST(TableExtract, ColumnsWithTheTablesBounds) {
    const auto table = read("x\t1\ny\t2\n");
    const auto first = group_names::extract(table, 0);
    EXPECT_EQ(first.first(), 0);
    EXPECT_EQ(first.last(), 1);
    EXPECT_EQ(first[0], "x");
    EXPECT_EQ(first[1], "y");
    EXPECT_EQ(group_names::extract(table, 1)[1], "2");
    expect_error<phylo::range_error>([&] { (void)group_names::extract(table, 2); },
                                     "index 2 outside the bounds 0 .. 1");
}

TEST(TablePut, WritesRowsAndRoundTrips) {
    const std::string text = "a\tb\tc\n\td\t\nx y\tz\t!\n";
    const auto table = read(text);
    EXPECT_EQ(written(table), text);
    EXPECT_EQ(rows_of(read(written(table))), rows_of(table));
    EXPECT_EQ(written(read("a;b\nc;d\n", ';'), ','), "a,b\nc,d\n");

    std::ostringstream out;
    {
        generics::output_redirect redirect(out);
        taxonomy::put(table, '|');
    }
    EXPECT_EQ(out.str(), "a|b|c\n|d|\nx y|z|!\n");
}

TEST(TablePut, MissingRowsAndFailedWrites) {
    auto table = read("a\tb\nc\td\ne\tf\n");
    table[1].reset();
    std::ostringstream out;
    expect_error<phylo::range_error>([&] { taxonomy::put(out, table, '\t'); }, "row 1 is null");
    EXPECT_EQ(out.str(), "a\tb\n");

    table[1] = std::make_unique<phylo::taxon_labels>();
    std::ostringstream out2;
    expect_error<phylo::range_error>([&] { taxonomy::put(out2, table, '\t'); }, "row 1 has no fields");
    EXPECT_EQ(out2.str(), "a\tb\n");

    std::ostream nowhere(nullptr);
    expect_error<phylo::use_error>([&] { taxonomy::put(nowhere, read("a\n"), '\t'); },
                                   "the table cannot be written");
}

} // namespace
