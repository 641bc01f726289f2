#pragma once
// The one source of bytes under every text reader: the group-name table reader and the
// element and matrix readers all take their input through it.
//
// It reads a stream in place, from the stream buffer's own block, so that what a reader has
// not consumed stays in the stream for the next reader, and nothing is copied while a piece
// of text lies inside one block. Only text that has to be seen whole across a block boundary
// (a line, a literal, the look past a carriage return) is gathered into a buffer of its own;
// the source then consumes those bytes from the stream, and hands back what the reader leaves
// unused when it ends. So what a reader returns, what it leaves unread and which error it
// raises never depend on where the blocks end.
//
// It reads a file descriptor as well (the tool's input): then it reads blocks into its own
// buffer, and whatever it has read belongs to it; what a reader leaves unread when the source
// goes is gone with it.
//
// A line end is a line feed, or a carriage return right before a line feed; `line_end_at`
// applies that rule for every reader. Lines are counted for messages.

#include <generics/errors.hpp>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <istream>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace generics {

namespace error_names {
inline constexpr char read[] = "read error";
}
// A file descriptor that fails while it is read (a device error, not a bad name).
using read_error = basic_error<std::runtime_error, error_names::read>;

namespace detail {
// The get area of a stream buffer is protected; a pointer to member formed through a derived
// class is the standard way to reach it without owning the buffer.
struct get_area : std::streambuf {
    static char* next(std::streambuf& b) { return (b.*&get_area::gptr)(); }
    static char* end(std::streambuf& b) { return (b.*&get_area::egptr)(); }
    static void advance(std::streambuf& b, std::size_t n) {
        constexpr std::size_t step = 1u << 30; // gbump takes an int
        for (; n > step; n -= step) (b.*&get_area::gbump)(static_cast<int>(step));
        (b.*&get_area::gbump)(static_cast<int>(n));
    }
};

// Bytes that a source gathered from a stream and could not put back (a pipe read through a
// file buffer cannot step back over the start of its block) wait in the stream's own word
// storage for the next source on that stream. The stream owns them: the callback frees them
// when the stream goes, and a copy of the stream's format does not share them.
inline int held_bytes_index() {
    static const int index = std::ios_base::xalloc();
    return index;
}
inline void held_bytes_event(std::ios_base::event e, std::ios_base& s, int index) {
    void*& slot = s.pword(index);
    if (e == std::ios_base::erase_event) {
        delete static_cast<std::string*>(slot);
        slot = nullptr;
    } else if (e == std::ios_base::copyfmt_event) {
        slot = nullptr;
    }
}
inline std::string* held_bytes(std::ios_base& s) {
    return static_cast<std::string*>(s.pword(held_bytes_index()));
}
inline void hold_bytes(std::ios_base& s, std::string_view bytes) {
    void*& slot = s.pword(held_bytes_index());
    if (slot == nullptr) {
        slot = new std::string;
        s.register_callback(held_bytes_event, held_bytes_index());
    }
    static_cast<std::string*>(slot)->insert(0, bytes);
}
} // namespace detail

class byte_source {
public:
    // The most bytes taken into the source's own buffer at a time.
    static constexpr std::size_t default_block = std::size_t{1} << 18;

    // Reads from `in`. Bytes are taken into the source's own buffer at most `block` at a time
    // (tests force small blocks to put boundaries everywhere).
    explicit byte_source(std::istream& in, std::size_t block = default_block)
        : in_(&in), sb_(in.rdbuf()), block_(std::max<std::size_t>(block, 1)) {
        if (sb_ == nullptr) throw use_error("the input stream has no buffer");
        if (std::string* held = detail::held_bytes(in); held != nullptr && !held->empty()) {
            own_.assign(held->begin(), held->end());
            held->clear();
            end_ = own_.size();
            gathering_ = true;
        }
    }
    // Reads the open file descriptor `fd`, which stays open; `name` is what a read_error
    // calls it. Each read asks for at most `block` bytes.
    byte_source(int fd, std::string name, std::size_t block = default_block)
        : block_(std::max<std::size_t>(block, 1)), fd_(fd), name_(std::move(name)),
          gathering_(true) {}
    // Bytes gathered from a stream but not consumed go back to it.
    ~byte_source() { give_back(); }
    byte_source(const byte_source&) = delete;
    byte_source& operator=(const byte_source&) = delete;

