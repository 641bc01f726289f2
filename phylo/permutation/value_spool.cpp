#include <phylo/permutation/value_spool.hpp>

#include <generics/errors.hpp>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include <unistd.h>

namespace phylo::permutation {

namespace {

[[noreturn]] void fail(const std::string& what) {
    throw generics::write_error("the temporary file of the null values " + what + ": " +
                                std::strerror(errno));
}

} // namespace

value_spool::value_spool(std::size_t width) : width_(width) {
    const char* dir = std::getenv("TMPDIR");
    std::string path =
        std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/labmix-values-XXXXXX";
    fd_ = ::mkstemp(path.data());
    if (fd_ < 0) fail("cannot be made in " + path.substr(0, path.rfind('/')));
    ::unlink(path.c_str());
    block_.reserve(block_values);
}

value_spool::value_spool(value_spool&& other) noexcept
    : width_(other.width_), fd_(std::exchange(other.fd_, -1)), rows_(other.rows_),
      block_(std::move(other.block_)) {}

value_spool::~value_spool() {
    if (fd_ >= 0) ::close(fd_);
}

void value_spool::add(std::span<const double> values) {
    block_.insert(block_.end(), values.begin(), values.end());
    ++rows_;
    if (block_.size() >= block_values) flush();
}

void value_spool::flush() {
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

void value_spool::replay(std::int64_t first, std::int64_t count,
                         const std::function<void(std::span<const double>)>& each) {
    flush();
    if (width_ == 0) {
        for (std::int64_t k = 0; k < count; ++k) each({});
        return;
    }
    const std::size_t row_bytes = width_ * sizeof(double);
    auto offset = static_cast<off_t>(static_cast<std::size_t>(first) * row_bytes);
    std::vector<double> block(std::max<std::size_t>(block_values / width_, 1) * width_);
    for (std::int64_t left = count; left > 0;) {
        const auto rows =
            std::min<std::int64_t>(left, static_cast<std::int64_t>(block.size() / width_));
        const std::size_t bytes = static_cast<std::size_t>(rows) * row_bytes;
        char* to = reinterpret_cast<char*>(block.data());
        for (std::size_t got = 0; got < bytes;) {
            const ssize_t n = ::pread(fd_, to + got, bytes - got, offset + static_cast<off_t>(got));
            if (n < 0 && errno == EINTR) continue;
            if (n == 0) errno = EIO; // shorter than what was written
            if (n <= 0) fail("cannot be read back");
            got += static_cast<std::size_t>(n);
        }
        for (std::int64_t r = 0; r < rows; ++r)
            each(std::span<const double>(block.data() + static_cast<std::size_t>(r) * width_,
                                         width_));
        offset += static_cast<off_t>(bytes);
        left -= rows;
    }
}

} // namespace phylo::permutation
