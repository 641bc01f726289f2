#include <tool/permutation_command.hpp>

#include <tool/distance_input.hpp>
#include <tool/header.hpp>
#include <tool/output_files.hpp>

#include <phylo/distance/matrix_file.hpp>
#include <phylo/permutation/contingency_family.hpp>
#include <phylo/permutation/distance_family.hpp>
#include <phylo/permutation/engine.hpp>
#include <phylo/permutation/null_plot.hpp>
#include <phylo/permutation/parts.hpp>
#include <phylo/permutation/report.hpp>
#include <phylo/permutation/statistics.hpp>
#include <phylo/permutation/value_spool.hpp>

#include <generics/errors.hpp>

#include <phylo/taxonomy/label_numbers.hpp>

#include <algorithm>
#include <array>
#include <bit>
#include <chrono>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <utility>

namespace labmix {

using phylo::permutation::family;
using phylo::permutation::fingerprint;
using phylo::permutation::null_accumulator;
using phylo::permutation::null_plot;
using phylo::permutation::report_tags;
using phylo::permutation::statistic;
using phylo::permutation::statistic_summary;
using phylo::permutation::tag_name;
using phylo::permutation::test_identity;
using phylo::permutation::value_spool;

std::uint64_t seed_from_clock() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
    return static_cast<std::uint64_t>(ns) % 2147483648u;
}

namespace {

// The columns of a test as group numbers, read row by row (the table itself is never kept),
// and the fingerprint of their fields when a part needs it.
struct read_test {
    std::vector<phylo::count_element> fixed, permuted, strata;
    std::vector<std::string> header; // with --header
    std::string name;                // what messages call the table
    // With `keep_taxa`: the fixed column's label of every row taken, and of every row left out
    // for a missing label.
    std::vector<std::string> taxa, left_out;
    std::uint64_t fingerprint = 0;
};

// `keep_taxa`: the fixed column names the taxa (a test of distances), so it is no grouping.
read_test read_columns(settings& s, bool with_fingerprint, bool keep_taxa, std::ostream& notes) {
    read_test result;
    fingerprint print;
    // Each column numbers its labels 0, 1, ... in order of first appearance.
    std::array<phylo::taxonomy::label_numbers, 3> coders;
    std::array<std::vector<phylo::count_element>*, 3> codes = {&result.fixed, &result.permuted,
                                                               &result.strata};
    std::array<std::vector<std::uint32_t>, 3> numbers;
    const auto read = read_used_columns(
        s,
        [&](std::span<const std::string_view> picked) {
            for (std::size_t k = 0; k < picked.size(); ++k) {
                const auto n = coders[k].add(picked[k]);
                numbers[k].push_back(n);
                codes[k]->push_back(static_cast<phylo::count_element>(n));
                if (with_fingerprint) print.add_field(picked[k]);
            }
        },
        [&](std::span<const std::string_view> picked) {
            if (keep_taxa) result.left_out.emplace_back(picked[0]);
        });
    result.name = read.name;
    if (read.rows == 0)
        throw empty_table_error(read.name + " has no taxa" +
                                (s.header ? " below its header line" : "") +
                                ", so there is nothing to test");
    if (!s.quiet) {
        std::array<std::vector<std::string_view>, 3> distinct;
        std::vector<used_column> used;
        const std::array<index_type, 3> columns = {s.fixed_column, s.permuted_column,
                                                   s.strata_column.value_or(0)};
        for (std::size_t k = 0; k < (s.strata_column ? 3u : 2u); ++k) {
            for (std::uint32_t n = 0; n < coders[k].size(); ++n)
                distinct[k].push_back(coders[k].label(n));
            used.push_back({column_called(columns[k], read.header), numbers[k], distinct[k],
                            !(keep_taxa && k == 0)});
        }
        // The fixed and the permuted column may be one column: it is said once.
        if (s.fixed_column == s.permuted_column) used.erase(used.begin() + 1);
        for (const auto& line : column_warnings(s, read, used)) notes << "labmix: " << line << '\n';
    }
    if (keep_taxa)
        for (const auto n : numbers[0]) result.taxa.emplace_back(coders[0].label(n));
    result.header = read.header;
    result.fingerprint = print.value();
    return result;
}

phylo::count_array as_codes(std::vector<phylo::count_element>&& v) {
    if (v.empty()) return phylo::count_array();
    return phylo::count_array(0, std::move(v));
}

// Threads beyond the cores only take turns on them, and each holds a workspace (a copy of the
// permuted column when labels are drawn), so no more are started than there are cores.
unsigned thread_count(const settings& s) {
    const unsigned cores = std::thread::hardware_concurrency();
    if (!s.threads) return std::max(1u, cores);
    return cores == 0 ? *s.threads : std::min(*s.threads, cores);
}

// Where the null values of a whole test go, reshuffle by reshuffle in order: the report's
// summaries, the null table (--null) and the plot's histograms (--plot). Nothing grows with
// the number of reshuffles.
class null_sinks {
public:
    // Opens the --null and --plot files of `s` and checks them against the run's inputs
    // (`inputs`, and standard input when the table comes from it) and standard output, all
    // before anything is read or drawn. Their first bytes are written before the first
    // reshuffle is drawn, so that an output that takes nothing (a full device) fails then.
    null_sinks(const settings& s, std::span<const std::string> inputs) {
        if (s.null_file) null_file_.emplace(*s.null_file);
        if (s.plot_file) plot_file_.emplace(*s.plot_file);
        std::vector<std::pair<const char*, const output_file*>> outputs;
        if (null_file_) outputs.emplace_back("--null", &*null_file_);
        if (plot_file_) outputs.emplace_back("--plot", &*plot_file_);
        check_aliasing(outputs, inputs, !s.combine && s.input == "-");
        if (null_file_) {
            null_file_->out().put(phylo::permutation::null_table_header);
            null_file_->out().flush();
        }
    }