    // The bytes available from the current position on; empty when a block has run out
    // (call `extend`). Views into it are valid until the next `extend`.
    [[nodiscard]] std::string_view window() const noexcept {
        if (gathering_) return {own_.data() + pos_, end_ - pos_};
        const char* p = detail::get_area::next(*sb_);
        return {p, static_cast<std::size_t>(detail::get_area::end(*sb_) - p)};
    }
    // Consumes the first n bytes of the window; line feeds among them are counted.
    void consume(std::size_t n) noexcept {
        const std::string_view w = window();
        line_ += std::count(w.data(), w.data() + n, '\n');
        skip(n);
    }
    // Consumes n bytes of the window that the caller knows hold no line feed.
    void skip(std::size_t n) noexcept {
        if (gathering_) {
            pos_ += n;
            if (pos_ == end_) {
                gathering_ = sb_ == nullptr; // a descriptor's bytes are always gathered
                pos_ = end_ = 0;
            }
        } else {
            detail::get_area::advance(*sb_, n);
        }
    }
    // Makes at least one more byte available after the current window (up to `want` more,
    // within one block), keeping the window (which may move: earlier views become invalid).
    // False at the end of the input.
    bool extend(std::size_t want = std::size_t(-1)) {
        if (at_end_) return false;
        if (sb_ == nullptr) return read_block();
        if (!gathering_) {
            const std::string_view w = window();
            if (w.empty() && more_in_place()) return true;
            own_.assign(w.begin(), w.end());
            detail::get_area::advance(*sb_, w.size());
            pos_ = 0;
            end_ = own_.size();
            gathering_ = true;
        } else if (pos_ > 0) {
            std::memmove(own_.data(), own_.data() + pos_, end_ - pos_);
            end_ -= pos_;
            pos_ = 0;
        }
        if (next_char() == std::char_traits<char>::eof()) return reached_end();
        std::size_t n = std::min<std::size_t>(
            {want, block_,
             static_cast<std::size_t>(std::max<std::streamsize>(sb_->in_avail(), 1))});
        n = std::max<std::size_t>(n, 1);
        if (own_.size() < end_ + n) own_.resize(std::max(end_ + n, 2 * own_.size()));
        const char* from = detail::get_area::next(*sb_);
        if (from != detail::get_area::end(*sb_)) {
            n = std::min(n, static_cast<std::size_t>(detail::get_area::end(*sb_) - from));
            std::memcpy(own_.data() + end_, from, n);
            detail::get_area::advance(*sb_, n);
        } else { // an unbuffered stream (standard input synchronised with C): one byte
            own_[end_] = static_cast<char>(next_char());
            sb_->sbumpc();
            n = 1;
        }
        end_ += n;
        return true;
    }

    // The next byte (0 .. 255) without consuming it, or -1 at the end of the input.
    int peek() {
        std::string_view w = window();
        if (w.empty()) {
            if (!extend()) return -1;
            w = window();
        }
        return static_cast<unsigned char>(w[0]);
    }
    // Makes at least n bytes available in the window if the input holds them; returns the
    // window, shorter than n only at the end of the input.
    std::string_view ensure(std::size_t n) {
        for (std::size_t have = window().size(); have < n; have = window().size())
            if (!extend(n - have)) break;
        return window();
    }

    // How many bytes are left in the input, or -1 when the stream cannot tell (it cannot
    // seek). Lets readers check a header's promise before allocating for it.
    std::int64_t remaining() {
        const std::size_t gathered = gathering_ ? end_ - pos_ : 0;
        if (sb_ == nullptr) {
            struct stat st {};
            if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
            const off_t here = ::lseek(fd_, 0, SEEK_CUR);
            if (here < 0) return -1;
            return static_cast<std::int64_t>(st.st_size - here) +
                   static_cast<std::int64_t>(gathered);
        }
        const auto here = sb_->pubseekoff(0, std::ios_base::cur, std::ios_base::in);
        if (here == std::streampos(-1)) return -1;
        const auto end = sb_->pubseekoff(0, std::ios_base::end, std::ios_base::in);
        sb_->pubseekpos(here, std::ios_base::in);
        if (end == std::streampos(-1)) return -1;
        return static_cast<std::int64_t>(end - here) + static_cast<std::int64_t>(gathered);
    }

