#include <tool/options.hpp>

#include <generics/errors.hpp>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using labmix::parse_arguments;
using labmix::read_whole_number;
using labmix::settings;

namespace {

settings expect_settings(std::vector<std::string> args) {
    auto s = parse_arguments(std::move(args));
    EXPECT_TRUE(s.has_value());
    return s.value_or(settings{});
}

std::string error_of(std::vector<std::string> args) {
    try {
        parse_arguments(std::move(args));
    } catch (const generics::range_error& e) {
        return e.message();
    }
    return "no error";
}

} // namespace

TEST(ParseArguments, DefaultsAndOneInput) {
    const auto s = expect_settings({"data.txt"});
    EXPECT_EQ(s.fixed_column, 0);
    EXPECT_EQ(s.permuted_column, 1);
    EXPECT_EQ(s.reshuffles, 0);
    EXPECT_FALSE(s.seed.has_value());
    EXPECT_EQ(s.input, "data.txt");
    EXPECT_EQ(expect_settings({"-"}).input, "-");
}

TEST(ParseArguments, OptionsAnywhereAreTakenOutWithTheirValues) {
    settings want;
    want.fixed_column = 1;
    want.permuted_column = 2;
    want.reshuffles = 4;
    want.seed = 9;
    want.input = "t.tsv";
    EXPECT_EQ(expect_settings({"-f", "2", "-p", "3", "-n", "4", "-s", "9", "t.tsv"}), want);
    EXPECT_EQ(expect_settings({"t.tsv", "-n", "4", "-p", "3", "-s", "9", "-f", "2"}), want);
    EXPECT_EQ(expect_settings({"-n", "4", "-f", "2", "t.tsv", "-s", "9", "-p", "3"}), want);
    const auto same = expect_settings({"-f", "2", "-p", "2", "x"});
    EXPECT_EQ(same.fixed_column, 1);
    EXPECT_EQ(same.permuted_column, 1);
}

TEST(ParseArguments, TheLeftmostOfRepeatedOptionsWins) {
    EXPECT_EQ(expect_settings({"-n", "3", "-n", "5", "x"}).reshuffles, 3);
    EXPECT_EQ(expect_settings({"-s", "1", "x", "-s", "2"}).seed, 1u);
}

TEST(ParseArguments, AnOptionTakesTheArgumentLeftToItAfterTheScanFromTheEnd) {
    // -n takes 4 first, then -f is left with the file name.
    EXPECT_EQ(error_of({"-f", "-n", "4", "data.txt"}),
              "the value of option -f is not a whole number in -2147483648 .. 2147483647: "
              "\"data.txt\"");
    // -n -1 is the option -n with the value -1, since -1 is no option.
    EXPECT_EQ(error_of({"-n", "-1", "x"}), "the value of option -n must be at least 0, not -1");
    // A value may itself look like an option of another letter.
    EXPECT_EQ(expect_settings({"-n", "2", "-x"}).input, "-x");
}

TEST(ParseArguments, UsageWhenNotExactlyOneArgumentIsLeft) {
    EXPECT_FALSE(parse_arguments({}).has_value());
    EXPECT_FALSE(parse_arguments({"-n", "2"}).has_value());
    EXPECT_FALSE(parse_arguments({"a.txt", "b.txt"}).has_value());
    EXPECT_FALSE(parse_arguments({"-x", "a.txt"}).has_value());
    EXPECT_FALSE(parse_arguments({"a.txt", "-n5"}).has_value());
    // Only exact two-character options count: these are all input names.
    for (const char* name : {"-x", "-5", "-n5", "--f", "-", "-S", "-N"})
        EXPECT_EQ(expect_settings({name}).input, name);
}

TEST(ParseArguments, BadValuesAreRangeErrors) {
    EXPECT_EQ(error_of({"x", "-n"}), "option -n has no value");
    EXPECT_EQ(error_of({"-s"}), "option -s has no value");
    EXPECT_EQ(error_of({"-f", "0", "x"}), "the value of option -f must be at least 1, not 0");
    EXPECT_EQ(error_of({"-p", "0", "x"}), "the value of option -p must be at least 1, not 0");
    EXPECT_EQ(error_of({"-s", "-3", "x"}), "the value of option -s must be at least 0, not -3");
    EXPECT_EQ(error_of({"-n", "2147483648", "x"}),
              "the value of option -n is not a whole number in -2147483648 .. 2147483647: "
              "\"2147483648\"");
    for (const char* bad : {"", " ", "abc", "1.5", "1e3", "0x10", "+", "-", "12a", "1 2", "--1"})
        EXPECT_NE(error_of({"-n", bad, "x"}).find("is not a whole number"), std::string::npos)
            << '"' << bad << '"';
    // Nothing is half-applied: the error ends the scan whatever came first.
    EXPECT_THROW(parse_arguments({"-n", "2", "x", "-f", "0"}), generics::range_error);
}

TEST(ReadWholeNumber, SignsBlanksAndTheSigned32BitRange) {
    EXPECT_EQ(read_whole_number("  +7  "), 7);
    EXPECT_EQ(read_whole_number("-0"), 0);
    EXPECT_EQ(read_whole_number("007"), 7);
    EXPECT_EQ(read_whole_number("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(read_whole_number("2147483647"), 2147483647);
    EXPECT_FALSE(read_whole_number("-2147483649"));
    EXPECT_FALSE(read_whole_number("99999999999999999999999"));
    EXPECT_FALSE(read_whole_number("\t5"));
    EXPECT_FALSE(read_whole_number("+-5"));
    EXPECT_EQ(expect_settings({"-n", "2147483647", "x"}).reshuffles, 2147483647);
    EXPECT_EQ(expect_settings({"-f", "2147483647", "x"}).fixed_column, 2147483646);
    EXPECT_EQ(expect_settings({"-s", "0", "x"}).seed, 0u);
}

TEST(UsageText, NamesTheProgramAsInvoked) {
    EXPECT_EQ(labmix::usage_text("./bin/labmix"),
              "./bin/labmix randomizes associations.\n"
              "\n"
              "Usage: ./bin/labmix [options] inputfile(s)\n"
              "\n"
              "Options:\n"
              "  -f  Column to keep fixed.\n"
              "  -n  Randomly reshuffle taxon labels this number of times.\n"
              "  -p  Column to permute.\n"
              "  -s  Seed for random reshuffles.\n"
              "\n");
}
