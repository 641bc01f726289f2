#include <tool/run.hpp>

#include <tool/formats.hpp>
#include <tool/header.hpp>
#include <tool/sniff.hpp>

#include <phylo/permutation/strata.hpp>

#include <phylo/taxonomy/label_numbers.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <istream>
#include <new>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace labmix {

namespace {

std::string reason(int error) { return std::strerror(error); }

// Opens `path` for reading. A name that cannot be opened is the name error; a directory or
// anything else that is not a readable file is the use error.
int open_input(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        if (e == ENOENT || e == ENOTDIR || e == ENAMETOOLONG || e == ELOOP)
            throw generics::name_error(path + ": " + reason(e));
        throw generics::use_error(path + ": " + reason(e));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        const int e = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd);
        throw generics::use_error(path + ": " + reason(e));
    }
    return fd;
}

// The full path name that messages about `path` give.
std::string full_name(const std::string& path) {
    std::error_code ec;
    auto full = std::filesystem::absolute(path, ec);
    return ec ? path : full.lexically_normal().string();
}

// The input of a run: the file named on the command line, or standard input for "-", read
// straight from its descriptor in large blocks, with its first bytes checked before the
// table reader sees them. A file opened by name is closed when this goes.
class run_input {
public:
    explicit run_input(const std::string& input)
        : file_(input), source_(file_.fd, file_.called, input_block),
          name_(file_.owned ? full_name(input) : "standard input") {
        check_start();
    }

    generics::byte_source& source() noexcept { return source_; }
    // What the table reader's messages call the input.
    [[nodiscard]] const std::string& name() const noexcept { return name_; }

private:
    static constexpr std::size_t input_block = std::size_t{1} << 20;

    // The descriptor, closed with this when it was opened by name.
    struct descriptor {
        explicit descriptor(const std::string& input)
            : owned(input != "-"), fd(owned ? open_input(input) : STDIN_FILENO),
              called(owned ? input : "standard input") {}
        descriptor(const descriptor&) = delete;
        descriptor& operator=(const descriptor&) = delete;
        ~descriptor() {
            if (owned) ::close(fd);
        }
        bool owned;
        int fd;
        std::string called; // what the input's own errors call it: the name as given
    };

    // Reads the first bytes, as many as the input check wants (up to a line feed, the end of
    // the input or sniff_window bytes), checks them and skips a byte order mark.
    void check_start() {
        bool whole = false;
        std::size_t scanned = 0;
        for (;;) {
            const std::string_view w = source_.window();
            if (w.size() >= sniff_window || w.substr(scanned).find('\n') != std::string_view::npos)
                break;
            scanned = w.size();
            if (!source_.extend(sniff_window - w.size())) {
                whole = true;
                break;
            }
        }
        const std::string_view w = source_.window();
        source_.skip(check_input_start(w.substr(0, sniff_window), whole, file_.called));
    }

    descriptor file_;
    generics::byte_source source_;
    std::string name_;
};

// Hands over the distinct labels of a column, each kept once with a line feed after it, as
// the permuted column, with the label numbers of its rows.
void finish(phylo::taxonomy::label_numbers& pool, std::vector<std::uint32_t> rows,
            permuted_labels& out) {
    const auto starts = pool.starts();
    out.text = pool.take_text(label_padding);
    out.distinct.clear();
    out.distinct.reserve(starts.size() - 1);
    for (std::size_t k = 0; k + 1 < starts.size(); ++k)
        out.distinct.emplace_back(out.text.data() + starts[k], starts[k + 1] - starts[k]);
    out.labels = generics::bounded_array<std::uint32_t>(0, std::move(rows));
}

} // namespace

namespace {
template <class Input>
void read_two_columns(Input& in, std::string_view name, index_type fixed, index_type permuted,
                      packed_labels& fixed_out, permuted_labels& permuted_out) {
    phylo::taxonomy::label_numbers pool;
    std::vector<std::uint32_t> rows;
    std::array<index_type, 2> columns = {fixed, permuted};
    const std::array<std::string, 2> options = {"option -f", "option -p"};
    take_columns(in, name, {}, std::span<index_type>(columns), options, nullptr,
                 [&](std::span<const std::string_view> picked) {
                     fixed_out.add(picked[0]);
                     rows.push_back(pool.add(picked[1]));
                 });
    finish(pool, std::move(rows), permuted_out);
}

// How messages call the option that chose a column: as written, or the default's option.
std::string chosen_by(const std::string& written, std::string_view short_option) {
    if (written.empty()) return "the default of " + std::string(short_option);
    return "option " + written;
}

// Below this many rows, distinct labels and a first row unlike the others say little.
constexpr std::size_t few_rows = 10;

bool is_number(std::string_view label) {
    double x = 0;
    const auto [end, error] = std::from_chars(label.data(), label.data() + label.size(), x);
    return !label.empty() && error == std::errc() && end == label.data() + label.size();
}
} // namespace

void read_columns(generics::byte_source& in, std::string_view name, index_type fixed,
                  index_type permuted, packed_labels& fixed_out, permuted_labels& permuted_out) {
    read_two_columns(in, name, fixed, permuted, fixed_out, permuted_out);
}

void read_columns(std::istream& in, std::string_view name, index_type fixed, index_type permuted,
                  packed_labels& fixed_out, permuted_labels& permuted_out) {
    read_two_columns(in, name, fixed, permuted, fixed_out, permuted_out);
}

phylo::taxonomy::table_format input_format(const settings& s) {
    phylo::taxonomy::table_format format;
    format.skip_empty_rows = true;
    const auto& in = s.input;
    const bool csv_name =
        in.size() > 4 && std::equal(in.end() - 4, in.end(), ".csv", [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) == b;
        });
    format.separator = s.separator.value_or(csv_name ? ',' : '\t');
    // A tab given to --separator is the tab-separated table as it always was.
    format.quoted = format.separator != '\t';
    return format;
}