    // The length of the line end at offset `at` of the window: 1 for a line feed, 2 for a
    // carriage return and a line feed, 0 for anything else and at the end of the input.
    std::size_t line_end_at(std::size_t at) {
        std::string_view w = ensure(at + 1);
        if (w.size() <= at) return 0;
        if (w[at] == '\n') return 1;
        if (w[at] != '\r') return 0;
        w = ensure(at + 2);
        return w.size() > at + 1 && w[at + 1] == '\n' ? 2 : 0;
    }

    // The next line without its line end, consumed with it; false at the end of the input.
    // A carriage return at the very end of the input belongs to the line end as well (a table
    // saved with CR LF line ends and no final line feed). The view is valid until the next
    // call.
    bool next_line(std::string_view& line) {
        std::size_t scanned = 0;
        for (;;) {
            const std::string_view w = window();
            // An empty window may have no storage at all (a fresh stream buffer): no memchr.
            const void* feed = w.size() > scanned
                                   ? std::memchr(w.data() + scanned, '\n', w.size() - scanned)
                                   : nullptr;
            if (feed != nullptr) {
                const auto at = static_cast<std::size_t>(static_cast<const char*>(feed) - w.data());
                line = without_cr(w.substr(0, at));
                skip(at + 1);
                ++line_;
                return true;
            }
            scanned = w.size();
            if (!extend()) {
                // Reaching the end may have moved the bytes gathered so far.
                const std::string_view rest = window();
                if (rest.empty()) return false;
                line = without_cr(rest);
                skip(rest.size());
                ++line_;
                return true;
            }
        }
    }

    // How many lines have been consumed (line feeds, and a last line without one).
    [[nodiscard]] std::int64_t line() const noexcept { return line_; }
    // The stream read (not for a source that reads a file descriptor).
    [[nodiscard]] std::istream& stream() const noexcept { return *in_; }

private:
    static std::string_view without_cr(std::string_view line) {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return line;
    }
    // Reads the descriptor's next block behind the bytes not yet consumed, which move to the
    // front of the buffer; the buffer grows only for a line longer than it.
    bool read_block() {
        if (pos_ > 0) {
            std::memmove(own_.data(), own_.data() + pos_, end_ - pos_);
            end_ -= pos_;
            pos_ = 0;
        }
        if (own_.size() - end_ < block_) own_.resize(std::max(end_ + block_, 2 * own_.size()));
        for (;;) {
            const ssize_t got = ::read(fd_, own_.data() + end_, block_);
            if (got > 0) {
                end_ += static_cast<std::size_t>(got);
                return true;
            }
            if (got == 0) return reached_end();
            if (errno != EINTR) throw read_error(name_ + ": " + std::strerror(errno));
        }
    }
    // With nothing gathered and the stream's block used up: makes its next block current.
    bool more_in_place() {
        if (next_char() == std::char_traits<char>::eof()) {
            reached_end();
            return false;
        }
        return !window().empty();
    }
    // The stream's next byte, not consumed. A stream buffer that fails throws out of here
    // when the stream is set to throw on bad (as a stream's own reading would); otherwise the
    // stream is marked bad and the failure reads as the end of the input.
    int next_char() {
        try {
            return sb_->sgetc();
        } catch (...) {
            if ((in_->exceptions() & std::ios_base::badbit) != 0) throw;
            in_->setstate(std::ios_base::badbit);
            return std::char_traits<char>::eof();
        }
    }
    bool reached_end() {
        at_end_ = true;
        if (in_ != nullptr) in_->setstate(std::ios_base::eofbit);
        return false;
    }
    // Puts gathered bytes that were not consumed back in front of the stream's block; those
    // the stream cannot take back are held for the next source (see detail::hold_bytes).
    void give_back() noexcept {
        if (!gathering_ || sb_ == nullptr) return;
        gathering_ = false;
        std::size_t n = end_ - pos_;
        try {
            for (; n > 0; --n)
                if (sb_->sputbackc(own_[pos_ + n - 1]) == std::char_traits<char>::eof()) break;
            if (n > 0) detail::hold_bytes(*in_, std::string_view(own_.data() + pos_, n));
        } catch (...) { // a stream buffer that fails here has already lost its input
        }
    }

    std::istream* in_ = nullptr; // the stream read, or none for a descriptor
    std::streambuf* sb_ = nullptr;
    std::size_t block_;
    int fd_ = -1; // the descriptor read, without a stream
    std::string name_;
    std::vector<char> own_; // gathered bytes, [pos_, end_) not yet consumed
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool gathering_ = false;
    bool at_end_ = false;
    std::int64_t line_ = 0;
};

} // namespace generics
