// End to end: the long and wide tables, the header line, columns by name and restricted
// reshuffles, checked against the listings of the same run.

#include "run_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

using namespace run_support;

namespace {

std::vector<std::string> split(const std::string& text, char by) {
    std::vector<std::string> pieces(1);
    for (const char c : text) {
        if (c == by)
            pieces.emplace_back();
        else
            pieces.back() += c;
    }
    return pieces;
}

// The lines of `text`, which must end in a line feed.
std::vector<std::string> lines(const std::string& text) {
    EXPECT_TRUE(text.empty() || text.back() == '\n');
    auto all = split(text, '\n');
    all.pop_back();
    return all;
}

const std::string taxa = "taxon\tfamily\torder\n"
                         "a\tF1\tO1\n"
                         "b\tF2\tO1\n"
                         "c\tF3\tO2\n"
                         "d\tF4\tO2\n"
                         "e\tF5\tO1\n"
                         "f\tF6\tO3\n";

} // namespace

TEST(LabmixTables, LongAndWideHoldTheListingsOfTheSameRun) {
    scratch s;
    const auto t = s.file("t.tsv", taxa);
    const std::vector<std::string> common = {t,    "--header", "-n",       "6",
                                             "-s", "3",        "--strata", "order"};
    const auto run_as = [&](const std::string& format) {
        auto args = common;
        args.push_back("--format=" + format);
        const auto r = run(args);
        EXPECT_EQ(r.status, 0) << format;
        EXPECT_EQ(r.err, "") << format;
        return lines(r.out);
    };
    const auto listings = run_as("listings");
    const auto long_lines = run_as("long");
    const auto wide_lines = run_as("wide");
    // Listings: 7 blocks of 6 pairs and an empty line; the header line is no taxon.
    ASSERT_EQ(listings.size(), 7u * 7);
    EXPECT_EQ(listings[0], "a\tF1");
    ASSERT_EQ(long_lines.size(), 1 + 7u * 6);
    EXPECT_EQ(long_lines[0], "reshuffle\ttaxon\tfamily\torder");
    ASSERT_EQ(wide_lines.size(), 1 + 6u);
    EXPECT_EQ(wide_lines[0],
              "taxon\tfamily_0\tfamily_1\tfamily_2\tfamily_3\tfamily_4\tfamily_5\tfamily_6");
    const std::map<std::string, std::string> order_of = {{"a", "O1"}, {"b", "O1"}, {"c", "O2"},
                                                         {"d", "O2"}, {"e", "O1"}, {"f", "O3"}};
    const std::map<std::string, std::string> order_of_family = {
        {"F1", "O1"}, {"F2", "O1"}, {"F3", "O2"}, {"F4", "O2"}, {"F5", "O1"}, {"F6", "O3"}};
    for (std::size_t k = 0; k < 7; ++k) {
        for (std::size_t row = 0; row < 6; ++row) {
            const auto pair = split(listings[k * 7 + row], '\t');
            ASSERT_EQ(pair.size(), 2u);
            EXPECT_EQ(long_lines[1 + k * 6 + row], std::to_string(k) + "\t" + pair[0] + "\t" +
                                                       pair[1] + "\t" + order_of.at(pair[0]));
            const auto wide = split(wide_lines[1 + row], '\t');
            ASSERT_EQ(wide.size(), 8u);
            EXPECT_EQ(wide[0], pair[0]);
            EXPECT_EQ(wide[1 + k], pair[1]);
            // No family leaves its order.
            EXPECT_EQ(order_of_family.at(pair[1]), order_of.at(pair[0])) << "listing " << k;
        }
        EXPECT_EQ(listings[k * 7 + 6], "");
    }
}

