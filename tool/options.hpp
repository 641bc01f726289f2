#pragma once
// Option scanning of the labmix command line, as a pure function of the argument list, the
// usage text, and the help and version texts.

#include <generics/bounded_array.hpp>
#include <generics/errors.hpp>

#include <phylo/distance/matrix_file.hpp>
#include <phylo/permutation/parts.hpp>
#include <phylo/permutation/statistics.hpp>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace labmix {

using generics::index_type;

namespace error_names {
inline constexpr char option[] = "option error";
}

// An unknown long option, a long option without its value or with one it does not take, or
// a value that none of its forms fits. (The short options report bad values as the range
// error, as they always have.)
using option_error = generics::basic_error<std::invalid_argument, error_names::option>;

// How the listings are written (--format).
enum class output_format {
    listings,   // one block per listing: fixed label, tab, permuted label; an empty line
    long_table, // one table: listing number, fixed, permuted (and stratum) per taxon and listing
    wide_table, // one line per taxon: fixed label, then its permuted label in every listing
};

// What the command line asks for.
enum class action { run, help, version };

// How the options that chose the columns were written ("-p", "--permute"; empty for a
// default), for messages only: settings that ask for the same run are equal however they were
// written.
struct column_options {
    std::string fixed, permuted, strata;
    friend bool operator==(const column_options&, const column_options&) { return true; }
};

// What one run is asked to do.
struct settings {
    index_type fixed_column = 0;       // counting from 0 (-f k gives k - 1)
    index_type permuted_column = 1;    // counting from 0 (-p k gives k - 1)
    std::int64_t reshuffles = 0;       // -n
    bool reshuffles_given = false;     // whether -n or --reshuffles was given (0 included)
    std::optional<std::uint64_t> seed; // -s; without it the clock seeds the generator
    std::string input;                 // a file name, or "-" for standard input
    // A column chosen by name (--fixed NAME and the like) is looked up in the header line,
    // which then sets the column's number; a column chosen by number has no name here.
    std::optional<std::string> fixed_name;
    std::optional<std::string> permuted_name;
    std::optional<index_type> strata_column; // --strata: reshuffle within its labels
    std::optional<std::string> strata_name;
    bool header = false; // --header: the first non-empty line names the columns
    // --csv, --separator: fields separated by this character, with quoting as in CSV files;
    // without either, tabs (quotes are data), or commas for an input named *.csv.
    std::optional<char> separator;
    // --missing: the labels that mean a missing value; rows with one in a used column are
    // left out. Without it nothing is missing.
    std::optional<std::vector<std::string>> missing;
    bool quiet = false; // --quiet: no warnings and notes
    output_format format = output_format::listings;
    action what = action::run;
    // The permutation test (--test and the options that go with it).
    std::string test;                     // the statistics, as given to --test; empty: no test
    std::optional<std::string> null_file; // --null: every null value
    std::optional<std::string> plot_file; // --plot: the SVG of the null distributions
    std::optional<unsigned> threads;      // --threads; default: the machine's cores
    // --exact: every arrangement instead of random reshuffles, refused beyond --exact-limit.
    bool exact = false;
    std::int64_t exact_limit = 1000000;
    bool exact_limit_given = false;
    bool pairwise = false;           // --pairwise: a test of every pair of groups
    std::optional<std::string> part; // --part K/M
    bool combine = false;            // --combine: the arguments are partial results
    std::vector<std::string> combine_files;
    // --distances (once or twice, in the order given): the distance matrices of a test of the
    // distance families, read in the layout of --matrix-format.
    std::vector<std::string> distance_files;
    phylo::distance::matrix_layout matrix_format = phylo::distance::matrix_layout::AUTOMATIC;
    column_options written;

    friend bool operator==(const settings&, const settings&) = default;
};

// Scans `arguments` (without the program name) from the last to the first.
//
// Short options: an argument is one only when it is exactly "-f", "-n", "-p" or "-s"; it
// takes the argument to its right as the list stands after every option further right has
// been removed with its value, so the leftmost of two equal options wins. A missing value, or
// a value that is not a whole number in the signed 32-bit range or is below its limit (1 for
// -f and -p, 0 for -n and -s), is the range error.
//
// Long options: every argument that starts with "--" and has more after it. Those that take
// a value take it after "=" in the same argument, or else the argument to their right as for
// the short ones; they are scanned in the same pass, so between "-n" and "--reshuffles" too
// the leftmost wins. Unknown names, a missing value and a value given to an option without
// one are the option_error.
//
// Returns the settings when --help or --version was given (whatever else is left), or when
// exactly one other argument is left; nothing when the usage text is due (none left, or two
// or more). With --combine every argument left is a partial result (at least one). A column
// given by name without --header is the option_error, and so are the options of a test
// without --test, --part without --seed, and options that do not go together.
//
// `scan`, when given, receives a warning for every option that a repeated one further left
// overrides, and, when the usage text is due, the line that says why.
struct scan_notes {
    std::vector<std::string> warnings;
    std::string usage_reason;
};
std::optional<settings> parse_arguments(std::vector<std::string> arguments,
                                        scan_notes* scan = nullptr);

// The statistics of the value of --test; the option_error names what is wrong with it.
[[nodiscard]] std::vector<phylo::permutation::statistic> parse_test(std::string_view list);

// The text K/M of --part as a part number; the option_error otherwise.
[[nodiscard]] phylo::permutation::part_number parse_part(std::string_view text);

// Reads an option value: decimal digits with an optional sign, blanks around them ignored,
// within the signed 32-bit range; nothing when the text is not such a number.
std::optional<std::int32_t> read_whole_number(std::string_view text);

// The usage text, `invocation` being the name the program was started by, exactly as given.
std::string usage_text(std::string_view invocation);

// The text of --help: what labmix does, every option with its default, an example.
std::string help_text();

// The text of --version: "labmix " and the version, one line.
std::string version_text();

} // namespace labmix
