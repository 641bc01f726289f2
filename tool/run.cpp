#include <tool/run.hpp>

#include <tool/formats.hpp>
#include <tool/header.hpp>
#include <tool/sniff.hpp>
#include <tool/strata.hpp>
#include <tool/test_run.hpp>

#include <phylo/taxonomy/label_numbers.hpp>

#include <algorithm>
#include <array>
#include <cerrno>
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

void packed_labels::add(std::string_view label) {
    const std::size_t n = label.size() + 1;
    if (blocks_.empty() || room_ < n) {
        const std::size_t capacity = std::max(block_size, n);
        // Left uninitialised: pages are touched only as labels fill them.
        blocks_.push_back({std::make_unique_for_overwrite<char[]>(capacity + label_padding), 0});
        room_ = capacity;
    }
    block& b = blocks_.back();
    char* to = b.bytes.get() + b.used;
    if (!label.empty()) std::memcpy(to, label.data(), label.size()); // an empty view may be null
    to[label.size()] = end_;
    b.used += n;
    room_ -= n;
    if (n < long_length) {
        lengths_.push_back(static_cast<std::uint32_t>(n));
    } else {
        lengths_.push_back(long_length);
        long_lengths_.push_back(n);
    }
}

void throw_beyond(index_type column, std::size_t fields) {
    throw generics::range_error("column " + std::to_string(column + 1) + " is beyond the " +
                                std::to_string(fields) + (fields == 1 ? " field" : " fields") +
                                " of the table");
}

