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
        {{s.file(""), "-n", "2", "-f", "9"}, "\n\n\n"},
        // Not exactly one input.
        fails({}, usage),
        fails({s.path("missing.tsv")}, "Invalid filename.\n"),
        fails({directory}, "Invalid filename.\n"),
        fails({"-"}, fields + "standard input: line  4\n", {.in = ragged}),
        fails({t, "-p", "3"}, column + "3 is beyond the 2 fields of the table\n"),
        // Every line is checked before a column is found missing; the empty line counts.
        fails({ragged, "-p", "3"}, fields + ragged + ": line  4\n"),
        fails({one, "-f", "4", "-p", "1"}, column + "4 is beyond the 1 field of the table\n"),
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
