#include <tool/test_run.hpp>

#include <tool/null_plot.hpp>
#include <tool/parts.hpp>
#include <tool/permutation_test.hpp>
#include <tool/statistics.hpp>
#include <tool/test_report.hpp>

#include <generics/errors.hpp>

#include <phylo/taxonomy/group_numbers.hpp>

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

using phylo::taxonomy::group_name_vector;

// With --header: the first row names the columns; it leaves the table, and columns chosen by
// name get their numbers.
void take_header(group_name_vector &table, settings &s) {
    if (table.empty())
        throw generics::range_error(s.input + ": the table has no header line (it is empty)");
    const auto &names = *table.unchecked(table.first());
    const auto resolve = [&names, &s](const std::optional<std::string> &name, index_type &column,
                                      const char *option) {
        if (!name) return;
        index_type found = -1;
        for (index_type j = names.first(); j <= names.last(); ++j)
            if (names.unchecked(j) == *name) {
                if (found >= 0)
                    throw generics::range_error(s.input + ": option " + option + ": \"" + *name +
                                                "\" names two columns of the header line");
                found = j - names.first();
            }
        if (found < 0)
            throw generics::range_error(s.input + ": option " + option +
                                        ": the header line has no column \"" + *name + "\"");
        column = found;
    };
    resolve(s.fixed_name, s.fixed_column, "--fixed");
    resolve(s.permuted_name, s.permuted_column, "--permute");
    if (s.strata_column) resolve(s.strata_name, *s.strata_column, "--strata");
    group_name_vector rest(0, table.length() - 2);
    for (index_type i = table.first() + 1; i <= table.last(); ++i)
        rest.unchecked(i - table.first() - 1) = std::move(table.unchecked(i));
    table = std::move(rest);
}

unsigned thread_count(const settings &s) {
    if (s.threads) return *s.threads;
    return std::max(1u, std::thread::hardware_concurrency());
}

// A file written by name, through the buffered writer, closed at the end.
class output_file {
  public:
    explicit output_file(const std::string &path)
        : fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)) {
        if (fd_ < 0) throw write_error(path + ": cannot be written: " + std::strerror(errno));
        writer_.emplace(fd_, path);
        path_ = path;
    }
    output_file(const output_file &) = delete;
    output_file &operator=(const output_file &) = delete;
    ~output_file() {
        if (fd_ >= 0) ::close(fd_);
    }
    listing_writer &out() { return *writer_; }
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
void finish(const settings &s, const std::vector<statistic> &statistics,
            const std::vector<double> &observed, const std::vector<double> &values,
            listing_writer &out) {
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

void run_test(const settings &given, listing_writer &out, std::ostream &notes) {
    settings s = given;
    const auto statistics = parse_statistics(s.test);
    auto table = read_table(s.input);
    if (s.header) take_header(table, s);
    std::vector<index_type> wanted{s.fixed_column, s.permuted_column};
    if (s.strata_column) wanted.push_back(*s.strata_column);
    for (index_type i = table.first(); i <= table.last(); ++i) {
        const auto &row = *table.unchecked(i);
        for (const index_type column : wanted)
            if (column >= row.length())
                throw generics::range_error("column " + std::to_string(column + 1) +
                                            " is beyond the " + std::to_string(row.length()) +
                                            (row.length() == 1 ? " field" : " fields") +
                                            " of the table");
    }
    const std::uint64_t seed = s.seed ? *s.seed : seed_from_clock();
    test_identity identity;
    identity.reshuffles = s.reshuffles;
    identity.statistics = statistics;
    if (s.part) {
        // Everything the values depend on: the columns as read, the statistics, the seed and
        // the number of reshuffles.
        fingerprint print;
        for (index_type i = table.first(); i <= table.last(); ++i)
            for (const index_type column : wanted)
                print.add_field(table.unchecked(i)->unchecked(column));
        print.add_field(s.strata_column ? "strata" : "no strata");
        print.add_field(s.test);
        print.add_field(std::to_string(seed));
        print.add_field(std::to_string(s.reshuffles));
        identity.fingerprint = print.value();
    }
    test_columns columns;
    columns.fixed = phylo::taxonomy::column_groups(table, s.fixed_column);
    columns.permuted = phylo::taxonomy::column_groups(table, s.permuted_column);
    if (s.strata_column) columns.strata = phylo::taxonomy::column_groups(table, *s.strata_column);
    const auto taxa = table.length();
    table = group_name_vector();

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
    for (const auto &note : identity.notes)
        notes << note << '\n';
    notes.flush();
    identity.observed = test.observed();
    if (s.part) {
        const auto p = parse_part(*s.part);
        const auto range = range_of(p, s.reshuffles);
        const auto values = test.null_values(seed, range.first, range.last, thread_count(s));
        write_partial(out, identity, p, values);
        out.flush();
        return;
    }
    const auto values = test.null_values(seed, 1, s.reshuffles, thread_count(s));
    finish(s, statistics, identity.observed, values, out);
}

void run_combine(const settings &s, listing_writer &out, std::ostream &notes) {
    const auto combined = combine_parts(s.combine_files);
    for (const auto &note : combined.test.notes)
        notes << note << '\n';
    notes.flush();
    finish(s, combined.test.statistics, combined.test.observed, combined.values, out);
}

} // namespace labmix
