// End to end: runs the built labmix and checks standard output, standard error and the exit
// status.

#include "run_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <vector>

using namespace run_support;

namespace {

const std::string abc = "a\tx\nb\ty\nc\tz\n";

} // namespace

TEST(LabmixUsage, NotExactlyOneInputGivesTheUsageText) {
    const std::string usage = binary + " randomizes associations.\n\nUsage: " + binary +
                              " [options] inputfile(s)\n\nOptions:\n"
                              "  -f  Column to keep fixed.\n"
                              "  -n  Randomly reshuffle taxon labels this number of times.\n"
                              "  -p  Column to permute.\n"
                              "  -s  Seed for random reshuffles.\n\n";
    for (const auto& args :
         std::vector<std::vector<std::string>>{{}, {"a.tsv", "b.tsv"}, {"-x", "a.tsv"}}) {
        const auto r = run(args);
        EXPECT_EQ(r.err, usage);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.status, 1);
    }
}

TEST(LabmixListings, TablesAsRead) {
    struct row {
        std::string table;
        std::vector<std::string> options;
        std::string out;
    };
    const std::string a(25000, 'a');
    const std::string b(10000 - 2, 'b'); // "b...b\tq" is exactly 10,000 characters
    const std::vector<row> rows = {
        {abc, {"-n", "0", "-f", "1", "-p", "2"}, abc + "\n"},
        {abc, {"-f", "2", "-p", "2"}, "x\tx\ny\ty\nz\tz\n\n"},
        {abc, {"-f", "2", "-p", "1"}, "x\ta\ny\tb\nz\tc\n\n"},
        // Blanks around fields are gone, empty lines skipped, labels written as they stand.
        {"\n  a b \t\"x\"\n\nc\t\n", {}, "a b\t\"x\"\nc\t\n\n"},
        // A line of only a carriage return is empty, and a last carriage return ends the line.
        {"a\tx\r\n\r\nb\ty\r", {}, "a\tx\nb\ty\n\n"},
        {a + "\tp\n" + b + "\tq\nc\tr\n", {}, a + "\tp\n" + b + "\tq\nc\tr\n\n"},
        // No rows: one empty line per listing, whatever the columns.
        {"\n\n\n", {"-n", "3"}, "\n\n\n\n"},
        {"", {"-n", "2", "-f", "9"}, "\n\n\n"},
    };
    scratch s;
    for (const auto& [table, options, out] : rows) {
        std::vector<std::string> args{s.file("t.tsv", table)};
        args.insert(args.end(), options.begin(), options.end());
        const auto r = run(args);
        EXPECT_TRUE(r.out == out) << table.substr(0, 40);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
    }
}

TEST(LabmixListings, ReshufflesKeepTheFixedColumnAndPermuteTheOtherUniformly) {
    scratch s;
    const auto r = run({s.file("t.tsv", abc), "-n", "20", "-s", "11"});
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const std::size_t size = abc.size() + 1;
    ASSERT_EQ(r.out.size(), 21 * size);
    EXPECT_EQ(r.out.substr(0, size), abc + "\n");
    std::set<std::string> orders;
    for (std::size_t k = 0; k < 21; ++k) {
        auto listing = r.out.substr(k * size, size);
        std::string order{listing[2], listing[6], listing[10]};
        orders.insert(order);
        std::ranges::sort(order);
        EXPECT_EQ(order, "xyz");
        listing[2] = 'x', listing[6] = 'y', listing[10] = 'z';
        EXPECT_EQ(listing, abc + "\n");
    }
    // Twenty uniform reshuffles of three labels miss one of the six orders only rarely; the
    // old run of exchanges never left three of them.
    EXPECT_GE(orders.size(), 5u);
}

TEST(LabmixListings, TheSameSeedGivesTheSameBytesFromAFileOrStandardInput) {
    scratch s;
    std::string table;
    for (int i = 0; i < 200; ++i)
        table.append("t")
            .append(std::to_string(i))
            .append("\tg")
            .append(std::to_string(i % 7))
            .append("\n");
    const auto t = s.file("t.tsv", table);
    const auto one = run({"-s", "2024", "-n", "5", t});
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(one.out.size(), 6 * (table.size() + 1));
    EXPECT_EQ(one.out, run({"-", "-n", "5", "-s", "2024"}, {.in = t}).out);
    EXPECT_NE(one.out, run({"-s", "2025", "-n", "5", t}).out);
    // A count of 0 never draws.
    EXPECT_EQ(run({"-s", "1", t}).out, table + "\n");
}

