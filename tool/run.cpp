#include <tool/run.hpp>

#include <generics/current_io.hpp>

#include <phylo/taxonomy/table.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <istream>
#include <new>
#include <optional>
#include <streambuf>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace labmix {

namespace {

constexpr std::size_t buffer_size = std::size_t{1} << 20;

std::string reason(int error) { return std::strerror(error); }

// An input file descriptor as a stream buffer with one large buffer. A read failure throws
// read_error out of the reading call (the stream is set to rethrow it), so that a failing
// device never looks like the end of the table.
class descriptor_buffer : public std::streambuf {
public:
    descriptor_buffer(int fd, bool owned, std::string name)
        : fd_(fd), owned_(owned), name_(std::move(name)), buffer_(new char[buffer_size]) {}
    descriptor_buffer(const descriptor_buffer&) = delete;
    descriptor_buffer& operator=(const descriptor_buffer&) = delete;
    ~descriptor_buffer() override {
        if (owned_) ::close(fd_);
    }

protected:
    int_type underflow() override {
        if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
        for (;;) {
            const ssize_t got = ::read(fd_, buffer_.get(), buffer_size);
            if (got > 0) {
                setg(buffer_.get(), buffer_.get(), buffer_.get() + got);
                return traits_type::to_int_type(*gptr());
            }
            if (got == 0) return traits_type::eof();
            if (errno != EINTR) throw read_error(name_ + ": " + reason(errno));
        }
    }

private:
    int fd_;
    bool owned_;
    std::string name_;
    std::unique_ptr<char[]> buffer_;
};

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

} // namespace

void take_columns(phylo::taxonomy::group_name_vector& table, index_type fixed,
                  index_type permuted, fixed_labels& fixed_out, permuted_labels& permuted_out) {
    using phylo::taxonomy::group_names;
    const index_type rows = table.length();
    // First pass: check the columns and measure, so that both blocks are allocated once at
    // their final size and no row is copied before it is known to be good.
    std::size_t fixed_bytes = 0;
    std::size_t permuted_bytes = 0;
    for (index_type i = table.first(); i <= table.last(); ++i) {
        const auto& row = group_names::row(table, i);
        for (const index_type column : {fixed, permuted})
            if (!row.contains(column))
                throw generics::range_error("column " + std::to_string(column + 1) +
                                            " is beyond the " + std::to_string(row.length()) +
                                            (row.length() == 1 ? " field" : " fields") +
                                            " of the table");
        fixed_bytes += row.unchecked(fixed).size() + 1;
        permuted_bytes += row.unchecked(permuted).size() + 1;
    }
    fixed_out.text.clear();
    fixed_out.text.reserve(fixed_bytes);
    fixed_out.ends.clear();
    fixed_out.ends.reserve(static_cast<std::size_t>(rows));
    permuted_out.text.clear();
    permuted_out.text.reserve(permuted_bytes);
    std::vector<std::size_t> permuted_ends;
    permuted_ends.reserve(static_cast<std::size_t>(rows));
    // Second pass: the fields are copied once into the blocks and each row is released as
    // soon as it is taken, so the table and the blocks are never both whole in memory.
    for (index_type i = table.first(); i <= table.last(); ++i) {
        auto& row = table.unchecked(i);
        fixed_out.text.append(row->unchecked(fixed)).push_back('\t');
        fixed_out.ends.push_back(fixed_out.text.size());
        permuted_out.text.append(row->unchecked(permuted)).push_back('\n');
        permuted_ends.push_back(permuted_out.text.size());
        row.reset();
    }
    table = phylo::taxonomy::group_name_vector();
    // Views are made once the block is complete, since it no longer moves.
    permuted_out.views = generics::bounded_array<std::string_view>(0, rows - 1);
    std::size_t start = 0;
    for (index_type i = 0; i < rows; ++i) {
        const std::size_t end = permuted_ends[static_cast<std::size_t>(i)];
        permuted_out.views.unchecked(i) =
            std::string_view(permuted_out.text).substr(start, end - start);
        start = end;
    }
}

listing_writer::listing_writer(int fd, std::string name)
    : fd_(fd), name_(std::move(name)), buffer_(new char[buffer_size]) {}

void listing_writer::put(std::string_view text) {
    if (text.size() > buffer_size - used_) {
        flush();
        if (text.size() >= buffer_size) {
            write_out(text.data(), text.size());
            return;
        }
    }
    std::memcpy(buffer_.get() + used_, text.data(), text.size());
    used_ += text.size();
}

void listing_writer::put(char c) {
    if (used_ == buffer_size) flush();
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

void print_both(const fixed_labels& fixed, const permuted_labels& permuted, listing_writer& out) {
    const char* fixed_text = fixed.text.data();
    std::size_t start = 0;
    const std::string_view* views = permuted.views.data();
    for (std::size_t i = 0; i < fixed.ends.size(); ++i) {
        const std::size_t end = fixed.ends[i];
        out.put(std::string_view(fixed_text + start, end - start));
        out.put(views[i]);
        start = end;
    }
    out.put('\n');
}

void traverse_files(const settings& s, listing_writer& out) {
    std::optional<descriptor_buffer> buffer;
    std::string name;
    if (s.input == "-") {
        name = "standard input";
        buffer.emplace(STDIN_FILENO, false, name);
    } else {
        name = full_name(s.input);
        buffer.emplace(open_input(s.input), true, s.input);
    }
    std::istream in(&*buffer);
    in.exceptions(std::ios::badbit);
    fixed_labels fixed;
    permuted_labels permuted;
    {
        phylo::taxonomy::group_name_vector table;
        {
            generics::input_redirect current(in, name);
            table = phylo::taxonomy::get('\t');
        }
        take_columns(table, s.fixed_column, s.permuted_column, fixed, permuted);
    }
    buffer.reset(); // a file opened by name is closed as soon as it is read

    print_both(fixed, permuted, out);
    if (s.reshuffles > 0) {
        random_labels labels;
        if (s.seed)
            labels.reset(*s.seed);
        else
            labels.reset();
        labels.set_sorter(permuted.views.first(), permuted.views.last());
        for (std::int64_t k = 0; k < s.reshuffles; ++k) {
            labels.sort_random(permuted.views);
            print_both(fixed, permuted, out);
        }
    }
    out.flush();
}

int run(std::span<const char* const> arguments) {
    const std::string invocation = arguments.empty() ? "labmix" : arguments.front();
    try {
        std::vector<std::string> rest;
        for (std::size_t i = 1; i < arguments.size(); ++i) rest.emplace_back(arguments[i]);
        const auto s = parse_arguments(std::move(rest));
        if (!s) {
            std::cerr << usage_text(invocation) << std::flush;
            return 1;
        }
        listing_writer out(STDOUT_FILENO);
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
