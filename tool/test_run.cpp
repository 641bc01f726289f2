#include <tool/test_run.hpp>

#include <tool/header.hpp>

#include <tool/null_plot.hpp>
#include <tool/output_files.hpp>
#include <tool/parts.hpp>
#include <tool/permutation_test.hpp>
#include <tool/statistics.hpp>
#include <tool/test_report.hpp>
#include <tool/value_spool.hpp>

#include <generics/errors.hpp>

#include <phylo/taxonomy/label_numbers.hpp>
#include <phylo/taxonomy/table.hpp>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace labmix {

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
    std::uint64_t fingerprint = 0;
};

read_test read_columns(settings& s, bool with_fingerprint, std::ostream& notes) {
    read_test result;
    fingerprint print;
    // Each column numbers its labels 0, 1, ... in order of first appearance.
    std::array<phylo::taxonomy::label_numbers, 3> coders;
    std::array<std::vector<phylo::count_element>*, 3> codes = {&result.fixed, &result.permuted,
                                                               &result.strata};
    std::array<std::vector<std::uint32_t>, 3> numbers;
    const auto read = read_used_columns(s, [&](std::span<const std::string_view> picked) {
        for (std::size_t k = 0; k < picked.size(); ++k) {
            const auto n = coders[k].add(picked[k]);
            numbers[k].push_back(n);
            codes[k]->push_back(static_cast<phylo::count_element>(n));
            if (with_fingerprint) print.add_field(picked[k]);
        }
    });
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
            used.push_back({column_called(columns[k], read.header), numbers[k], distinct[k], true});
        }
        // The fixed and the permuted column may be one column: it is said once.
        if (s.fixed_column == s.permuted_column) used.erase(used.begin() + 1);
        for (const auto& line : column_warnings(s, read, used)) notes << "labmix: " << line << '\n';
    }
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
            null_file_->out().put("reshuffle\tstatistic\tvalue\n");
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
        if (null_file_) write_null_line(null_file_->out(), statistics_, k, values);
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
        out.put(report_text(statistics_, lines, tags_));
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

void run_test(const settings& given, listing_writer& out, std::ostream& notes) {
    settings s = given;
    const auto statistics = parse_statistics(s.test);
    std::vector<std::string> inputs;
    if (s.input != "-") inputs.push_back(s.input);
    null_sinks sinks(s, inputs);
    auto read = read_columns(s, s.part.has_value(), notes);
    const std::uint64_t seed = s.seed ? *s.seed : seed_from_clock();
    test_identity identity;
    identity.reshuffles = s.reshuffles;
    identity.statistics = statistics;
    if (s.part) {
        // Everything the values depend on: the columns as read, the statistics, the seed and
        // the number of reshuffles.
        fingerprint print;
        print.add_field(std::to_string(read.fingerprint));
        print.add_field(s.strata_column ? "strata" : "no strata");
        print.add_field(s.test);
        print.add_field(std::to_string(seed));
        print.add_field(std::to_string(s.reshuffles));
        identity.fingerprint = print.value();
    }
    const auto taxa = read.fixed.size();
    const auto called = [&](index_type column) {
        const auto& names = read.header;
        if (s.header && static_cast<std::size_t>(column) < names.size())
            return tag_name(names[static_cast<std::size_t>(column)]);
        return std::to_string(column + 1);
    };
    identity.tags = report_tags{called(s.fixed_column), called(s.permuted_column),
                                s.strata_column ? called(*s.strata_column) : "",
                                static_cast<std::int64_t>(taxa), seed};
    test_columns columns{as_codes(std::move(read.fixed)), as_codes(std::move(read.permuted)),
                         as_codes(std::move(read.strata))};
    const permutation_test test(std::move(columns), statistics);
    if (!s.seed) notes << "labmix: seed " << seed << " (-s " << seed << " repeats this test)\n";
    if (!test.defined()) {
        const bool fixed_one = test.fixed_groups() < 2;
        identity.notes.push_back(
            "labmix: every statistic is undefined, so it is NaN: " +
            (taxa == 0 ? std::string("the table has no taxa")
                       : "column " +
                             std::to_string((fixed_one ? s.fixed_column : s.permuted_column) + 1) +
                             " has only one group"));
    }
    for (const auto& note : identity.notes) notes << note << '\n';
    notes.flush();
    identity.observed = test.observed();
    const unsigned threads = thread_count(s);
    if (s.part) {
        const auto p = parse_part(*s.part);
        const auto range = range_of(p, s.reshuffles);
        partial_writer part(out, identity, p);
        test.for_each_null(seed, range.first, range.last, threads,
                           [&part](std::int64_t k, std::span<const double> v) { part.add(k, v); });
        part.finish();
        return;
    }
    sinks.start(statistics, identity.observed, *identity.tags);
    test.for_each_null(seed, 1, s.reshuffles, threads,
                       [&sinks](std::int64_t k, std::span<const double> v) { sinks.add(k, v); });
    sinks.finish(out);
}

void run_combine(const settings& s, listing_writer& out, std::ostream& notes) {
    null_sinks sinks(s, s.combine_files); // checked and opened before any part is read
    part_combiner parts;
    for (const auto& file : s.combine_files) parts.add_file(file);
    const auto& test = parts.test();
    for (const auto& note : test.notes) notes << note << '\n';
    notes.flush();
    sinks.start(test.statistics, test.observed, test.tags.value_or(report_tags{}));
    parts.for_each_null([&sinks](std::int64_t k, std::span<const double> v) { sinks.add(k, v); });
    sinks.finish(out);
}

} // namespace labmix
