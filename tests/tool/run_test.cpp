// End to end: runs the built labmix and checks standard output, standard error and the exit
// status.

#include "run_support.hpp"

#include <algorithm>
#include <cctype>
#include <set>

using namespace run_support;

namespace {

const std::string abc = "a\tx\nb\ty\nc\tz\n";

} // namespace

TEST(Labmix, ListingsAsReadTheUsageTextAndFailuresOfOneMessageAndStatusOne) {
    scratch s;
    const auto t = s.file("t.tsv", abc);
    const auto ragged = s.file("ragged.tsv", "a\tx\n\nb\ty\nc\n");
    const auto directory = fs::temp_directory_path().string();
    const std::string endless = "2147483647", range = "labmix: range error: ";
    const std::string column = range + "column ";
    const std::string output = "labmix: write error: standard output: ";
    const std::string fields = "labmix: wrong number of fields: ";
    const auto one = s.file("one.tsv", "a\nb\n");
    const auto empty = s.file("empty.tsv", "");
    const std::string usage = binary + " randomizes associations.\n\nUsage: " + binary +
                              " [options] inputfile(s)\n\nOptions:\n"
                              "  -f  Column to keep fixed.\n"
                              "  -n  Randomly reshuffle taxon labels this number of times.\n"
                              "  -p  Column to permute.\n"
                              "  -s  Seed for random reshuffles.\n\n";
    // The rules of the table and of the options are table_test's and options_test's; here
    // each kind of failure once as the program reports it, and the program's own rules.
    expect_runs({
        {{t, "-n", "0", "-f", "1", "-p", "2"}, abc + "\n"},
        {{t, "-f", "2", "-p", "2"}, "x\tx\ny\ty\nz\tz\n\n"},
        {{t, "-f", "2", "-p", "1"}, "x\ta\ny\tb\nz\tc\n\n"},
        // No rows: one empty line per listing, whatever the columns.
        {{empty, "-n", "2", "-f", "9"},
         "\n\n\n",
         "labmix: " + empty + " has no taxa, so every listing is empty\n"},
        // Not exactly one input: which, then the usage text.
        fails({}, "labmix: no input file given\n" + usage),
        fails({"a.tsv", "-x"}, "labmix: 2 inputs given (\"a.tsv\" \"-x\"); labmix reads exactly "
                               "one (- for standard input)\n" +
                                   usage),
        // The file and the system's reason under the first line.
        fails({s.path("missing.tsv")}, "Invalid filename.\nlabmix: " + s.path("missing.tsv") +
                                           ": No such file or directory\n"),
        fails({directory}, "Invalid filename.\nlabmix: " + directory + ": Is a directory\n"),
        fails({"-"}, fields + "standard input: line  4: 1 field, where the first row has 2\n",
              {.in = ragged}),
        fails({t, "-p", "3"},
              column + "3 (option -p) is beyond the 2 fields of the rows of " + t + "\n"),
        // Every line is checked before a column is found missing; the empty line counts.
        fails({ragged, "-p", "3"},
              fields + ragged + ": line  4: 1 field, where the first row has 2\n"),
        fails({one, "-f", "4", "-p", "1"},
              column + "4 (option -f) is beyond the 1 field of the rows of " + one + "\n"),
        fails({one, "-p", "2"},
              column + "2 (option -p) is beyond the 1 field of the rows of " + one + "\n"),
        fails({one},
              column + "2 (the default of -p) is beyond the 1 field of the rows of " + one + "\n"),
        fails({"-p", "habitat", one},
              range + "the value of option -p is not a whole number in -2147483648 .. 2147483647: "
                      "\"habitat\"; -p takes column numbers, --permute a number or a column name "
                      "(with --header)\n"),
        // The leftmost of a repeated option counts, and the other is named.
        {{"-n", "0", t, "--reshuffles=2"},
         abc + "\n",
         "labmix: warning: option --reshuffles=2 is ignored: -n 0, further left, counts\n"},
        // A failed read never passes for the end of the table.
        fails({"/proc/self/mem"}, "labmix: read error: /proc/self/mem: Input/output error\n"),
        // An endless run stops at its first failed write.
        fails({t, "-n", endless}, output + "No space left on device\n", {.out = "/dev/full"}),
        fails({t, "-n", endless}, output + "Bad file descriptor\n", {.out = std::nullopt}),
    });
}

TEST(Labmix, ReshufflesKeepTheFixedColumnPermuteTheOtherAndRepeatWithTheSeed) {
    scratch s;
    const auto r = run({s.file("t.tsv", abc), "-n", "20", "-s", "11"});
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const std::size_t size = abc.size() + 1;
    ASSERT_EQ(r.out.size(), 21 * size);
    EXPECT_EQ(r.out.substr(0, size), abc + "\n");
    for (std::size_t k = 0; k < 21; ++k) {
        auto listing = r.out.substr(k * size, size);
        std::string order{listing[2], listing[6], listing[10]};
        std::ranges::sort(order);
        EXPECT_EQ(order, "xyz");
        listing[2] = 'x', listing[6] = 'y', listing[10] = 'z';
        EXPECT_EQ(listing, abc + "\n");
    }

    // The same seed gives the same bytes from a file or standard input.
    std::string table;
    for (int i = 0; i < 200; ++i)
        table += "t" + std::to_string(i) + "\tg" + std::to_string(i % 7) + "\n";
    const auto t = s.file("many.tsv", table);
    const auto one = run({"-s", "2024", "-n", "5", t});
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(one.out.size(), 6 * (table.size() + 1));
    EXPECT_EQ(one.out, run({"-", "-n", "5", "-s", "2024"}, {.in = t}).out);
    EXPECT_NE(one.out, run({"-s", "2025", "-n", "5", t}).out);
    EXPECT_EQ(run({"-s", "1", t}).out, table + "\n"); // a count of 0 never draws
}

