#pragma once

// Helpers shared by the library tests.

#include <generics/byte_source.hpp>

#include <gtest/gtest.h>

#include <ext/stdio_filebuf.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <istream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <streambuf>
#include <string>
#include <thread>

#include <unistd.h>

namespace test_support {

// Checks that f throws Error and that its message holds text.
template <class Error, class F>
void expect_error(F&& f, const std::string& text) {
    try {
        f();
        ADD_FAILURE() << "no error; expected one saying: " << text;
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << e.what();
    }
}

// What print(out) writes.
template <class Print>
std::string printed(Print&& print) {
    std::ostringstream out;
    print(out);
    return out.str();
}

// A file of the test data directory, byte for byte.
inline std::string data_file(const std::string& name) {
    std::ifstream in(std::string(LABMIX_TEST_DATA) + "/" + name, std::ios::binary);
    return printed([&](std::ostream& s) { s << in.rdbuf(); });
}

// Hands out its text in pieces of `piece` characters, so that literals and line ends fall
// across block boundaries; what was handed out can be put back, as into a file buffer of a
// seekable file. With piece 0 it has no get area at all and goes one character at a time
// through uflow, as standard input synchronised with C does.
class piece_buffer : public std::streambuf {
public:
    piece_buffer(std::string text, std::size_t piece) : text_(std::move(text)), piece_(piece) {}
    [[nodiscard]] std::size_t consumed() const {
        return piece_ == 0 || gptr() == nullptr ? pos_
                                                : static_cast<std::size_t>(gptr() - text_.data());
    }

protected:
    int_type underflow() override {
        if (piece_ == 0)
            return pos_ < text_.size() ? traits_type::to_int_type(text_[pos_]) : traits_type::eof();
        const std::size_t at =
            gptr() == nullptr ? 0 : static_cast<std::size_t>(gptr() - text_.data());
        if (at >= text_.size()) return traits_type::eof();
        setg(text_.data(), text_.data() + at, text_.data() + std::min(text_.size(), at + piece_));
        return traits_type::to_int_type(*gptr());
    }
    int_type uflow() override {
        if (piece_ != 0) return std::streambuf::uflow();
        return pos_ < text_.size() ? traits_type::to_int_type(text_[pos_++]) : traits_type::eof();
    }
    int_type pbackfail(int_type c) override {
        if (piece_ != 0 || pos_ == 0) return traits_type::eof();
        --pos_;
        return c;
    }

private:
    std::string text_;
    std::size_t piece_, pos_ = 0;
};

// A pipe that a thread of its own fills with `text` in pieces of 1, 2, 3, 5 and 7 bytes and
// then closes. The reading end is the caller's, to close before the pipe_writer goes: a
// reader that stops early ends the writer.
class pipe_writer {
public:
    explicit pipe_writer(std::string text) {
        std::signal(SIGPIPE, SIG_IGN);
        int fds[2];
        if (::pipe(fds) != 0) throw std::runtime_error("no pipe");
        read_end = fds[0];
        writer_ = std::thread([fd = fds[1], text = std::move(text)] {
            static constexpr std::size_t pieces[] = {1, 2, 3, 5, 7};
            for (std::size_t at = 0, k = 0; at < text.size(); ++k) {
                const std::size_t n = std::min(pieces[k % 5], text.size() - at);
                const ssize_t written = ::write(fd, text.data() + at, n);
                if (written <= 0) break;
                at += static_cast<std::size_t>(written);
            }
            ::close(fd);
        });
    }
    ~pipe_writer() { writer_.join(); }
    pipe_writer(const pipe_writer&) = delete;
    pipe_writer& operator=(const pipe_writer&) = delete;

    int read_end;

private:
    std::thread writer_;
};

namespace detail {
// The stream buffer of a text_input, made before the stream that reads through it; neither
// copied nor moved. The pipe, if any, outlives the file buffer that reads and closes its end.
struct text_input_buffer {
    explicit text_input_buffer(std::string text) {
        const char* how = std::getenv("LABMIX_TEST_INPUT");
        const std::string mode = how == nullptr ? "" : how;
        if (mode.empty()) {
            buffer = std::make_unique<std::stringbuf>(std::move(text), std::ios::in);
        } else if (mode == "pipe") {
            pipe.emplace(std::move(text));
            buffer =
                std::make_unique<__gnu_cxx::stdio_filebuf<char>>(pipe->read_end, std::ios::in, 5);
        } else {
            buffer = std::make_unique<piece_buffer>(std::move(text), std::stoul(mode));
        }
    }

    std::optional<pipe_writer> pipe;
    std::unique_ptr<std::streambuf> buffer;
};
} // namespace detail

// The input of the reader tests: a text handed to the reader as LABMIX_TEST_INPUT says:
// unset, whole, as a string stream does; a number k, in pieces of k bytes (0: one character
// at a time without a buffer); "pipe", through a pipe in odd-sized pieces (a writer thread
// writes 1, 2, 3, 5 and 7 bytes at a time; a file buffer of 5 bytes reads the other end).
// CTest runs the reader tests in every one of these ways.
class text_input : private detail::text_input_buffer, public std::istream {
public:
    text_input(std::string text)
        : detail::text_input_buffer(std::move(text)), std::istream(buffer.get()) {}
    text_input(const char* text) : text_input(std::string(text)) {}
};

// The next character of `in` as the next reader of the library sees it, consumed (-1 at the
// end): a byte the stream could not take back is held for that reader, not for std::istream.
inline int next_char(std::istream& in) {
    generics::byte_source source(in);
    const int c = source.peek();
    if (c >= 0) source.consume(1);
    return c;
}

// Chi-square statistic of `counts` against equal expectations over `cells` cells, those never
// seen included.
inline double chi_square(const std::map<std::string, int>& counts, int cells) {
    double total = 0;
    for (const auto& [key, c] : counts) total += c;
    const double expected = total / cells;
    double chi = (cells - static_cast<double>(counts.size())) * expected;
    for (const auto& [key, c] : counts) chi += (c - expected) * (c - expected) / expected;
    return chi;
}

} // namespace test_support
