#include <tool/options.hpp>

#include <generics/errors.hpp>

#include "../test_support.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using namespace labmix;

namespace {

settings make(std::string input, index_type fixed = 0, index_type permuted = 1,
              std::int64_t reshuffles = 0, std::optional<std::uint64_t> seed = {}) {
    settings s;
    s.fixed_column = fixed;
    s.permuted_column = permuted;
    s.reshuffles = reshuffles;
    s.reshuffles_given = reshuffles != 0;
    s.seed = seed;
    s.input = std::move(input);
    return s;
}

// `base` changed by `change`.
template <class Change>
settings with(settings base, Change change) {
    change(base);
    return base;
}

using list = std::vector<std::string>;

} // namespace

TEST(ParseArguments, ScansFromTheRightAndTakesEachValueAfterTheRemovalsToItsRight) {
    const auto hx = with(make("x"), [](auto& s) { s.header = true; });
    const auto h2 = with(hx, [](auto& s) { s.fixed_column = 2; });
    const std::vector<std::pair<list, settings>> rows = {
        {{"data.txt"}, make("data.txt")},
        {{"t.tsv", "-n", "4", "-p", "3", "-s", "9", "-f", "2"}, make("t.tsv", 1, 2, 4, 9)},
        {{"-n", "4", "-f", "2", "t.tsv", "-s", "9", "-p", "3"}, make("t.tsv", 1, 2, 4, 9)},
        {{"-f", "2", "-p", "2", "x"}, make("x", 1, 1)},
        // The leftmost of two equal options wins.
        {{"-n", "3", "-n", "5", "x"}, make("x", 0, 1, 3)},
        {{"-s", "1", "x", "-s", "2"}, make("x", 0, 1, 0, 1)},
        // A value or an input may look like an option; only the four exact ones count.
        {{"-n", "2", "-x"}, make("-x", 0, 1, 2)},
        {{"-n5"}, make("-n5")},
        {{"-"}, make("-")},
        // Blanks and a sign around the digits, and the limits of the range.
        {{"-n", "  +7  ", "-s", "-0", "x"}, make("x", 0, 1, 7, 0)},
        {{"-n", "2147483647", "-f", "2147483647", "x"}, make("x", 2147483646, 1, 2147483647)},
        // Long options are scanned in the same pass as the short ones.
        {{"--fixed", "2", "--permute=3", "--reshuffles", "4", "--seed=9", "t"},
         make("t", 1, 2, 4, 9)},
        // Between the two spellings of one option, too, the leftmost wins.
        {{"--reshuffles=3", "x", "-n", "5"}, make("x", 0, 1, 3)},
        {{"-n", "5", "x", "--reshuffles", "3"}, make("x", 0, 1, 5)},
        // A long option takes the argument to its right after the removals to its right.
        {{"--seed", "-n", "4", "7", "x"}, make("x", 0, 1, 4, 7)},
        // Names wait for the header line; a later number replaces an earlier name and back.
        {{"--header", "--fixed", "taxon", "--permute=family", "x"},
         with(hx, [](auto& s) { s.fixed_name = "taxon", s.permuted_name = "family"; })},
        {{"--header", "--fixed=taxon", "x", "--fixed", "3"},
         with(h2, [](auto& s) { s.fixed_name = "taxon"; })},
        {{"--fixed=3", "--header", "x", "--fixed", "taxon"}, h2},
        {{"-f", "3", "--header", "x", "--fixed", "taxon"}, h2},
        {{"--strata", "3", "x"}, with(make("x"), [](auto& s) { s.strata_column = 2; })},
        {{"--strata=order", "--header", "x"},
         with(hx, [](auto& s) { s.strata_column = 0, s.strata_name = "order"; })},
        {{"--format", "long", "x"},
         with(make("x"), [](auto& s) { s.format = output_format::long_table; })},
        {{"--format=wide", "x", "--format=listings"},
         with(make("x"), [](auto& s) { s.format = output_format::wide_table; })},
        // --help and --version need no input and win over the count of arguments.
        {{"--help"}, with(make(""), [](auto& s) { s.what = action::help; })},
        {{"a", "b", "--version", "-n", "2"},
         with(make("", 0, 1, 2), [](auto& s) { s.what = action::version; })},
        {{"--version", "--help"}, with(make(""), [](auto& s) { s.what = action::version; })},
        // "--" alone and "-h" are arguments like any other, and so is the value of a short
        // option, whatever it looks like.
        {{"-n", "2", "--help"}, with(make("", 0, 1, 2), [](auto& s) { s.what = action::help; })},
        {{"--"}, make("--")},
        {{"-h"}, make("-h")},
    };
    for (const auto& [args, want] : rows)
        EXPECT_EQ(parse_arguments(args), want) << args.front() << " " << args.back();
    for (const list& no_input :
         {list{}, {"-n", "2"}, {"a", "b"}, {"a", "-n5"}, {"--header", "a", "b"}, {"--format=long"}})
        EXPECT_FALSE(parse_arguments(no_input).has_value()) << no_input.size();
}