TEST(LabmixTables, LayoutsWithoutAHeaderAndFieldsThatNeedQuotes) {
    scratch s;
    struct row {
        std::string table;
        std::vector<std::string> options;
        std::string out;
    };
    const std::vector<row> rows = {
        {"a\tx\nb\ty\n", {"--format", "long"}, "reshuffle\tfixed\tpermuted\n0\ta\tx\n0\tb\ty\n"},
        {"a\tx\tS\nb\ty\tS\n",
         {"--format=long", "--strata=3"},
         "reshuffle\tfixed\tpermuted\tstratum\n0\ta\tx\tS\n0\tb\ty\tS\n"},
        {"a\tx\nb\ty\n", {"--format", "wide"}, "fixed\tpermuted_0\na\tx\nb\ty\n"},
        // Listing by listing across the line; the second reshuffle starts from the first.
        {"a\tx\nb\ty\n",
         {"--format", "wide", "-n", "2", "-s", "1"},
         "fixed\tpermuted_0\tpermuted_1\tpermuted_2\na\tx\ty\ty\nb\ty\tx\tx\n"},
        // Double quotes and carriage returns: quoted in the tables, as they stand in listings.
        {"say \"hi\"\tx\r\ry\n",
         {"--format", "long"},
         "reshuffle\tfixed\tpermuted\n0\t\"say \"\"hi\"\"\"\t\"x\r\ry\"\n"},
        {"h\"1\th2\nv\"\tw\n",
         {"--format", "wide", "--header"},
         "\"h\"\"1\"\th2_0\n\"v\"\"\"\tw\n"},
        {"say \"hi\"\tx\r\ry\n", {}, "say \"hi\"\tx\r\ry\n\n"},
        // No rows: the header line alone; a header line alone is no row either.
        {"", {"--format", "long", "-n", "3"}, "reshuffle\tfixed\tpermuted\n"},
        {"\n\n", {"--format", "wide", "-n", "1"}, "fixed\tpermuted_0\tpermuted_1\n"},
        {"n1\tn2\n", {"--header", "--format", "wide"}, "n1\tn2_0\n"},
        {"n1\tn2\n", {"--header", "-n", "2"}, "\n\n\n"},
    };
    for (const auto& [table, options, out] : rows) {
        std::vector<std::string> args{s.file("t.tsv", table)};
        args.insert(args.end(), options.begin(), options.end());
        const auto r = run(args);
        EXPECT_EQ(r.out, out) << table;
        EXPECT_EQ(r.err, "") << table;
        EXPECT_EQ(r.status, 0) << table;
    }
}

TEST(LabmixHeader, TheHeaderLineNamesTheColumnsAndIsNeverATaxon) {
    scratch s;
    const auto t = s.file("t.tsv", "\n" + taxa);
    // By name or by number, in either spelling; the header line is not listed.
    const std::string by_order = "a\tO1\nb\tO1\nc\tO2\nd\tO2\ne\tO1\nf\tO3\n\n";
    for (const auto& args : std::vector<std::vector<std::string>>{
             {t, "--header", "--permute", "order"},
             {t, "--header", "--permute=3"},
             {"--header", "-p", "3", t},
             {t, "--permute", "order", "--fixed", "taxon", "--header"}}) {
        const auto r = run(args);
        EXPECT_EQ(r.out, by_order) << args.back();
        EXPECT_EQ(r.status, 0);
    }
    // Without --header the header line is the first taxon, as it always was.
    EXPECT_EQ(lines(run({t}).out).front(), "taxon\tfamily");
}

