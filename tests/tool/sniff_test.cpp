#include <tool/sniff.hpp>

#include "../test_support.hpp"
#include "run_support.hpp"

#include <string>
#include <utility>
#include <vector>

using labmix::check_input_start;
using labmix::input_format_error;
using namespace std::string_literals;

TEST(CheckInputStart, SkipsAUtf8MarkAndRefusesUtf16AndCarriageReturnsAlone) {
    const std::string utf8 = "\xEF\xBB\xBF", le = "\xFF\xFE", be = "\xFE\xFF";
    const std::vector<std::pair<std::string, std::size_t>> kept = {
        {"", 0},
        {"a\tx\n", 0},
        {utf8 + "a\tx\n", 3},
        {utf8, 3},
        // Carriage returns inside labels of a file with line feeds, before a line feed, or
        // at the very end of the input are the reader's business.
        {"a\rb\tx\r\ny\n", 0},
        {"a\tx\r", 0},
        {"\r", 0},
        // A byte order mark elsewhere is a label's bytes.
        {"a\t\xFF\xFE\n", 0},
    };
    for (const auto& [start, skip] : kept)
        EXPECT_EQ(check_input_start(start, true, "t.tsv"), skip) << start;
    const std::string utf16 =
        "t.tsv: UTF-16 text (it starts with a UTF-16 byte order mark); save the table as UTF-8";
    const std::string utf32 =
        "t.tsv: UTF-32 text (it starts with a UTF-32 byte order mark); save the table as UTF-8";
    const std::string cr = "t.tsv: lines end in carriage returns alone (no line feed in ";
    const std::vector<std::pair<std::string, std::string>> refused = {
        {le + "a\0\t\0"s, utf16},
        {be + "\0a"s, utf16},
        {le + "\0\0"s, utf32},
        {"\0\0"s + be, utf32},
        {"a\tx\rb\ty\r", cr + "the input)"},
        {"a\tx\rb", cr + "the input)"},
    };
    for (const auto& row : refused)
        test_support::expect_error<input_format_error>(
            [&] { check_input_start(row.first, true, "t.tsv"); }, row.second);
    // A window that is not the whole input: a carriage return as its last byte may come before
    // a line feed.
    EXPECT_EQ(check_input_start("a\tx\r", false, "t.tsv"), 0u);
    test_support::expect_error<input_format_error>(
        [] { check_input_start("a\tx\ry", false, "-"); },
        "-: lines end in carriage returns alone (no line feed in its "
        "first 5 bytes)");
}

TEST(LabmixInputStart, SpreadsheetExportsEndToEnd) {
    using namespace run_support;
    scratch s;
    const auto bom = s.file("bom.tsv", "\xEF\xBB\xBFtaxon\tfamily\na\tF\n");
    const auto utf16 = s.file("utf16.tsv", "\xFF\xFE"
                                           "a\0\t\0x\0\n\0"s);
    const std::string refused = "labmix: input format error: ";
    const std::string cr =
        ": lines end in carriage returns alone (no line feed in the input); convert the line "
        "ends to line feeds, e.g. with tr '\\r' '\\n'\n";
    // The check waits for a line feed or the end even when a pipe hands the bytes over slowly.
    const auto slowly = [](const std::string& rest) {
        return std::vector<std::string>{"-c", "{ printf 'a\\tx'; sleep 0.2; printf '" + rest +
                                                  "'; } | '" + binary + "' -"};
    };
    const setup sh{.program = "/bin/sh"};
    expect_runs({
        {{bom, "--header", "--fixed", "taxon", "--format", "long"},
         "reshuffle\ttaxon\tfamily\n0\ta\tF\n"},
        fails({utf16}, refused + utf16 +
                           ": UTF-16 text (it starts with a UTF-16 byte order mark); save the "
                           "table as UTF-8\n"),
        fails(slowly("\\rb\\ty\\r"), refused + "standard input" + cr, sh),
        {slowly("\\r\\nb\\ty\\n"), "a\tx\nb\ty\n\n", "", 0, sh},
    });
}
