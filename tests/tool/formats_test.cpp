// End to end: the long and wide tables, the header line, columns by name and restricted
// reshuffles, checked against the listings of the same run.

#include "run_support.hpp"

#include <set>

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

const std::string taxa =
    "taxon\tfamily\torder\na\tF1\tO1\nb\tF2\tO1\nc\tF3\tO2\nd\tF4\tO2\ne\tF5\tO1\nf\tF6\tO3\n";

} // namespace

TEST(LabmixTables, LongAndWideHoldTheListingsOfTheSameRun) {
    scratch s;
    const auto t = s.file("t.tsv", taxa);
    const auto run_as = [&](const std::string& format) {
        const auto r = run({t, "--header", "-n", "6", "-s", "3", "--strata", "order", format});
        EXPECT_EQ(r.status, 0) << format;
        EXPECT_EQ(r.err, "") << format;
        return lines(r.out);
    };
    const auto listings = run_as("--format=listings"), long_lines = run_as("--format=long"),
               wide_lines = run_as("--format=wide");
    // Listings: 7 blocks of 6 pairs and an empty line; the header line is no taxon.
    ASSERT_EQ(listings.size(), 7u * 7);
    EXPECT_EQ(listings[0], "a\tF1");
    ASSERT_EQ(long_lines.size(), 1 + 7u * 6);
    EXPECT_EQ(long_lines[0], "reshuffle\ttaxon\tfamily\torder");
    ASSERT_EQ(wide_lines.size(), 1 + 6u);
    EXPECT_EQ(wide_lines[0],
              "taxon\tfamily_0\tfamily_1\tfamily_2\tfamily_3\tfamily_4\tfamily_5\tfamily_6");
    // The order of taxon a..f, and of family F1..F6.
    const auto order = [](std::size_t k) { return std::string("O") + "112213"[k]; };
    for (std::size_t k = 0; k < 7; ++k) {
        for (std::size_t row = 0; row < 6; ++row) {
            const auto pair = split(listings[k * 7 + row], '\t');
            ASSERT_EQ(pair.size(), 2u);
            const auto taxon_order = order(static_cast<std::size_t>(pair[0][0] - 'a'));
            EXPECT_EQ(long_lines[1 + k * 6 + row],
                      std::to_string(k) + "\t" + pair[0] + "\t" + pair[1] + "\t" + taxon_order);
            const auto wide = split(wide_lines[1 + row], '\t');
            ASSERT_EQ(wide.size(), 8u);
            EXPECT_EQ(wide[0], pair[0]);
            EXPECT_EQ(wide[1 + k], pair[1]);
            // No family leaves its order.
            EXPECT_EQ(order(static_cast<std::size_t>(pair[1][1] - '1')), taxon_order) << k;
        }
        EXPECT_EQ(listings[k * 7 + 6], "");
    }
}

