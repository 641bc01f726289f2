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

// Threads beyond the cores only take turns on them, and each holds a workspace (a copy of the
// permuted column when labels are drawn), so no more are started than there are cores.
unsigned thread_count(const settings& s) {
    const unsigned cores = std::thread::hardware_concurrency();
    if (!s.threads) return std::max(1u, cores);
    return cores == 0 ? *s.threads : std::min(*s.threads, cores);
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

// Whether two paths name one file: the same file when both exist, else the same path once
// made absolute and normal.
bool same_file(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (std::filesystem::equivalent(a, b, ec)) return true;
    std::error_code ea, eb;
    const auto ca = std::filesystem::weakly_canonical(a, ea);
    const auto cb = std::filesystem::weakly_canonical(b, eb);
    return !ea && !eb && ca == cb;
}

// A --null or --plot file that is an input of the run, or one file named by both, would be
// overwritten by the run's own output: refused before anything is read or written.
void check_outputs(const settings& s) {
    std::vector<std::string> inputs = s.combine_files;
    if (!s.combine && s.input != "-") inputs.push_back(s.input);
    const std::pair<const char*, const std::optional<std::string>*> outputs[] = {
        {"--null", &s.null_file}, {"--plot", &s.plot_file}};
    for (const auto& [option, file] : outputs) {
        if (!*file) continue;
        for (const auto& input : inputs)
            if (same_file(**file, input))
                throw option_error("option " + std::string(option) + " names " + **file +
                                   ", an input of the run, which it would overwrite");
    }
    if (s.null_file && s.plot_file && same_file(*s.null_file, *s.plot_file))
        throw option_error("options --null and --plot name the same file, " + *s.null_file);
}

// The null values of a plot, kept on disk between its two passes: an unlinked temporary
// file (in $TMPDIR, else /tmp), written and read back in large blocks.
class spill_file {
public:
    explicit spill_file(std::size_t width) : width_(width) {
        const char* dir = std::getenv("TMPDIR");
        std::string path =
            std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/labmix-plot-XXXXXX";
        fd_ = ::mkstemp(path.data());
        if (fd_ < 0) fail("cannot be made in " + path.substr(0, path.rfind('/')));
        ::unlink(path.c_str());
        block_.reserve(block_values);
    }
    spill_file(const spill_file&) = delete;
    spill_file& operator=(const spill_file&) = delete;
    ~spill_file() {
        if (fd_ >= 0) ::close(fd_);
    }

    void add(std::span<const double> values) {
        block_.insert(block_.end(), values.begin(), values.end());
        if (block_.size() >= block_values) flush();
    }

    // Every reshuffle's values, in the order they were added.
    template <class F>
    void replay(F&& each) {
        flush();
        if (::lseek(fd_, 0, SEEK_SET) != 0) fail("cannot be read back");
        for (;;) {
            block_.resize(block_values - block_values % width_);
            const auto bytes = read_fully(block_.data(), block_.size() * sizeof(double));
            block_.resize(bytes / sizeof(double));
            for (std::size_t k = 0; k + width_ <= block_.size(); k += width_)
                each(std::span<const double>(block_.data() + k, width_));
            if (bytes == 0 || block_.size() % width_ != 0 || bytes % sizeof(double) != 0) break;
        }
        block_.clear();
    }

private:
    static constexpr std::size_t block_values = std::size_t{1} << 16;

    [[noreturn]] static void fail(const std::string& what) {
        throw write_error("the temporary file of --plot " + what + ": " + std::strerror(errno));
    }

    void flush() {
        const char* p = reinterpret_cast<const char*>(block_.data());
        std::size_t left = block_.size() * sizeof(double);
        while (left > 0) {
            const ssize_t n = ::write(fd_, p, left);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) fail("cannot be written");
            p += n;
            left -= static_cast<std::size_t>(n);
        }
        block_.clear();
    }

    std::size_t read_fully(double* to, std::size_t bytes) {
        char* p = reinterpret_cast<char*>(to);
        std::size_t got = 0;
        while (got < bytes) {
            const ssize_t n = ::read(fd_, p + got, bytes - got);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) fail("cannot be read back");
            if (n == 0) break;
            got += static_cast<std::size_t>(n);
        }
        return got;
    }

    std::size_t width_;
    int fd_ = -1;
    std::vector<double> block_;
};

// Where the null values of a whole test go, reshuffle by reshuffle in order: the report's
// summaries, the null table (--null) and the plot's histograms (--plot). Nothing grows with
// the number of reshuffles.
class null_sinks {
public:
    null_sinks(const settings& s, std::vector<statistic> statistics,
               std::span<const double> observed)
        : statistics_(std::move(statistics)) {
        for (const double x : observed) summaries_.emplace_back(x);
        if (s.null_file) {
            null_file_.emplace(*s.null_file);
            null_file_->out().put("reshuffle\tstatistic\tvalue\n");
        }
        if (s.plot_file) {
            plot_file_ = *s.plot_file;
            plot_.emplace(observed);
        }
    }

    // One reshuffle's values. The plot's bins wait for the extremes of all values, so the
    // plot counts them at the end, from a spill file.
    void add(std::int64_t k, std::span<const double> values) {
        for (std::size_t i = 0; i < values.size(); ++i) summaries_[i].add(values[i]);
        if (null_file_) write_null_line(null_file_->out(), statistics_, k, values);
        if (plot_) {
            if (!spill_) spill_.emplace(values.size());
            plot_->widen(values);
            spill_->add(values);
        }
    }

    // The report on `out`, then the null table and the plot closed.
    // The files first, the report last: a report on standard output means that every file
    // of the run was written.
    void finish(listing_writer& out) {
        std::vector<statistic_summary> lines;
        for (const auto& a : summaries_) lines.push_back(a.summary());
        if (null_file_) null_file_->close();
        if (plot_) {
            if (spill_) spill_->replay([this](std::span<const double> v) { plot_->count(v); });
            output_file file(plot_file_);
            file.out().put(plot_->svg(statistics_, lines));
            file.close();
        }
        out.put(report_text(statistics_, lines));
        out.flush();
    }

private:
    std::vector<statistic> statistics_;
    std::vector<null_accumulator> summaries_;
    std::optional<output_file> null_file_;
    std::string plot_file_;
    std::optional<null_plot> plot_;
    std::optional<spill_file> spill_;
};

} // namespace

void run_test(const settings& given, listing_writer& out, std::ostream& notes) {
    check_outputs(given);
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
    null_sinks sinks(s, statistics, identity.observed);
    test.for_each_null(seed, 1, s.reshuffles, threads,
                       [&sinks](std::int64_t k, std::span<const double> v) { sinks.add(k, v); });
    sinks.finish(out);
}

void run_combine(const settings& s, listing_writer& out, std::ostream& notes) {
    check_outputs(s);
    // The parts are read twice: once to check them all, then in reshuffle order.
    const auto combined = combine_parts(s.combine_files);
    for (const auto& note : combined.test.notes) notes << note << '\n';
    notes.flush();
    null_sinks sinks(s, combined.test.statistics, combined.test.observed);
    for_each_combined_null(
        combined, [&sinks](std::int64_t k, std::span<const double> v) { sinks.add(k, v); });
    sinks.finish(out);
}

} // namespace labmix
