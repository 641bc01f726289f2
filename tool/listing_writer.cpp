#include <tool/listing_writer.hpp>

#include <cerrno>
#include <cstring>
#include <utility>

#include <unistd.h>

namespace labmix {

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
            throw write_error(name_ + ": " + std::strerror(errno));
        }
        p += written;
        n -= static_cast<std::size_t>(written);
    }
}

} // namespace labmix