    // The test whose null values come next.
    void start(std::vector<statistic> statistics, std::span<const double> observed,
               report_tags tags) {
        statistics_ = std::move(statistics);
        tags_ = std::move(tags);
        for (const double x : observed) summaries_.emplace_back(x);
        if (plot_file_) {
            plot_.emplace(observed);
            plot_file_->out().put(null_plot::svg_head(statistics_.size()));
            plot_file_->out().flush();
        }
    }

    // One reshuffle's values. The plot's bins wait for the extremes of all values, so the
    // plot counts them at the end, from a spool on disk.
    void add(std::int64_t k, std::span<const double> values) {
        for (std::size_t i = 0; i < values.size(); ++i) summaries_[i].add(values[i]);
        if (null_file_)
            phylo::permutation::write_null_line(null_file_->out(), statistics_, k, values);
        if (plot_) {
            if (!spool_) spool_.emplace(values.size());
            plot_->widen(values);
            spool_->add(values);
        }
    }

    // The null table and the plot put in place, then the report on `out`: a report on
    // standard output means that every file of the run was written.
    void finish(listing_writer& out) {
        std::vector<statistic_summary> lines;
        for (const auto& a : summaries_) lines.push_back(a.summary());
        if (null_file_) null_file_->commit();
        if (plot_) {
            if (spool_)
                spool_->replay(0, spool_->rows(),
                               [this](std::span<const double> v) { plot_->count(v); });
            plot_file_->out().put(plot_->svg_body(statistics_, lines));
            plot_file_->commit();
        }
        out.put(phylo::permutation::report_text(statistics_, lines, tags_));
        out.flush();
    }

private:
    std::optional<output_file> null_file_, plot_file_;
    std::vector<statistic> statistics_;
    report_tags tags_;
    std::vector<null_accumulator> summaries_;
    std::optional<null_plot> plot_;
    std::optional<value_spool> spool_;
};

} // namespace