TEST(LabmixTables, LayoutsHeaderLinesAndColumnsThatCannotBeFound) {
    scratch s;
    const auto t = s.file("t.tsv", taxa), lead = s.file("lead.tsv", "\n" + taxa);
    const auto xy = s.file("xy.tsv", "a\tx\nb\ty\n"), quotes = s.file("say \"hi\"\tx\r\ry\n");
    const auto names = s.file("n1\tn2\n"), twice = s.file("id\tx\tid\n1\t2\t3\n");
    const auto ragged = s.file("id\tx\n1\t2\t3\n"), empty = s.file("\n\n");
    const std::string by_order = "a\tO1\nb\tO1\nc\tO2\nd\tO2\ne\tO1\nf\tO3\n\n";
    const std::string range = "labmix: range error: ", option = "labmix: option error: ";
    const auto no_taxa = [](const std::string& file) {
        return "labmix: " + file + " has no taxa, so every listing is empty\n";
    };
    expect_runs({
        {{xy, "--format", "long"}, "reshuffle\tfixed\tpermuted\n0\ta\tx\n0\tb\ty\n"},
        {{s.file("a\tx\tS\nb\ty\tS\n"), "--format=long", "--strata=3"},
         "reshuffle\tfixed\tpermuted\tstratum\n0\ta\tx\tS\n0\tb\ty\tS\n"},
        {{xy, "--format", "wide"}, "fixed\tpermuted_0\na\tx\nb\ty\n"},
        // Listing by listing across the line; the second reshuffle starts from the first.
        {{xy, "--format", "wide", "-n", "2", "-s", "1"},
         "fixed\tpermuted_0\tpermuted_1\tpermuted_2\na\tx\ty\ty\nb\ty\tx\tx\n"},
        // Double quotes and carriage returns: quoted in the tables, as they stand in listings.
        {{quotes, "--format", "long"},
         "reshuffle\tfixed\tpermuted\n0\t\"say \"\"hi\"\"\"\t\"x\r\ry\"\n"},
        {{s.file("h\"1\th2\nv\"\tw\n"), "--format", "wide", "--header"},
         "\"h\"\"1\"\th2_0\n\"v\"\"\"\tw\n"},
        {{quotes}, "say \"hi\"\tx\r\ry\n\n"},
        // No rows: the header line alone; a header line alone is no row either.
        // No rows: the header line alone, and a note; a header line alone is no row either.
        {{empty, "--format", "wide", "-n", "1"}, "fixed\tpermuted_0\tpermuted_1\n", no_taxa(empty)},
        {{names, "--header", "--format", "wide"}, "n1\tn2_0\n", no_taxa(names)},
        {{names, "--header", "-n", "2", "--quiet"}, "\n\n\n"},
        // By name or by number; the header line is not listed. (The spellings and the order of
        // the options are options_test's.)
        {{lead, "--header", "--permute", "order"}, by_order},
        {{lead, "--header", "--permute=3"}, by_order},
        {{lead, "--permute", "order", "--fixed", "taxon", "--header"}, by_order},
        // Without --header the header line is the first taxon, as it always was.
        {{lead}, "taxon\tfamily\na\tF1\nb\tF2\nc\tF3\nd\tF4\ne\tF5\nf\tF6\n\n"},
        fails({t, "--header", "--fixed", "genus"},
              range + t + ": the header line has no column named \"genus\" (option --fixed)\n"),
        fails({t, "--header", "--strata", "Order"},
              range + t + ": the header line has no column named \"Order\" (option --strata)\n"),
        fails({twice, "--header", "--permute", "id"},
              range + twice +
                  ": the header line names two columns \"id\", 1 and 3 (option --permute)\n"),
        fails({t, "--header", "--strata", "4"},
              range + "column 4 (option --strata) is beyond the 3 fields of the rows of " + t +
                  "\n"),
        fails({ragged, "--header"}, "labmix: wrong number of fields: " + ragged +
                                        ": line  2: 3 fields, where the first row has 2\n"),
        fails({empty, "--header"},
              range + empty + ": no header line (--header), the input has no non-empty line\n"),
        fails({t, "--colour"},
              option + "unknown option --colour (labmix --help lists the options)\n"),
    });
}

TEST(LabmixStrata, OneStratumGivesTheBytesOfAnUnrestrictedRunAndLabelsStayInTheirStrata) {
    scratch s;
    std::string one, many;
    for (int i = 0; i < 300; ++i) {
        const auto taxon = "t" + std::to_string(i), stratum = "s" + std::to_string(i * 7 % 13);
        one += taxon + "\tg" + std::to_string(i % 17) + "\tall\n";
        // The permuted label names its stratum, so that a label out of place shows.
        many += taxon + "\t" + stratum + "-" + std::to_string(i % 5) + "\t" + stratum + "\n";
    }
    const auto a = s.file("one.tsv", one);
    EXPECT_EQ(run({a, "-n", "20", "-s", "77", "--strata", "3"}).out,
              run({a, "-n", "20", "-s", "77"}).out);
    const auto r =
        run({s.file("many.tsv", many), "-n", "50", "-s", "5", "--strata", "3", "--format", "long"});
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