TEST(LabmixFailures, EachEndsWithStatusOneAndOneMessage) {
    scratch s;
    const auto t = s.file("t.tsv", abc);
    const auto ragged = s.file("ragged.tsv", "a\tx\n\nb\ty\nc\n");
    const auto directory = fs::temp_directory_path().string();
    const std::string endless = "2147483647";
    struct row {
        std::vector<std::string> args;
        setup how;
        std::string err;
    };
    const std::vector<row> rows = {
        {{"-f", "-n", "4", t},
         {},
         "labmix: range error: the value of option -f is not a whole number in "
         "-2147483648 .. 2147483647: \"" +
             t + "\"\n"},
        {{s.path("missing.tsv")}, {}, "Invalid filename.\n"},
        {{directory}, {}, "Invalid filename.\n"},
        // The bad line is the fourth: the empty line counts.
        {{ragged}, {}, "labmix: wrong number of fields: " + ragged + ": line  4\n"},
        {{"-"}, {.in = ragged}, "labmix: wrong number of fields: standard input: line  4\n"},
        {{t, "-p", "3"}, {}, "labmix: range error: column 3 is beyond the 2 fields of the table\n"},
        // Every line is checked before a column is found missing.
        {{ragged, "-p", "3"}, {}, "labmix: wrong number of fields: " + ragged + ": line  4\n"},
        {{s.file("one.tsv", "a\nb\n"), "-f", "4", "-p", "1"},
         {},
         "labmix: range error: column 4 is beyond the 1 field of the table\n"},
        // A failed read never passes for the end of the table.
        {{"/proc/self/mem"}, {}, "labmix: read error: /proc/self/mem: Input/output error\n"},
        {{"-"}, {.in = std::nullopt}, "labmix: read error: standard input: Bad file descriptor\n"},
        {{"-"}, {.in = directory}, "labmix: read error: standard input: Is a directory\n"},
        // An endless run stops at its first failed write.
        {{t, "-n", endless},
         {.out = "/dev/full"},
         "labmix: write error: standard output: No space left on device\n"},
        {{t, "-n", endless},
         {.out = std::nullopt},
         "labmix: write error: standard output: Bad file descriptor\n"},
    };
    for (const auto& [args, how, err] : rows) {
        const auto r = run(args, how);
        EXPECT_FALSE(r.overran) << err;
        EXPECT_EQ(r.err, err);
        EXPECT_EQ(r.out, "") << err;
        EXPECT_EQ(r.status, 1) << err;
    }
}

TEST(LabmixHelp, HelpAndVersionGoToStandardOutputWithStatusZero) {
    const auto help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_NE(help.out.find("Usage: labmix [options] inputfile\n"), std::string::npos);
    EXPECT_EQ(run({"-h"}).out, help.out);
    EXPECT_EQ(run({"a.tsv", "--help", "b.tsv"}).out, help.out);
    const auto version = run({"--version"});
    EXPECT_EQ(version.out, "labmix " LABMIX_VERSION "\n");
    EXPECT_EQ(version.status, 0);
    // A file called -h is still read.
    scratch s;
    const auto r =
        run({"-c", "cd '" + s.path("") + "' && printf 'a\\tx\\n' > -h && '" + binary + "' -h"},
            {.program = "/bin/sh"});
    EXPECT_EQ(r.out, "a\tx\n\n");
}

// Every long option of the help text is described in the man page, and the other way round.
TEST(LabmixHelp, TheHelpTextAndTheManPageNameTheSameOptions) {
    const auto options_in = [](const std::string& text, const std::string& dashes) {
        std::set<std::string> names;
        for (std::size_t at = text.find(dashes); at != std::string::npos;
             at = text.find(dashes, at + 1)) {
            std::size_t end = at + dashes.size();
            while (end < text.size() && std::islower(static_cast<unsigned char>(text[end]))) ++end;
            if (end > at + dashes.size())
                names.insert(text.substr(at + dashes.size(), end - at - dashes.size()));
        }
        return names;
    };
    const auto help = run({"--help"}).out;
    const auto man = slurp(LABMIX_SOURCE "/tool/labmix.1");
    const auto help_names = options_in(help, "--");
    EXPECT_EQ(help_names, options_in(man, "\\-\\-"));
    EXPECT_GE(help_names.size(), 9u);
    for (const char* letter : {"-f", "-p", "-n", "-s"}) {
        EXPECT_NE(help.find(std::string("  ") + letter + " N"), std::string::npos) << letter;
        EXPECT_NE(man.find(std::string("\\") + letter), std::string::npos) << letter;
    }
}