TEST(ParseArguments, BadValuesAreRangeErrorsAndBadLongOptionsOptionErrorsNamingTheOption) {
    const std::string range = "is not a whole number in -2147483648 .. 2147483647: ";
    std::vector<std::pair<list, std::string>> range_errors = {
        // -n takes 4 first, which leaves -f the file name.
        {{"-f", "-n", "4", "data.txt"},
         "the value of option -f " + range +
             "\"data.txt\"; -f takes column numbers, --fixed a number or a column name (with "
             "--header)"},
        {{"-n", "-1", "x"}, "the value of option -n must be at least 0, not -1"},
        {{"-n", "-2147483648", "x"}, "the value of option -n must be at least 0, not -2147483648"},
        {{"x", "-n"}, "option -n has no value"},
        {{"-s"}, "option -s has no value"},
        {{"-f", "0", "x"}, "the value of option -f must be at least 1, not 0"},
        {{"-p", "0", "x"}, "the value of option -p must be at least 1, not 0"},
        {{"-s", "-3", "x"}, "the value of option -s must be at least 0, not -3"},
        // Nothing is half-applied: the error ends the scan whatever came first.
        {{"-n", "2", "x", "-f", "0"}, "the value of option -f must be at least 1, not 0"},
        {{"--reshuffles=-1", "x"}, "the value of option --reshuffles must be at least 0, not -1"},
        {{"--seed", "1.5", "x"}, "the value of option --seed " + range + "\"1.5\""},
        {{"--fixed=0", "x"}, "the value of option --fixed must be at least 1, not 0"},
        {{"--strata", "-2", "x"}, "the value of option --strata must be at least 1, not -2"},
        {{"-n", "--help", "x"}, "the value of option -n " + range + "\"--help\""},
    };
    for (const std::string bad :
         {"", " ", "abc", "1.5", "1e3", "0x10", "+", "-", "12a", "1 2", "--1", "\t5", "+-5",
          "2147483648", "-2147483649", "99999999999999999999999"})
        range_errors.push_back(
            {{"-n", bad, "x"}, "the value of option -n " + range + "\"" + bad + "\""});
    for (const auto& row : range_errors)
        test_support::expect_error<generics::range_error>([&] { parse_arguments(row.first); },
                                                          row.second);
    const std::string names = ", is not a column number, and column names need --header";
    const std::vector<std::pair<list, std::string>> option_errors = {
        {{"--frobnicate", "x"}, "unknown option --frobnicate (labmix --help lists the options)"},
        {{"--fix=2", "x"}, "unknown option --fix (labmix --help lists the options)"},
        {{"x", "--fixed"}, "option --fixed has no value"},
        {{"x", "--format"}, "option --format has no value"},
        {{"--header=yes", "x"}, "option --header takes no value"},
        {{"--help=me"}, "option --help takes no value"},
        {{"--format", "csv", "x"},
         "the value of option --format must be listings, long or wide, not \"csv\""},
        {{"--fixed", "taxon", "x"}, "the value of option --fixed, \"taxon\"" + names},
        {{"--strata=", "x"}, "the value of option --strata, \"\"" + names},
        {{"--part", "3/", "--test", "chi2", "-s", "1", "x"},
         "the value of option --part must be K/M with 1 <= K <= M, not \"3/\""},
        {{"--distances", "d", "x"}, "option --distances needs --test"},
        {{"--distances", "d", "--test", "chi2", "x"},
         "option --distances does not go with --test chi2, a statistic of two classifications"},
        {{"--test", "anosim,mantel", "x"},
         "the value of option --test names statistics of two kinds of data: anosim is of a "
         "distance matrix and a classification, mantel of two distance matrices"},
        {{"--test", "permanova", "x"}, "--test permanova needs one --distances FILE"},
        {{"--test", "mantel", "--distances", "a", "x"}, "--test mantel needs two --distances"},
        {{"--distances", "a", "--distances", "b", "--distances", "c", "--test", "mantel"},
         "option --distances is given more than twice"},
        {{"--matrix-format", "csv", "x"},
         "the value of option --matrix-format must be phylip, relaxed-phylip, tab or nexus"},
    };
    for (const auto& row : option_errors)
        test_support::expect_error<option_error>([&] { parse_arguments(row.first); }, row.second);
}

