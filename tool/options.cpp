#include <tool/options.hpp>

#include <generics/natural_number.hpp>
#include <textutils/string_edit.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>

#ifndef LABMIX_VERSION
#define LABMIX_VERSION "unknown"
#endif

namespace labmix {

std::vector<phylo::permutation::statistic> parse_test(std::string_view list) {
    try {
        return phylo::permutation::parse_statistics(list);
    } catch (const phylo::permutation::statistics_error& e) {
        throw option_error(std::string("the value of option --test ") + e.what());
    }
}

phylo::permutation::part_number parse_part(std::string_view text) {
    const auto slash = text.find('/');
    const auto whole = [](std::string_view t) -> std::optional<std::int32_t> {
        std::int32_t v = 0;
        const auto [end, error] = std::from_chars(t.data(), t.data() + t.size(), v);
        if (t.empty() || error != std::errc() || end != t.data() + t.size()) return std::nullopt;
        return v;
    };
    if (slash != std::string_view::npos) {
        const auto k = whole(text.substr(0, slash));
        const auto m = whole(text.substr(slash + 1));
        if (k && m && *k >= 1 && *k <= *m) return {*k, *m};
    }
    throw option_error("the value of option --part must be K/M with 1 <= K <= M, not \"" +
                       std::string(text) + "\"");
}

std::optional<std::int32_t> read_whole_number(std::string_view text) {
    text = textutils::trim(text, textutils::character_set(" "));
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    // The magnitude saturates above 32 bits, so -2147483648 and overlong numbers are told apart.
    const generics::natural_digits magnitude = generics::read_digits(text);
    if (magnitude.empty() || !text.empty()) return std::nullopt;
    if (magnitude.value > (negative ? 2147483648 : 2147483647)) return std::nullopt;
    return static_cast<std::int32_t>(negative ? -magnitude.value : magnitude.value);
}

namespace {

bool is_short_option(const std::string& argument) {
    return argument.size() == 2 && argument[0] == '-' &&
           (argument[1] == 'f' || argument[1] == 'n' || argument[1] == 'p' || argument[1] == 's');
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

bool is_long_option(const std::string& argument) {
    return argument.size() > 2 && argument[0] == '-' && argument[1] == '-';
}

// The value of `option` as a whole number of at least `least`; the range error otherwise.
std::int32_t whole_number(std::string_view option, const std::string& value, std::int32_t least) {
    const auto number = read_whole_number(value);
    if (!number) {
        std::string hint;
        // A column name after -f or -p: the long spelling takes names.
        if (option == "-f" || option == "-p")
            hint = std::string("; ") + std::string(option) + " takes column numbers, " +
                   (option == "-f" ? "--fixed" : "--permute") +
                   " a number or a column name (with --header)";
        throw generics::range_error("the value of option " + std::string(option) +
                                    " is not a whole number in " + "-2147483648 .. 2147483647: \"" +
                                    value + "\"" + hint);
    }
    if (*number < least)
        throw generics::range_error("the value of option " + std::string(option) +
                                    " must be at least " + std::to_string(least) + ", not " +
                                    std::to_string(*number));
    return *number;
}

// A column given to a long option: a number from 1, or else a name for the header line.
void set_column(std::string_view option, const std::string& value, index_type& column,
                std::optional<std::string>& name) {
    if (read_whole_number(value)) {
        column = whole_number(option, value, 1) - 1;
        name.reset();
    } else {
        name = value;
    }
}

// One long option: its name without the dashes, whether it takes a value, and what it sets.
// A new option is one more row here (and its lines in the help text, the README and the man
// page).
struct long_option {
    std::string_view name;
    bool takes_value;
    void (*apply)(settings& s, std::string_view option, const std::string& value);
};

constexpr std::array long_options{
    long_option{"fixed", true,
                [](settings& s, std::string_view o, const std::string& v) {
                    set_column(o, v, s.fixed_column, s.fixed_name);
                    s.written.fixed = o;
                }},
    long_option{"permute", true,
                [](settings& s, std::string_view o, const std::string& v) {
                    set_column(o, v, s.permuted_column, s.permuted_name);
                    s.written.permuted = o;
                }},
    long_option{"reshuffles", true,
                [](settings& s, std::string_view o, const std::string& v) {
                    s.reshuffles = whole_number(o, v, 0);
                    s.reshuffles_given = true;
                }},
    long_option{"seed", true,
                [](settings& s, std::string_view o, const std::string& v) {
                    s.seed = static_cast<std::uint64_t>(whole_number(o, v, 0));
                }},
    long_option{"strata", true,
                [](settings& s, std::string_view o, const std::string& v) {
                    index_type column = 0;
                    set_column(o, v, column, s.strata_name);
                    s.strata_column = column;
                    s.written.strata = o;
                }},
    long_option{"header", false,
                [](settings& s, std::string_view, const std::string&) { s.header = true; }},
    long_option{"csv", false,
                [](settings& s, std::string_view, const std::string&) { s.separator = ','; }},
    long_option{"separator", true,
                [](settings& s, std::string_view o, const std::string& v) {
                    if (v.size() != 1 || v == "\"" || v == "\n" || v == "\r" || v == " ")
                        throw option_error("the value of option " + std::string(o) +
                                           " must be one character other than a double quote, "
                                           "a blank or a line end, not \"" +
                                           v + "\"");
                    s.separator = v[0];
                }},
    long_option{"missing", true,
                [](settings& s, std::string_view, const std::string& v) {
                    std::vector<std::string> labels;
                    for (std::size_t from = 0;;) {
                        const auto comma = std::min(v.find(',', from), v.size());
                        labels.push_back(v.substr(from, comma - from));
                        if (comma == v.size()) break;
                        from = comma + 1;
                    }
                    s.missing = std::move(labels);
                }},
    long_option{"quiet", false,
                [](settings& s, std::string_view, const std::string&) { s.quiet = true; }},
    long_option{"format", true,
                [](settings& s, std::string_view o, const std::string& v) {
                    if (v == "listings")
                        s.format = output_format::listings;
                    else if (v == "long")
                        s.format = output_format::long_table;
                    else if (v == "wide")
                        s.format = output_format::wide_table;
                    else
                        throw option_error("the value of option " + std::string(o) +
                                           " must be listings, long or wide, not \"" + v + "\"");
                }},
    long_option{"test", true,
                [](settings& s, std::string_view, const std::string& v) {
                    (void)parse_test(v);
                    s.test = v;
                }},
    long_option{"distances", true,
                [](settings& s, std::string_view, const std::string& v) {
                    // Scanned from the right: the leftmost comes first.
                    s.distance_files.insert(s.distance_files.begin(), v);
                    if (s.distance_files.size() > 2)
                        throw option_error("option --distances is given more than twice: a test "
                                           "takes one matrix (with a table's groups) or two "
                                           "(mantel)");
                }},
    long_option{"matrix-format", true,
                [](settings& s, std::string_view o, const std::string& v) {
                    using phylo::distance::matrix_layout;
                    if (v == "phylip")
                        s.matrix_format = matrix_layout::PHYLIP;
                    else if (v == "relaxed-phylip")
                        s.matrix_format = matrix_layout::EXTENDED_PHYLIP;
                    else if (v == "tab")
                        s.matrix_format = matrix_layout::TAB_SEPARATED;
                    else if (v == "nexus")
                        s.matrix_format = matrix_layout::NEXUS;
                    else
                        throw option_error("the value of option " + std::string(o) +
                                           " must be phylip, relaxed-phylip, tab or nexus, not \"" +
                                           v + "\"");
                }},
    long_option{"null", true,
                [](settings& s, std::string_view, const std::string& v) { s.null_file = v; }},
    long_option{"plot", true,
                [](settings& s, std::string_view, const std::string& v) { s.plot_file = v; }},
    long_option{"threads", true,
                [](settings& s, std::string_view o, const std::string& v) {
                    s.threads = static_cast<unsigned>(whole_number(o, v, 1));
                }},
    long_option{"exact", false,
                [](settings& s, std::string_view, const std::string&) { s.exact = true; }},
    long_option{"exact-limit", true,
                [](settings& s, std::string_view o, const std::string& v) {
                    s.exact_limit = whole_number(o, v, 1);
                    s.exact_limit_given = true;
                }},
    long_option{"pairwise", false,
                [](settings& s, std::string_view, const std::string&) { s.pairwise = true; }},
    long_option{"part", true,
                [](settings& s, std::string_view, const std::string& v) {
                    (void)parse_part(v);
                    s.part = v;
                }},
    long_option{"combine", false,
                [](settings& s, std::string_view, const std::string&) { s.combine = true; }},
    long_option{"help", false,
                [](settings& s, std::string_view, const std::string&) { s.what = action::help; }},
    long_option{
        "version", false,
        [](settings& s, std::string_view, const std::string&) { s.what = action::version; }},
};

// What one option of the command line set: the setting (options that set the same thing
// share it) and the option as written, for the warning when a repeated one overrides it.
struct applied {
    std::size_t used; // arguments taken, 1 or 2
    std::string_view setting;
    std::string text;
};

// Applies the long option at position p to `s`.
applied apply_long_option(const std::vector<std::string>& arguments, std::size_t p, settings& s) {
    const std::string& argument = arguments[p];
    const std::size_t equals = argument.find('=');
    const std::string option = argument.substr(0, equals);
    const std::string_view name = std::string_view(option).substr(2);
    for (const long_option& known : long_options) {
        if (known.name != name) continue;
        const std::string_view setting = name == "csv" ? "separator" : known.name;
        if (!known.takes_value) {
            if (equals != std::string::npos)
                throw option_error("option " + option + " takes no value");
            known.apply(s, option, {});
            return {1, setting, option};
        }
        if (equals != std::string::npos) {
            known.apply(s, option, argument.substr(equals + 1));
            return {1, setting, argument};
        }
        if (p + 1 >= arguments.size()) throw option_error("option " + option + " has no value");
        known.apply(s, option, arguments[p + 1]);
        return {2, setting, option + " " + arguments[p + 1]};
    }
    throw option_error("unknown option " + option + " (labmix --help lists the options)");
}

// Options of a test without --test, and options that do not go together.
void check_test_options(settings& s) {
    const auto refuse = [](const std::string& why) { throw option_error(why); };
    if (s.combine) {
        if (!s.test.empty() || s.part || s.reshuffles_given || s.seed || s.strata_column ||
            s.header || s.separator || s.missing || !s.distance_files.empty() || s.exact ||
            s.exact_limit_given || s.pairwise)
            refuse("option --combine takes the test from its partial results: it goes only with "
                   "--null, --plot and --threads");
        return;
    }
    if (s.test.empty()) {
        for (const auto& [option, given] :
             {std::pair{"--null", s.null_file.has_value()},
              std::pair{"--plot", s.plot_file.has_value()},
              std::pair{"--threads", s.threads.has_value()},
              std::pair{"--part", s.part.has_value()}, std::pair{"--exact", s.exact},
              std::pair{"--exact-limit", s.exact_limit_given}, std::pair{"--pairwise", s.pairwise},
              std::pair{"--distances", !s.distance_files.empty()}})
            if (given) refuse("option " + std::string(option) + " needs --test");
        return;
    }
    using phylo::permutation::family;
    const auto statistics = parse_test(s.test);
    const std::string first(name_of(statistics.front()));
    const auto kind = family_of(statistics.front());
    const auto matrices = s.distance_files.size();
    if (kind == family::contingency && matrices > 0)
        refuse("option --distances does not go with --test " + first +
               ", a statistic of two "
               "classifications (the table's two columns); the statistics of distances are "
               "permanova, permanova_r2, anosim, permdisp, permdisp_centroid, mantel and "
               "mantel_spearman");
    if (kind == family::groups && matrices != 1)
        refuse("--test " + first + " needs one --distances FILE: the matrix whose taxa the " +
               "table's column --permute divides into groups" +
               (matrices == 2 ? " (two matrices go with mantel)" : ""));
    if (kind == family::mantel && matrices != 2)
        refuse("--test " + first + " needs two --distances FILEs: the matrices to correlate");
    if (s.format != output_format::listings) refuse("option --format does not go with --test");
    if (!s.reshuffles_given) s.reshuffles = 999;
    if (s.reshuffles == 0) // a test without reshuffles would say nothing
        refuse("option -n 0 does not go with --test: a test needs at least 1 reshuffle (999 "
               "when -n is not given)");
    if (s.exact_limit_given && !s.exact) refuse("option --exact-limit goes with --exact");
    if (s.exact && s.reshuffles_given)
        refuse("option -n does not go with --exact: an exact test walks every arrangement, "
               "however many there are");
    if (s.plot_file && (s.exact || s.pairwise))
        refuse(std::string("option --plot draws the null values of one Monte Carlo test; it does "
                           "not go with ") +
               (s.exact ? "--exact" : "--pairwise"));
    if (s.pairwise && kind == family::mantel)
        refuse("option --pairwise tests each pair of the permuted column's groups, and --test " +
               first + " has no groups");
    if (s.part && !s.seed && !s.exact)
        refuse("option --part needs --seed, so that every part draws the same reshuffles");
    if (s.part && (s.null_file || s.plot_file))
        refuse("options --null and --plot go with --combine, not with --part");
}

} // namespace

std::optional<settings> parse_arguments(std::vector<std::string> arguments, scan_notes* scan) {
    settings result;
    // The option that set each setting so far, as written: scanning from the right, a later
    // one stands further left and overrides it.
    std::vector<std::pair<std::string_view, std::string>> set_by;
    for (std::size_t p = arguments.size(); p-- > 0;) {
        applied done{};
        if (is_short_option(arguments[p])) {
            if (p + 1 >= arguments.size())
                throw generics::range_error("option " + arguments[p] + " has no value");
            const char letter = arguments[p][1];
            const std::int32_t value = whole_number(arguments[p], arguments[p + 1],
                                                    letter == 'f' || letter == 'p' ? 1 : 0);
            switch (letter) {
            case 'f':
                result.fixed_column = value - 1, result.fixed_name.reset();
                result.written.fixed = arguments[p];
                done.setting = "fixed";
                break;
            case 'p':
                result.permuted_column = value - 1, result.permuted_name.reset();
                result.written.permuted = arguments[p];
                done.setting = "permute";
                break;
            case 'n':
                result.reshuffles = value, result.reshuffles_given = true;
                done.setting = "reshuffles";
                break;
            default:
                result.seed = static_cast<std::uint64_t>(value);
                done.setting = "seed";
                break;
            }
            done.used = 2;
            done.text = arguments[p] + " " + arguments[p + 1];
        } else if (is_long_option(arguments[p]) && (p == 0 || !is_short_option(arguments[p - 1]))) {
            // Right after a short option it is that option's value, as it always was.
            done = apply_long_option(arguments, p, result);
        } else {
            continue;
        }
        const auto earlier = std::find_if(set_by.begin(), set_by.end(),
                                          [&](const auto& e) { return e.first == done.setting; });
        if (done.setting == "distances") {
            // Each --distances adds a matrix; none overrides another.
        } else if (earlier == set_by.end()) {
            set_by.emplace_back(done.setting, done.text);
        } else {
            if (scan != nullptr && earlier->second != done.text)
                scan->warnings.push_back("option " + earlier->second + " is ignored: " + done.text +
                                         ", further left, counts");
            earlier->second = done.text;
        }
        arguments.erase(arguments.begin() + static_cast<std::ptrdiff_t>(p),
                        arguments.begin() + static_cast<std::ptrdiff_t>(p + done.used));
    }
    if (result.what != action::run) return result;
    check_test_options(result);
    if (result.combine) {
        if (arguments.empty()) throw option_error("option --combine needs the partial results");
        result.combine_files = std::move(arguments);
        return result;
    }
    // A Mantel test reads its taxa from the matrices when no table is given.
    const bool table_optional = result.distance_files.size() == 2 && !result.strata_column;
    if (table_optional && arguments.empty()) return result;
    if (arguments.size() != 1) {
        if (scan != nullptr) {
            if (arguments.empty()) {
                scan->usage_reason = "no input file given";
            } else {
                scan->usage_reason = std::to_string(arguments.size()) + " inputs given (";
                for (std::size_t i = 0; i < arguments.size() && i < 4; ++i)
                    scan->usage_reason += (i > 0 ? " " : "") + quoted(arguments[i]);
                scan->usage_reason += arguments.size() > 4 ? " ...)" : ")";
                scan->usage_reason += "; labmix reads exactly one (- for standard input)";
            }
        }
        return std::nullopt;
    }
    if (!result.header) {
        for (const auto& [option, name] : {std::pair{"--fixed", &result.fixed_name},
                                           std::pair{"--permute", &result.permuted_name},
                                           std::pair{"--strata", &result.strata_name}})
            if (*name)
                throw option_error("the value of option " + std::string(option) + ", \"" + **name +
                                   "\", is not a column number, and column names need --header");
    }
    result.input = std::move(arguments.front());
    return result;
}

std::string usage_text(std::string_view invocation) {
    std::string text;
    text.append(invocation).append(" randomizes associations.\n\n");
    text.append("Usage: ").append(invocation).append(" [options] inputfile(s)\n\n");
    text.append("Options:\n"
                "  -f  Column to keep fixed.\n"
                "  -n  Randomly reshuffle taxon labels this number of times.\n"
                "  -p  Column to permute.\n"
                "  -s  Seed for random reshuffles.\n"
                "\n");
    return text;
}

std::string help_text() {
    return "labmix randomizes associations: it reads a tab-separated group-name table (one taxon\n"
           "per line, one field per classification), keeps one column fixed and writes it beside\n"
           "a second column, first as read and then after each of N uniformly random reshuffles\n"
           "of that column, for permutation tests.\n"
           "\n"
           "Usage: labmix [options] inputfile\n"
           "       labmix --test STATS [options] inputfile\n"
           "       labmix --test STATS --distances FILE [--distances FILE] [options] [inputfile]\n"
           "       labmix --combine FILE...\n"
           "\n"
           "An inputfile of - is standard input. COL is a column number counting from 1 or, with\n"
           "--header, a column name from the header line. Options may stand anywhere; of two\n"
           "equal ones the leftmost counts. A long option's value may follow '=' (--seed=7).\n"
           "\n"
           "  -f N, --fixed COL      column to keep fixed (default 1)\n"
           "  -p N, --permute COL    column to permute (default 2)\n"
           "  -n N, --reshuffles N   number of random reshuffles (default 0)\n"
           "  -s N, --seed N         seed of the reshuffles (default: from the clock)\n"
           "        --header         the first non-empty line names the columns (default: no\n"
           "                         header line, every line is a taxon)\n"
           "        --csv            comma-separated values, with fields in double quotes as\n"
           "                         spreadsheets write them (default: tab-separated, or CSV\n"
           "                         for an inputfile named *.csv)\n"
           "        --separator C    fields separated by the character C, quoted as in CSV\n"
           "                         (--separator ';' for European spreadsheets)\n"
           "        --missing LIST   comma-separated labels that mean a missing value: rows with\n"
           "                         one in a used column are left out (NA, is NA and the empty\n"
           "                         label; default: nothing is missing)\n"
           "        --strata COL     reshuffle only among rows with the same label in COL\n"
           "                         (default: all rows together)\n"
           "        --format FORMAT  listings, long or wide (default listings)\n"
           "        --test STATS     instead of listings, a permutation test of the two columns:\n"
           "                         STATS is a comma-separated list of chi2, g, mi, nmi, ari,\n"
           "                         rand; -n defaults to 999 (default: no test)\n"
           "        --distances FILE with --test: a distance matrix (PHYLIP, NEXUS, or a\n"
           "                         tab-separated square under a line of labels). Once: the\n"
           "                         fixed column names its taxa, the permuted column their\n"
           "                         groups, for permanova (pseudo-F, vegan's adonis2),\n"
           "                         permanova_r2, anosim (R), permdisp (F of the distances to\n"
           "                         the group's spatial median, vegan's betadisper) and\n"
           "                         permdisp_centroid. Twice: mantel and mantel_spearman (the\n"
           "                         two matrices' correlation; the table is then optional)\n"
           "        --matrix-format F  layout of the --distances files: phylip,\n"
           "                         relaxed-phylip, tab or nexus (default: from the content)\n"
           "        --null FILE      with --test: every null value to FILE (default: none)\n"
           "        --plot FILE      with --test: the null distributions as an SVG file\n"
           "                         (default: none)\n"
           "        --threads N      with --test: threads to draw on, at most the cores\n"
           "                         (default: the cores)\n"
           "        --exact          with --test: the exact p-value, from every distinct\n"
           "                         arrangement (tables of the same margins weighted by their\n"
           "                         probability) instead of random reshuffles; for few taxa\n"
           "                         (default: random reshuffles)\n"
           "        --exact-limit N  with --exact: refuse to walk more than N arrangements\n"
           "                         (default 1000000)\n"
           "        --pairwise       with --test: a test of every pair of groups of the permuted\n"
           "                         column on the taxa of the two, p-values adjusted by Holm\n"
           "                         (p_holm) and Benjamini-Hochberg (p_bh) (default: one test)\n"
           "        --part K/M       with --test and -s: only the K-th of M ranges of reshuffles,\n"
           "                         a partial result for --combine (default: all)\n"
           "        --combine        the arguments are the partial results of one test: write\n"
           "                         its report\n"
           "        --quiet          no warnings and notes on standard error, only errors\n"
           "        --help           write this help and exit\n"
           "        --version        write the version and exit\n"
           "\n"
           "Formats: listings writes fixed label, tab, permuted label per taxon and an empty line\n"
           "after each listing. long writes one table with a header line: reshuffle (0 for the\n"
           "order as read), fixed, permuted (and stratum) per taxon and listing. wide writes one\n"
           "line per taxon: fixed label, then the permuted label in listings 0 .. N, under a\n"
           "header line. R's read.delim(f) and pandas' read_csv(f, sep=\"\\t\",\n"
           "keep_default_na=False) read long and wide as they stand.\n"
           "\n"
           "Example:\n"
           "  labmix --header --permute habitat --strata order --format long -n 99 -s 1 \\\n"
           "      examples/species.tsv > null.tsv\n"
           "  labmix --header --fixed family --permute habitat --test chi2,ari "
           "examples/species.tsv\n"
           "  labmix --distances examples/species_traits.phy --test permanova,anosim --header \\\n"
           "      --fixed species --permute habitat examples/species.tsv\n"
           "  labmix --distances examples/species_traits.phy --test permanova --pairwise \\\n"
           "      --header --fixed species --permute habitat examples/species.tsv\n"
           "  labmix --distances examples/few_species_traits.phy --test permanova --exact \\\n"
           "      --header --fixed species --permute habitat examples/few_species.tsv\n"
           "\n"
           "Exit status 0 after a complete run, 1 after any error (with one message on standard\n"
           "error). See the man page labmix(1).\n";
}

std::string version_text() { return std::string("labmix ") + LABMIX_VERSION + "\n"; }

} // namespace labmix