TEST(Labmix, HelpAndVersionGoToStandardOutputAndTheManPageNamesTheSameOptions) {
    const auto help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_NE(help.out.find("Usage: labmix [options] inputfile\n"), std::string::npos);
    EXPECT_EQ(run({"-h"}).out, help.out);
    EXPECT_EQ(run({"a.tsv", "--help", "b.tsv"}).out, help.out);
    expect_runs({{{"--version"}, "labmix " LABMIX_VERSION "\n"}});
    // A file called -h is still read.
    scratch s;
    const auto r =
        run({"-c", "cd '" + s.path("") + "' && printf 'a\\tx\\n' > -h && '" + binary + "' -h"},
            {.program = "/bin/sh"});
    EXPECT_EQ(r.out, "a\tx\n\n");

    // Every long option of the help text is described in the man page, and the other way round.
    const auto options_in = [](const std::string& text, const std::string& dashes) {
        std::set<std::string> names;
        for (auto at = text.find(dashes); at != std::string::npos; at = text.find(dashes, at + 1)) {
            auto end = at + dashes.size();
            while (end < text.size() && std::islower(static_cast<unsigned char>(text[end]))) ++end;
            if (end > at + dashes.size())
                names.insert(text.substr(at + dashes.size(), end - at - dashes.size()));
        }
        return names;
    };
    const auto man = slurp(LABMIX_SOURCE "/tool/labmix.1");
    const auto help_names = options_in(help.out, "--");
    EXPECT_EQ(help_names, options_in(man, "\\-\\-"));
    EXPECT_GE(help_names.size(), 9u);
    for (const char* letter : {"-f", "-p", "-n", "-s"}) {
        EXPECT_NE(help.out.find(std::string("  ") + letter + " N"), std::string::npos) << letter;
        EXPECT_NE(man.find(std::string("\\") + letter), std::string::npos) << letter;
    }
}

// Tables as spreadsheets export them: CSV, missing labels, rows of empty fields, a header
// line read as a taxon, columns that are no groups; one row per message, the rules being
// table_test's and options_test's.
TEST(Labmix, SpreadsheetTablesMissingLabelsWarningsAndEmptyTables) {
    scratch s;
    std::string csv = "species,family,habitat\n\"Mus, musculus\",Muridae,\"wood \"\"land\"\"\"\n";
    std::string tsv = "species\tfamily\tmass\n";
    for (int i = 0; i < 24; ++i) {
        csv += "s" + std::to_string(i) + ",F" + std::to_string(i % 2) + "," +
               (i % 3 == 0 ? "NA" : "H") + "\n";
        tsv += "s" + std::to_string(i) + "\tF" + std::to_string(i % 2) + "\t" +
               std::to_string(i % 22) + ".5\n";
    }
    const auto c = s.file("t.csv", csv + ",,\n,,\n");
    const auto t = s.file("t.tsv", tsv);
    const auto empty = s.file("empty.tsv", "\t\n");
    const auto first = [](const auto& r) { return r.out.substr(0, r.out.find('\n')); };
    const auto csv_run = run({"--header", "--fixed", "species", "--permute=habitat", c});
    EXPECT_EQ(first(csv_run), "Mus, musculus\twood \"land\"");
    EXPECT_EQ(csv_run.err, "labmix: 2 rows whose fields are all empty are skipped\n");
    const auto missing = run({"--header", "--permute=habitat", "--missing", "NA,", c, "-n", "1"});
    EXPECT_EQ(std::count(missing.out.begin(), missing.out.end(), '\n'), 2 * (1 + 16 + 1));
    EXPECT_EQ(missing.err, "labmix: 2 rows whose fields are all empty are skipped\n"
                           "labmix: 8 rows with a missing label are left out (--missing)\n");
    const std::string warning = "labmix: warning: ";
    expect_runs({
        // --quiet: the same output, no warnings.
        {{"-f", "2", "-p", "3", "--test", "chi2", "-n", "9", "-s", "1", "--quiet", t},
         run({"-f", "2", "-p", "3", "--test", "chi2", "-n", "9", "-s", "1", t}).out},
        {{"--strata", "3", t, "-p", "2"},
         run({"--strata", "3", t, "-p", "2", "--quiet"}).out,
         warning + "the labels of the first row occur on no other row: is it a header line? "
                   "(--header reads it as the names of the columns)\n"},
        {{"--header", "--strata", "mass", t, "-p", "2"},
         run({"--header", "--strata", "mass", t, "-p", "2", "--quiet"}).out,
         warning + "column 3 (mass) holds 22 distinct numbers, each taken as a group of its own: "
                   "is it a measurement rather than groups?\n"},
        {{"--header", "--strata", "species", t, "-p", "2", "-n", "0"},
         run({"--header", "--strata", "species", t, "-p", "2", "--quiet"}).out,
         warning + "column 1 (species) has a distinct label on each of its 24 rows, so as groups "
                   "it says nothing\n"},
        fails({"--test", "chi2", empty},
              "labmix: empty table: " + empty + " has no taxa, so there is nothing to test\n"),
        fails({s.file("bad.csv", "a,\"b\n")},
              "Wrong file format.\nlabmix: " + s.path("bad.csv") +
                  ": line 1: a field opens with a double quote there and is never closed\n"),
    });
}