namespace {

// A test ready to draw: its family, and what its report and parts say of it.
struct prepared_test {
    std::unique_ptr<phylo::permutation::null_family> family;
    test_identity identity;
};

// How messages and the report call column `column` of the table read.
std::string called(const settings& s, const read_test& read, index_type column) {
    const auto& names = read.header;
    if (s.header && static_cast<std::size_t>(column) < names.size())
        return tag_name(names[static_cast<std::size_t>(column)]);
    return std::to_string(column + 1);
}

// The note on a test whose statistics are all undefined.
std::string undefined_note(const std::string& why) {
    return "labmix: every statistic is undefined, so it is NaN: " + why;
}

prepared_test prepare_contingency(const settings& s, std::vector<statistic> statistics,
                                  read_test read) {
    prepared_test p;
    p.identity.tags =
        report_tags{called(s, read, s.fixed_column), called(s, read, s.permuted_column),
                    s.strata_column ? called(s, read, *s.strata_column) : "",
                    static_cast<std::int64_t>(read.fixed.size()), 0};
    const auto taxa = read.fixed.size();
    phylo::permutation::contingency_columns columns{as_codes(std::move(read.fixed)),
                                                    as_codes(std::move(read.permuted)),
                                                    as_codes(std::move(read.strata))};
    auto test = std::make_unique<phylo::permutation::contingency_test>(std::move(columns),
                                                                       std::move(statistics));
    if (!test->defined()) {
        const bool fixed_one = test->fixed_groups() < 2;
        p.identity.notes.push_back(undefined_note(
            taxa == 0
                ? std::string("the table has no taxa")
                : "column " + std::to_string((fixed_one ? s.fixed_column : s.permuted_column) + 1) +
                      " has only one group"));
    }
    p.identity.observed = test->observed();
    p.family = std::move(test);
    return p;
}

// Group numbers 0, 1, ... in order of first appearance of `codes[rows[i]]`, i = 0, 1, ...
phylo::count_array renumbered(const std::vector<phylo::count_element>& codes,
                              std::span<const std::size_t> rows) {
    if (codes.empty() || rows.empty()) return phylo::count_array();
    std::vector<phylo::count_element> number(codes.size() + 1, -1);
    std::vector<phylo::count_element> result;
    phylo::count_element next = 0;
    for (const auto r : rows) {
        auto& n = number[static_cast<std::size_t>(codes[r])];
        if (n < 0) n = next++;
        result.push_back(n);
    }
    return phylo::count_array(0, std::move(result));
}

// Everything the values of a test of distances depend on, besides the statistics, the seed and
// the reshuffles: the matrices' labels and values as tested, the groups and the strata.
std::uint64_t data_fingerprint(std::span<const phylo::squared* const> matrices,
                               std::span<const std::size_t> rows, const phylo::count_array& groups,
                               const phylo::count_array& strata) {
    fingerprint print;
    for (const auto* d : matrices) {
        const auto n = static_cast<std::size_t>(d->matrix.cols());
        for (const auto i : rows) {
            print.add_field(d->labels.data()[i]);
            for (const auto j : rows) {
                const auto bits = std::bit_cast<std::uint64_t>(d->matrix.data()[i * n + j]);
                char bytes[8];
                std::memcpy(bytes, &bits, 8);
                print.add(std::string_view(bytes, 8));
            }
        }
    }
    for (const auto* codes : {&groups, &strata}) {
        print.add_field("codes");
        for (const auto g : codes->span()) print.add_field(std::to_string(g));
    }
    return print.value();
}

prepared_test prepare_distances(settings& s, std::vector<statistic> statistics, bool with_part,
                                std::ostream& notes) {
    const bool mantel = family_of(statistics.front()) == family::mantel;
    const bool table = !s.input.empty();
    // A Mantel test takes only the taxa from the fixed column; a table of one column will do.
    if (mantel && s.written.permuted.empty()) s.permuted_column = s.fixed_column;
    read_test read;
    if (table) read = read_columns(s, with_part, true, notes);
    std::vector<phylo::squared> matrices;
    for (const auto& file : s.distance_files) matrices.push_back(read_distances(s, file));
    const std::string& first_name = s.distance_files.front();
    // Every matrix in the order of the first's labels.
    std::vector<std::size_t> second_rows;
    if (mantel) second_rows = same_taxa(matrices[0], first_name, matrices[1], s.distance_files[1]);
    std::vector<std::string> lines;
    taxon_match match;
    if (table) {
        match = match_taxa(matrices[0], first_name, read.taxa, read.name, read.left_out, !mantel,
                           lines);
    } else {
        for (std::size_t i = 0; i < static_cast<std::size_t>(matrices[0].labels.length()); ++i)
            match.matrix_rows.push_back(i);
    }
    if (!s.quiet)
        for (const auto& line : lines) notes << "labmix: " << line << '\n';
    const auto& rows = match.matrix_rows;
    const auto groups = mantel ? phylo::count_array() : renumbered(read.permuted, match.table_rows);
    const auto strata =
        s.strata_column ? renumbered(read.strata, match.table_rows) : phylo::count_array();
    prepared_test p;
    const auto taxa = static_cast<std::int64_t>(rows.size());
    const std::string strata_tag = s.strata_column ? called(s, read, *s.strata_column) : "";
    if (mantel)
        p.identity.tags =
            report_tags{tag_name(first_name), tag_name(s.distance_files[1]), strata_tag, taxa, 0};
    else
        p.identity.tags = report_tags{called(s, read, s.fixed_column),
                                      called(s, read, s.permuted_column), strata_tag, taxa, 0};
    if (with_part) {
        const std::array<const phylo::squared*, 2> both = {&matrices[0],
                                                           mantel ? &matrices[1] : nullptr};
        // The second matrix is hashed in the first's order, as it is tested.
        std::uint64_t value = data_fingerprint(std::span(both.data(), 1), rows, groups, strata);
        if (mantel) {
            std::vector<std::size_t> second;
            for (const auto i : rows) second.push_back(second_rows[i]);
            const std::array<const phylo::squared*, 1> other = {&matrices[1]};
            value ^= std::rotl(data_fingerprint(other, second, groups, strata), 1);
        }
        p.identity.fingerprint = value;
    }
    const bool whole = rows.size() == static_cast<std::size_t>(matrices[0].labels.length());
    const phylo::real_matrix first =
        whole ? phylo::real_matrix() : phylo::distance::submatrix(matrices[0].matrix, rows);
    const phylo::real_matrix& d = whole ? matrices[0].matrix : first;
    if (mantel) {
        std::vector<std::size_t> second;
        for (const auto i : rows) second.push_back(second_rows[i]);
        const auto other = phylo::distance::submatrix(matrices[1].matrix, second);
        auto test = std::make_unique<phylo::permutation::mantel_test>(d, other, strata,
                                                                      std::move(statistics));
        p.identity.observed = test->observed();
        p.family = std::move(test);
        return p;
    }
    auto test =
        std::make_unique<phylo::permutation::groups_test>(d, groups, strata, std::move(statistics));
    if (!test->defined())
        p.identity.notes.push_back(
            undefined_note(taxa == 0 ? "no taxon of " + first_name + " has a group in " + read.name
                                     : "column " + std::to_string(s.permuted_column + 1) +
                                           " has only one group among the taxa of " + first_name));
    p.identity.observed = test->observed();
    p.family = std::move(test);
    return p;
}

} // namespace

