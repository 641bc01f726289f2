#include <tool/test_run.hpp>

#include <tool/header.hpp>

#include <tool/null_plot.hpp>
#include <tool/parts.hpp>
#include <tool/permutation_test.hpp>
#include <tool/statistics.hpp>
#include <tool/test_report.hpp>

#include <generics/errors.hpp>

#include <phylo/taxonomy/label_numbers.hpp>
#include <phylo/taxonomy/table.hpp>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
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
    std::uint64_t fingerprint = 0;
};

read_test read_columns(settings& s, bool with_fingerprint) {
    read_test result;
    fingerprint print;
    // Each column numbers its labels 0, 1, ... in order of first appearance.
    phylo::taxonomy::label_numbers fixed, permuted, strata;
    std::vector<index_type> columns{s.fixed_column, s.permuted_column};
    if (s.strata_column) columns.push_back(*s.strata_column);
    read_input(s.input, [&](generics::byte_source& in, std::string_view name) {
        const auto header_line = [&](std::span<const std::string_view> row) {
            if (!s.header) return false;
            resolve_columns(s, std::vector<std::string>(row.begin(), row.end()), name);
            columns[0] = s.fixed_column;
            columns[1] = s.permuted_column;
            if (s.strata_column) columns[2] = *s.strata_column;
            return true;
        };
        take_columns(
            in, name, std::span<index_type>(columns), header_line,
            [&](std::size_t k, std::string_view field) {
                auto& codes = k == 0 ? result.fixed : k == 1 ? result.permuted : result.strata;
                auto& coder = k == 0 ? fixed : k == 1 ? permuted : strata;
                codes.push_back(static_cast<phylo::count_element>(coder.add(field)));
                if (with_fingerprint) print.add_field(field);
            });
    });
    result.fingerprint = print.value();
    return result;
}

phylo::count_array as_codes(std::vector<phylo::count_element>&& v) {
    if (v.empty()) return phylo::count_array();
    return phylo::count_array(0, std::move(v));
}

unsigned thread_count(const settings& s) {
    if (s.threads) return *s.threads;
    return std::max(1u, std::thread::hardware_concurrency());
}

// A file written by name, through the buffered writer, closed at the end.
class output_file {
public:
    explicit output_file(const std::string& path)
        : fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)) {
        if (fd_ < 0) throw write_error(path + ": cannot be written: " + std::strerror(errno));
        writer_.emplace(fd_, path);
        path_ = path;
    }
    output_file(const output_file&) = delete;
    output_file& operator=(const output_file&) = delete;
    ~output_file() {
        if (fd_ >= 0) ::close(fd_);
    }
    listing_writer& out() { return *writer_; }
    void close() {
        writer_->flush();
        const int fd = std::exchange(fd_, -1);
        if (::close(fd) != 0) throw write_error(path_ + ": " + std::strerror(errno));
    }

private:
    int fd_;
    std::optional<listing_writer> writer_;
    std::string path_;
};

// The report, and the null values and the plot when asked for.
void finish(const settings& s, const std::vector<statistic>& statistics,
            const std::vector<double>& observed, const std::vector<double>& values,
            listing_writer& out) {
    out.put(report_text(statistics, observed, values));
    out.flush();
    if (s.null_file) {
        output_file file(*s.null_file);
        write_null_values(file.out(), statistics, values, 1);
        file.close();
    }
    if (s.plot_file) {
        output_file file(*s.plot_file);
        file.out().put(null_plot_svg(statistics, observed, values));
        file.close();
    }
}

} // namespace

void run_test(const settings& given, listing_writer& out, std::ostream& notes) {
    settings s = given;
    const auto statistics = parse_statistics(s.test);
    auto read = read_columns(s, s.part.has_value());
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
        write_partial_head(out, identity, p);
        test.for_each_null(
            seed, range.first, range.last, threads,
            [&out](std::int64_t k, std::span<const double> v) { write_partial_line(out, k, v); });
        out.flush();
        return;
    }
    // The values stream past: into the summaries and the null table, and kept only for a plot.
    std::vector<null_accumulator> summaries;
    for (const double x : identity.observed) summaries.emplace_back(x);
    std::optional<output_file> null_file;
    if (s.null_file) {
        null_file.emplace(*s.null_file);
        null_file->out().put("reshuffle\tstatistic\tvalue\n");
    }
    std::vector<double> kept;
    test.for_each_null(seed, 1, s.reshuffles, threads,
                       [&](std::int64_t k, std::span<const double> v) {
                           for (std::size_t i = 0; i < v.size(); ++i) summaries[i].add(v[i]);
                           if (null_file) write_null_line(null_file->out(), statistics, k, v);
                           if (s.plot_file) kept.insert(kept.end(), v.begin(), v.end());
                       });
    std::vector<statistic_summary> lines;
    for (const auto& a : summaries) lines.push_back(a.summary());
    out.put(report_text(statistics, lines));
    out.flush();
    if (null_file) null_file->close();
    if (s.plot_file) {
        output_file file(*s.plot_file);
        file.out().put(null_plot_svg(statistics, identity.observed, kept));
        file.close();
    }
}

void run_combine(const settings& s, listing_writer& out, std::ostream& notes) {
    const auto combined = combine_parts(s.combine_files);
    for (const auto& note : combined.test.notes) notes << note << '\n';
    notes.flush();
    finish(s, combined.test.statistics, combined.test.observed, combined.values, out);
}

} // namespace labmix
