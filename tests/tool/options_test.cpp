#include <tool/options.hpp>

#include <generics/errors.hpp>

#include "../test_support.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

using labmix::parse_arguments;
using labmix::settings;

namespace {

settings make(std::string input, labmix::index_type fixed = 0, labmix::index_type permuted = 1,
              std::int64_t reshuffles = 0, std::optional<std::uint64_t> seed = {}) {
    return {fixed, permuted, reshuffles, seed, std::move(input)};
}

} // namespace

TEST(ParseArguments, ScansFromTheRightAndTakesEachValueAfterTheRemovalsToItsRight) {
    const std::vector<std::pair<std::vector<std::string>, settings>> rows = {
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
    };
    for (const auto& [args, want] : rows) EXPECT_EQ(parse_arguments(args), want) << args.front();
    for (const std::vector<std::string>& args : {std::vector<std::string>{}, {"-n", "2"}, {"a", "b"}, {"a", "-n5"}})
        EXPECT_FALSE(parse_arguments(args).has_value()) << args.size();
}

TEST(ParseArguments, AMissingOrBadValueIsARangeError) {
    const std::string range = "is not a whole number in -2147483648 .. 2147483647: ";
    const std::vector<std::pair<std::vector<std::string>, std::string>> rows = {
        // -n takes 4 first, which leaves -f the file name.
        {{"-f", "-n", "4", "data.txt"}, "the value of option -f " + range + "\"data.txt\""},
        {{"-n", "-1", "x"}, "the value of option -n must be at least 0, not -1"},
        {{"-n", "-2147483648", "x"}, "the value of option -n must be at least 0, not -2147483648"},
        {{"x", "-n"}, "option -n has no value"},
        {{"-s"}, "option -s has no value"},
        {{"-f", "0", "x"}, "the value of option -f must be at least 1, not 0"},
        {{"-p", "0", "x"}, "the value of option -p must be at least 1, not 0"},
        {{"-s", "-3", "x"}, "the value of option -s must be at least 0, not -3"},
        // Nothing is half-applied: the error ends the scan whatever came first.
        {{"-n", "2", "x", "-f", "0"}, "the value of option -f must be at least 1, not 0"},
    };
    for (const auto& row : rows)
        test_support::expect_error<generics::range_error>([&] { parse_arguments(row.first); }, row.second);
    for (const std::string bad : {"", " ", "abc", "1.5", "1e3", "0x10", "+", "-", "12a", "1 2", "--1", "\t5", "+-5",
                                  "2147483648", "-2147483649", "99999999999999999999999"})
        test_support::expect_error<generics::range_error>([&] { parse_arguments({"-n", bad, "x"}); },
                                                          "the value of option -n " + range + "\"" + bad + "\"");
}