void run_test(const settings& given, listing_writer& out, std::ostream& notes) {
    settings s = given;
    const auto statistics = parse_test(s.test);
    std::vector<std::string> inputs;
    if (!s.input.empty() && s.input != "-") inputs.push_back(s.input);
    inputs.insert(inputs.end(), s.distance_files.begin(), s.distance_files.end());
    null_sinks sinks(s, inputs);
    const std::uint64_t seed = s.seed ? *s.seed : seed_from_clock();
    prepared_test test;
    std::uint64_t data_print = 0;
    if (family_of(statistics.front()) == family::contingency) {
        auto read = read_columns(s, s.part.has_value(), false, notes);
        data_print = read.fingerprint;
        test = prepare_contingency(s, statistics, std::move(read));
    } else {
        test = prepare_distances(s, statistics, s.part.has_value(), notes);
        data_print = test.identity.fingerprint;
    }
    test_identity& identity = test.identity;
    identity.reshuffles = s.reshuffles;
    identity.statistics = statistics;
    identity.tags->seed = seed;
    if (s.part) {
        // Everything the values depend on: the data as read, the statistics, the seed and
        // the number of reshuffles.
        fingerprint print;
        print.add_field(std::to_string(data_print));
        print.add_field(s.strata_column ? "strata" : "no strata");
        print.add_field(s.test);
        print.add_field(std::to_string(seed));
        print.add_field(std::to_string(s.reshuffles));
        identity.fingerprint = print.value();
    }
    if (!s.seed) notes << "labmix: seed " << seed << " (-s " << seed << " repeats this test)\n";
    for (const auto& note : identity.notes) notes << note << '\n';
    notes.flush();
    const unsigned threads = thread_count(s);
    if (s.part) {
        const auto p = parse_part(*s.part);
        const auto range = range_of(p, s.reshuffles);
        phylo::permutation::partial_writer part([&out](std::string_view text) { out.put(text); },
                                                identity, p);
        phylo::permutation::for_each_null(
            *test.family, seed, range.first, range.last, threads,
            [&part](std::int64_t k, std::span<const double> v) { part.add(k, v); });
        part.finish();
        out.flush();
        return;
    }
    sinks.start(statistics, identity.observed, *identity.tags);
    phylo::permutation::for_each_null(
        *test.family, seed, 1, s.reshuffles, threads,
        [&sinks](std::int64_t k, std::span<const double> v) { sinks.add(k, v); });
    sinks.finish(out);
}

void run_combine(const settings& s, listing_writer& out, std::ostream& notes) {
    null_sinks sinks(s, s.combine_files); // checked and opened before any part is read
    phylo::permutation::part_combiner parts;
    for (const auto& file : s.combine_files) parts.add_file(file);
    const auto& test = parts.test();
    for (const auto& note : test.notes) notes << note << '\n';
    notes.flush();
    sinks.start(test.statistics, test.observed, test.tags.value_or(report_tags{}));
    parts.for_each_null([&sinks](std::int64_t k, std::span<const double> v) { sinks.add(k, v); });
    sinks.finish(out);
}

} // namespace labmix
