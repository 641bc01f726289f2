#pragma once
// The tool's output: standard output or a file through one large buffer.

#include <generics/errors.hpp>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace labmix {

// The output could not be written (a full disk, a closed descriptor).
using write_error = generics::write_error;
// The reader of our output has gone away: the run ends quietly.
struct broken_pipe {};

// Standard output (or any file descriptor) through one large reused buffer, handed over in
// few write calls. A closed pipe is `broken_pipe`; every other write failure is the
// `write_error` naming the output and the reason.
class listing_writer {
public:
    explicit listing_writer(int fd, std::string name = "standard output");
    listing_writer(const listing_writer&) = delete;
    listing_writer& operator=(const listing_writer&) = delete;
    ~listing_writer() = default; // unflushed bytes are dropped: call flush() to finish

    // The buffer's capacity, and the spare bytes past it that room() also makes writable.
    static constexpr std::size_t capacity = std::size_t{1} << 20;
    static constexpr std::size_t slack = 64;

    void put(std::string_view text);
    void put(char c);
    // Room for n <= capacity bytes (and `slack` more that may be scribbled on), flushing first
    // when needed; advance(n) then takes the n bytes written there into the output.
    char* room(std::size_t n) {
        if (n > capacity - used_) flush();
        return buffer_.get() + used_;
    }
    void advance(std::size_t n) noexcept { used_ += n; }
    void flush();

private:
    void write_out(const char* p, std::size_t n);

    int fd_;
    std::string name_;
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
};

} // namespace labmix