TEST(LabmixHeader, ColumnsThatCannotBeFoundEndWithStatusOne) {
    scratch s;
    const auto t = s.file("t.tsv", taxa);
    const auto twice = s.file("twice.tsv", "id\tx\tid\n1\t2\t3\n");
    const auto ragged = s.file("ragged.tsv", "id\tx\n1\t2\t3\n");
    const auto empty = s.file("empty.tsv", "\n\n");
    const std::vector<std::pair<std::vector<std::string>, std::string>> rows = {
        {{t, "--header", "--fixed", "genus"},
         "labmix: range error: " + t +
             ": the header line has no column named \"genus\" (option --fixed)\n"},
        {{t, "--header", "--strata", "Order"},
         "labmix: range error: " + t +
             ": the header line has no column named \"Order\" (option --strata)\n"},
        {{twice, "--header", "--permute", "id"},
         "labmix: range error: " + twice +
             ": the header line names two columns \"id\", 1 and 3 (option --permute)\n"},
        {{t, "--header", "--strata", "4"},
         "labmix: range error: column 4 is beyond the 3 fields of the table\n"},
        {{ragged, "--header"}, "labmix: wrong number of fields: " + ragged + ": line  2\n"},
        {{empty, "--header"},
         "labmix: range error: " + empty +
             ": no header line (--header), the input has no non-empty line\n"},
        {{t, "--permute", "order"},
         "labmix: option error: the value of option --permute, \"order\", is not a "
         "column number, and column names need --header\n"},
        {{t, "--colour"},
         "labmix: option error: unknown option --colour (labmix --help lists the options)\n"},
        {{t, "--seed"}, "labmix: option error: option --seed has no value\n"},
    };
    for (const auto& [args, err] : rows) {
        const auto r = run(args);
        EXPECT_EQ(r.err, err);
        EXPECT_EQ(r.out, "") << err;
        EXPECT_EQ(r.status, 1) << err;
    }
}

TEST(LabmixStrata, OneStratumGivesTheBytesOfAnUnrestrictedRunAndLabelsStayInTheirStrata) {
    scratch s;
    std::string one, many;
    for (int i = 0; i < 300; ++i) {
        // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on "literal" + string.
        const auto taxon = std::string("t").append(std::to_string(i));
        const auto stratum = std::string("s").append(std::to_string(i * 7 % 13));
        one.append(taxon).append("\tg").append(std::to_string(i % 17)).append("\tall\n");
        // The permuted label names its stratum, so that a label out of place shows.
        many.append(taxon).append("\t").append(stratum).append("-").append(std::to_string(i % 5));
        many.append("\t").append(stratum).append("\n");
    }
    const auto a = s.file("one.tsv", one);
    const auto unrestricted = run({a, "-n", "20", "-s", "77"});
    EXPECT_EQ(run({a, "-n", "20", "-s", "77", "--strata", "3"}).out, unrestricted.out);
    const auto b = s.file("many.tsv", many);
    const auto r = run({b, "-n", "50", "-s", "5", "--strata", "3", "--format", "long"});
    ASSERT_EQ(r.status, 0);
    std::set<std::string> moved;
    for (const auto& line : lines(r.out)) {
        const auto f = split(line, '\t');
        ASSERT_EQ(f.size(), 4u);
        if (f[0] == "reshuffle") continue;
        EXPECT_EQ(f[2].substr(0, f[2].find('-')), f[3]) << line;
        if (f[0] != "0") moved.insert(f[1] + f[2]);
    }
    EXPECT_GT(moved.size(), 1000u); // and they do move within their strata
}

// The wide table keeps its listings in narrower numbers when the labels are few: at the
// edges of each width it still holds every listing of the run, label for label.
TEST(LabmixTables, WideHoldsTheListingsWhateverTheNumberOfDistinctLabels) {
    scratch s;
    for (const auto& [rows, distinct] : std::vector<std::pair<int, int>>{
             {300, 256}, {300, 257}, {66'000, 65'536}, {66'000, 65'537}}) {
        std::string table;
        for (int i = 0; i < rows; ++i)
            table += "t" + std::to_string(i) + "\tg" + std::to_string(i % distinct) + "\n";
        const auto t = s.file("t.tsv", table);
        const auto listings = lines(run({t, "-n", "2", "-s", "5"}).out);
        const auto wide = lines(run({t, "-n", "2", "-s", "5", "--format", "wide"}).out);
        ASSERT_EQ(listings.size(), 3u * (rows + 1)) << distinct;
        ASSERT_EQ(wide.size(), 1u + rows) << distinct;
        for (int i = 0; i < rows; ++i) {
            std::string line = "t" + std::to_string(i);
            for (int k = 0; k < 3; ++k)
                line += "\t" + split(listings[k * (rows + 1) + i], '\t').at(1);
            ASSERT_EQ(wide[1 + i], line) << distinct << " labels, row " << i;
        }
    }
}