TEST(ParseArguments, MatricesKeepTheirOrderAndAMantelTestNeedsNoTable) {
    const auto s = parse_arguments({"--distances", "a.phy", "--test", "mantel", "--distances=b"});
    ASSERT_TRUE(s);
    EXPECT_EQ(s->distance_files, (std::vector<std::string>{"a.phy", "b"}));
    EXPECT_EQ(s->input, "");
    EXPECT_EQ(s->reshuffles, 999);
    EXPECT_FALSE(parse_arguments({"--distances", "a", "--test", "permanova"})); // usage: no table
}

TEST(ParseArguments, TablesOfOtherSeparatorsMissingLabelsAndWhatTheScanSays) {
    const auto x = make("x");
    const std::vector<std::pair<list, settings>> rows = {
        {{"--csv", "x"}, with(x, [](auto& s) { s.separator = ','; })},
        {{"--separator", ";", "x", "--csv"}, with(x, [](auto& s) { s.separator = ';'; })},
        {{"--missing", "NA,", "--quiet", "x"},
         with(x,
              [](auto& s) {
                  s.missing = {{"NA", ""}}, s.quiet = true;
              })},
    };
    for (const auto& [args, want] : rows) EXPECT_EQ(parse_arguments(args), want) << args.front();
    test_support::expect_error<option_error>(
        [] {
            parse_arguments({"--separator", "ab", "x"});
        },
        "the value of option --separator must be one character other than a double quote, a "
        "blank or a line end, not \"ab\"");

    // The options that a repeated one further left overrides, and why the usage text is due.
    const std::vector<std::tuple<list, std::vector<std::string>, std::string>> scans = {
        {{"-n", "3", "x", "--reshuffles=5", "--fixed", "2", "-f", "2"},
         {"option -f 2 is ignored: --fixed 2, further left, counts",
          "option --reshuffles=5 is ignored: -n 3, further left, counts"},
         ""},
        {{"--csv", "x", "--separator", ";"},
         {"option --separator ; is ignored: --csv, further left, counts"},
         ""},
        {{"-n", "2"}, {}, "no input file given"},
        {{"a", "-x"},
         {},
         "2 inputs given (\"a\" \"-x\"); labmix reads exactly one (- for standard input)"},
    };
    for (const auto& [args, warnings, reason] : scans) {
        scan_notes scan;
        (void)parse_arguments(args, &scan);
        EXPECT_EQ(scan.warnings, warnings) << args.front();
        EXPECT_EQ(scan.usage_reason, reason) << args.front();
    }
}