std::vector<std::string> used_column_options(const settings& s) {
    std::vector<std::string> options = {chosen_by(s.written.fixed, "-f"),
                                        chosen_by(s.written.permuted, "-p")};
    if (s.strata_column) options.push_back(chosen_by(s.written.strata, "--strata"));
    return options;
}

std::string column_called(index_type column, const std::vector<std::string>& header) {
    std::string called = "column " + std::to_string(column + 1);
    if (column >= 0 && static_cast<std::size_t>(column) < header.size())
        called += " (" + header[static_cast<std::size_t>(column)] + ")";
    return called;
}

std::vector<std::string> column_warnings(const settings& s, const columns_read& read,
                                         std::span<const used_column> columns) {
    std::vector<std::string> lines;
    const auto rows = static_cast<std::size_t>(read.rows);
    bool first_row_apart = rows >= few_rows && !s.header;
    bool any_grouped = false;
    for (const auto& c : columns) {
        const bool all_distinct = c.distinct.size() == rows;
        if (c.grouping && rows >= few_rows && all_distinct)
            lines.push_back("warning: " + c.called + " has a distinct label on each of its " +
                            std::to_string(rows) + " rows, so as groups it says nothing");
        else if (c.grouping && c.distinct.size() > 20 &&
                 std::all_of(c.distinct.begin(), c.distinct.end(), is_number))
            lines.push_back("warning: " + c.called + " holds " + std::to_string(c.distinct.size()) +
                            " distinct numbers, each taken as a group of its own: is it a "
                            "measurement rather than groups?");
        if (all_distinct || c.rows.empty()) continue;
        any_grouped = true;
        const std::uint32_t first = c.rows.front();
        first_row_apart =
            first_row_apart && std::find(c.rows.begin() + 1, c.rows.end(), first) == c.rows.end();
    }
    if (first_row_apart && any_grouped)
        lines.push_back("warning: the labels of the first row occur on no other row: is it a "
                        "header line? (--header reads it as the names of the columns)");
    if (read.empty_rows > 0)
        lines.push_back(std::to_string(read.empty_rows) + " row" +
                        (read.empty_rows == 1 ? " whose fields are all empty is"
                                              : "s whose fields are all empty are") +
                        " skipped");
    if (read.missing_rows > 0)
        lines.push_back(
            std::to_string(read.missing_rows) + " row" +
            (read.missing_rows == 1 ? " with a missing label is" : "s with a missing label are") +
            " left out (--missing)");
    return lines;
}

void read_input(const std::string& input,
                const std::function<void(generics::byte_source&, std::string_view)>& read) {
    run_input in(input);
    read(in.source(), in.name());
}

void traverse_files(const settings& options, listing_writer& out, std::ostream& notes) {
    settings s = options;
    packed_labels fixed;
    permuted_labels permuted;
    permuted_labels strata_labels;
    columns_read read;
    {
        phylo::taxonomy::label_numbers pool;
        phylo::taxonomy::label_numbers strata_pool;
        std::vector<std::uint32_t> rows;
        std::vector<std::uint32_t> strata_rows;
        read = read_used_columns(s, [&](std::span<const std::string_view> picked) {
            fixed.add(picked[0]);
            rows.push_back(pool.add(picked[1]));
            if (picked.size() > 2) strata_rows.push_back(strata_pool.add(picked[2]));
        });
        finish(pool, std::move(rows), permuted);
        if (s.strata_column) finish(strata_pool, std::move(strata_rows), strata_labels);
    }
    if (!s.quiet) {
        // Permuting a column of measurements or of distinct labels is a null model like any
        // other; only the strata are groups in a listing.
        // The distinct labels without the line feed that follows each.
        const auto bare = [](const permuted_labels& column) {
            std::vector<std::string_view> labels;
            for (const auto label : column.distinct)
                labels.push_back(label.substr(0, label.size() - 1));
            return labels;
        };
        const auto permuted_distinct = bare(permuted);
        const auto strata_distinct = bare(strata_labels);
        std::vector<used_column> used = {{column_called(s.permuted_column, read.header),
                                          permuted.labels.span(), permuted_distinct, false}};
        if (s.strata_column)
            used.push_back({column_called(*s.strata_column, read.header),
                            strata_labels.labels.span(), strata_distinct, true});
        for (const auto& line : column_warnings(s, read, used)) notes << "labmix: " << line << '\n';
        if (read.rows == 0)
            notes << "labmix: " << read.name << " has no taxa, so every listing is empty\n";
        notes.flush();
    }
    const std::vector<std::string>& header = read.header;

    const listing_columns columns{fixed, permuted, s.strata_column ? &strata_labels : nullptr};
    const auto format =
        make_listing_format(s.format, columns, titles(s, header), s.reshuffles, out);
    format->add();
    if (s.reshuffles > 0) {
        random_labels labels;
        if (s.seed)
            labels.reset(*s.seed);
        else
            labels.reset();
        labels.set_sorter(permuted.labels.first(), permuted.labels.last());
        std::optional<phylo::permutation::strata> within;
        if (s.strata_column)
            within.emplace(strata_labels.labels.span(), strata_labels.distinct.size());
        for (std::int64_t k = 0; k < s.reshuffles; ++k) {
            if (within)
                within->shuffle(permuted.labels,
                                [&labels](std::uint32_t n) { return labels.below(n); });
            else
                labels.sort_random(permuted.labels);
            format->add();
        }
    }
    format->finish();
    out.flush();
}

} // namespace labmix