namespace {
template <class Input>
void read_two_columns(Input& in, std::string_view name, index_type fixed, index_type permuted,
                      packed_labels& fixed_out, permuted_labels& permuted_out) {
    phylo::taxonomy::label_numbers pool;
    std::vector<std::uint32_t> rows;
    const std::array<index_type, 2> columns = {fixed, permuted};
    take_columns(in, name, columns, [&](std::size_t k, std::string_view field) {
        if (k == 0)
            fixed_out.add(field);
        else
            rows.push_back(pool.add(field));
    });
    finish(pool, std::move(rows), permuted_out);
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

listing_writer::listing_writer(int fd, std::string name)
    : fd_(fd), name_(std::move(name)), buffer_(new char[capacity + slack]) {}

void listing_writer::put(std::string_view text) {
    if (text.size() > capacity - used_) {
        flush();
        if (text.size() >= capacity) {
            write_out(text.data(), text.size());
            return;
        }
    }
    std::memcpy(buffer_.get() + used_, text.data(), text.size());
    used_ += text.size();
}

void listing_writer::put(char c) {
    if (used_ == capacity) flush();
    buffer_[used_++] = c;
}

void listing_writer::flush() {
    const std::size_t n = used_;
    used_ = 0;
    write_out(buffer_.get(), n);
}

void listing_writer::write_out(const char* p, std::size_t n) {
    while (n > 0) {
        const ssize_t written = ::write(fd_, p, n);
        if (written < 0) {
            if (errno == EINTR) continue;
            if (errno == EPIPE) throw broken_pipe{};
            throw write_error(name_ + ": " + reason(errno));
        }
        p += written;
        n -= static_cast<std::size_t>(written);
    }
}

void print_both(const packed_labels& fixed, const permuted_labels& permuted, listing_writer& out) {
    static_assert(label_padding <= listing_writer::slack);
    const std::uint32_t* labels = permuted.labels.data();
    const std::string_view* distinct = permuted.distinct.data();
    fixed.for_each([&out, &labels, distinct](std::string_view left) {
        const std::string_view right = distinct[*labels++];
        const std::size_t n = left.size() + right.size();
        if (n <= listing_writer::capacity) {
            char* to = out.room(n);
            copy_label(to, left);
            copy_label(to + left.size(), right);
            out.advance(n);
        } else {
            out.put(left);
            out.put(right);
        }
    });
    out.put('\n');
}

void read_input(const std::string& input,
                const std::function<void(generics::byte_source&, std::string_view)>& read) {
    run_input in(input);
    read(in.source(), in.name());
}

void traverse_files(const settings& options, listing_writer& out) {
    settings s = options;
    std::optional<run_input> in(std::in_place, s.input);
    const std::string name = in->name();
    packed_labels fixed;
    permuted_labels permuted;
    permuted_labels strata_labels;
    std::vector<std::string> header;
    {
        // The columns: fixed, permuted and, with --strata, the stratum column.
        std::vector<index_type> columns = {s.fixed_column, s.permuted_column};
        if (s.strata_column) columns.push_back(*s.strata_column);
        phylo::taxonomy::label_numbers pool;
        phylo::taxonomy::label_numbers strata_pool;
        std::vector<std::uint32_t> rows;
        std::vector<std::uint32_t> strata_rows;
        const auto header_line = [&](std::span<const std::string_view> row) {
            if (!s.header) return false;
            header.assign(row.begin(), row.end());
            resolve_columns(s, header, name);
            columns[0] = s.fixed_column;
            columns[1] = s.permuted_column;
            if (s.strata_column) columns[2] = *s.strata_column;
            return true;
        };
        const auto take = [&](std::size_t k, std::string_view field) {
            if (k == 0)
                fixed.add(field);
            else if (k == 1)
                rows.push_back(pool.add(field));
            else
                strata_rows.push_back(strata_pool.add(field));
        };
        // Without --header the first line is split like every other, keeping only the
        // columns that the run needs.
        if (s.header)
            take_columns(in->source(), name, std::span<index_type>(columns), header_line, take);
        else
            take_columns(in->source(), name, std::span<index_type>(columns), nullptr, take);
        if (s.header && header.empty())
            throw generics::range_error(
                name + ": no header line (--header), the input has no non-empty line");
        finish(pool, std::move(rows), permuted);
        if (s.strata_column) finish(strata_pool, std::move(strata_rows), strata_labels);
    }
    in.reset(); // a file opened by name is closed as soon as it is read

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
        std::optional<strata> within;
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

int run(std::span<const char* const> arguments) {
    const std::string invocation = arguments.empty() ? "labmix" : arguments.front();
    try {
        std::vector<std::string> rest;
        for (std::size_t i = 1; i < arguments.size(); ++i) rest.emplace_back(arguments[i]);
        auto s = parse_arguments(std::move(rest));
        // A lone -h asks for help, unless it names a file (which it always could).
        std::error_code ec;
        if (s && arguments.size() == 2 && s->input == "-h" && !std::filesystem::exists("-h", ec))
            s->what = action::help;
        if (s && s->what != action::run) {
            // Through the listing writer, so that a failed write is said with its reason.
            listing_writer out(STDOUT_FILENO);
            out.put(s->what == action::help ? help_text() : version_text());
            out.flush();
            return 0;
        }
        if (!s) {
            std::cerr << usage_text(invocation) << std::flush;
            return 1;
        }
        listing_writer out(STDOUT_FILENO);
        if (s->combine)
            run_combine(*s, out, std::cerr);
        else if (!s->test.empty())
            run_test(*s, out, std::cerr);
        else
            traverse_files(*s, out);
        return 0;
    } catch (const generics::name_error&) {
        std::cerr << "Invalid filename." << std::endl;
    } catch (const generics::use_error&) {
        std::cerr << "Invalid filename." << std::endl;
    } catch (const generics::data_error&) {
        std::cerr << "Wrong file format." << std::endl;
    } catch (const broken_pipe&) {
        // The reader has all it wanted; nothing to say.
    } catch (const generics::error& e) {
        std::cerr << "labmix: " << e.name() << ": " << e.message() << std::endl;
    } catch (const std::bad_alloc&) {
        std::cerr << "labmix: out of memory" << std::endl;
    } catch (const std::exception& e) {
        std::cerr << "labmix: " << e.what() << std::endl;
    } catch (...) {
        std::cerr << "labmix: unexpected error" << std::endl;
    }
    return 1;
}

} // namespace labmix
