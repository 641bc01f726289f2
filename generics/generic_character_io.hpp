#pragma once
// Element-level text input and output, written once and provided per kind of character
// (<phylo/chars_io.hpp>):
//  - the literal family reads and writes values as literals (a quoted character, an
//    upper-case name, a decimal number); what a literal looks like comes from a small
//    `Literal` policy of the kind;
//  - the real family reads real literals and writes values in the fore / aft / exp layout.
// A family is a codec, which reads and writes one element (`literal_codec`, `real_codec`),
// and `character_io` over it, which does the arrays, matrix rows, matrices and row vectors.
// Both read through a `text_cursor` (buffered, counts lines for messages, treats CR LF as a
// line end) and write through a `text_sink` (one large buffer, written out in blocks).

#include <generics/bounded_array.hpp>
#include <generics/byte_source.hpp>
#include <generics/current_io.hpp>
#include <generics/errors.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <istream>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <utility>

namespace generics {

// Case of names written by the literal family; quoted characters are never changed.
enum class type_set { LOWER_CASE, UPPER_CASE };

// ---------------------------------------------------------------------------------------------
// Reading

// A forward reading position in a stream, over the byte source: consumes from the stream
// exactly the characters it has used (the rest stays in the stream when the cursor ends). A
// line end is LF or CR LF. With line counting on, error messages start with
// "<name>: line <n>: ".
class text_cursor {
public:
    static constexpr int eof = -1;

    explicit text_cursor(std::istream& in, bool count_lines = false, std::string name = {})
        : source_(in), count_lines_(count_lines), name_(std::move(name)) {}
    text_cursor(const text_cursor&) = delete;
    text_cursor& operator=(const text_cursor&) = delete;

    // The next character (0 .. 255) without consuming it, or eof.
    int peek() { return source_.peek(); }
    // Consumes the character that `peek` has just returned (never eof).
    void bump() { source_.consume(1); }
    // True at a line end (LF, CR LF) or at the end of the input.
    bool at_line_end() {
        const int c = peek();
        if (c == eof || c == '\n') return true;
        return c == '\r' && source_.line_end_at(0) != 0;
    }
    // Consumes one line end, if the cursor stands at one.
    void skip_line_end() { source_.consume(source_.line_end_at(0)); }
    // The next character that is not part of a line end, consumed; eof at the end.
    int text_char() {
        for (;;) {
            if (!at_line_end()) {
                const int c = peek();
                bump();
                return c;
            }
            if (peek() == eof) return eof;
            skip_line_end();
        }
    }
    // Skips blanks, tabs and line ends; returns the next character (not consumed) or eof.
    int skip_blanks() {
        for (;;) {
            const int c = peek();
            if (c == ' ' || c == '\t' || c == '\n') {
                bump();
            } else if (c == '\r' && at_line_end()) {
                skip_line_end();
            } else {
                return c;
            }
        }
    }
    // Skips the rest of the current line and its line end.
    void skip_line() {
        while (!at_line_end()) bump();
        skip_line_end();
    }

    // How many characters are left in the input, or -1 when the stream cannot tell (it
    // cannot seek). Lets readers check a header's promise before allocating for it.
    index_type remaining() { return source_.remaining(); }

    // The buffered characters from the current position on (possibly empty); consume with
    // `advance`. Lets number readers parse in place.
    [[nodiscard]] std::string_view window() const noexcept { return source_.window(); }
    // Makes at least one more character part of `window()`, which may move; false at the end
    // of the input. Lets a reader see a literal whole wherever the blocks end.
    bool extend() { return source_.extend(); }
    // Consumes n characters of `window()` that hold no line feed.
    void advance(std::size_t n) noexcept { source_.skip(n); }

    // Where the next error happened: set by the loops that read arrays and rows.
    void set_row(std::string context) { context_ = std::move(context); }
    void set_item(const char* word, index_type index) noexcept {
        item_word_ = word;
        item_ = index;
    }
    void clear_item() noexcept { item_word_ = nullptr; }
    [[nodiscard]] index_type line() const noexcept { return source_.line() + 1; }

    // "<name>: line <n>: <row context><item>: " for the message of an error raised here.
    [[nodiscard]] std::string where() const {
        std::string w;
        if (!name_.empty()) w += name_ + ": ";
        if (count_lines_) w += "line " + std::to_string(line()) + ": ";
        w += context_;
        if (item_word_ != nullptr) {
            w += item_word_;
            w += ' ';
            w += std::to_string(item_);
            w += ": ";
        }
        return w;
    }
    template <class Error>
    [[noreturn]] void fail(const std::string& what) const {
        throw Error(where() + what);
    }
    // The end error for input that ended where `expected` should have come.
    [[noreturn]] void fail_end(const std::string& expected) const {
        fail<end_error>("the input ends where " + expected + " was expected");
    }
    // The data error "expected <expected>, found <c>".
    [[noreturn]] void fail_found(const std::string& expected, int c) const {
        fail<data_error>("expected " + expected + ", found " + describe(c));
    }

    // A character as a message shows it: "x" in quotes, or its code.
    static std::string describe(int c) {
        if (c == eof) return "the end of the input";
        if (c == '"') return "'\"'";
        if (c > 32 && c < 127) return std::string("\"") + static_cast<char>(c) + "\"";
        if (c == ' ') return "a blank";
        if (c == '\t') return "a tab";
        return "the character of code " + std::to_string(c);
    }

private:
    byte_source source_;
    bool count_lines_;
    std::string name_;
    std::string context_;
    const char* item_word_ = nullptr;
    index_type item_ = 0;
};

// A read-only stream over a string, for the `get` forms that read from a string.
class string_input {
public:
    explicit string_input(std::string_view text) : buffer_(text), in_(&buffer_) {}
    std::istream& stream() noexcept { return in_; }
    // How many characters have been consumed.
    [[nodiscard]] std::size_t consumed() const noexcept { return buffer_.consumed(); }

private:
    struct view_buffer : std::streambuf {
        explicit view_buffer(std::string_view text) {
            // Read only: the get area never writes through these pointers.
            char* b = const_cast<char*>(text.data());
            setg(b, b, b + text.size());
        }
        [[nodiscard]] std::size_t consumed() const noexcept {
            return static_cast<std::size_t>(gptr() - eback());
        }
    };
    view_buffer buffer_;
    std::istream in_;
};

// The value read from a string and the position (from 0) of the last character it used.
template <class Element>
struct get_result {
    Element value;
    std::size_t last;
};

namespace detail {

// Scans a real literal: [sign] (digits [. digits] | . digits) [(e|E) [sign] digits].
// `Source` gives peek() (-1 at its end) and take(). Result: characters of the literal and
// whether it was well formed.
template <class Source>
bool scan_real_literal(Source& s) {
    auto digit = [](int c) { return c >= '0' && c <= '9'; };
    int c = s.peek();
    if (c == '+' || c == '-') {
        s.take();
        c = s.peek();
    }
    bool digits = false;
    while (digit(c)) {
        s.take();
        c = s.peek();
        digits = true;
    }
    if (c == '.') {
        s.take();
        c = s.peek();
        while (digit(c)) {
            s.take();
            c = s.peek();
            digits = true;
        }
    }
    if (!digits) return false;
    if (c == 'e' || c == 'E') {
        s.take();
        c = s.peek();
        if (c == '+' || c == '-') {
            s.take();
            c = s.peek();
        }
        if (!digit(c)) return false;
        while (digit(c)) {
            s.take();
            c = s.peek();
        }
    }
    return true;
}

// A source over characters in memory; `hit_end` tells that the literal may go on beyond.
struct span_source {
    const char* p;
    const char* e;
    std::size_t n = 0;
    bool hit_end = false;
    int peek() {
        if (p + n == e) {
            hit_end = true;
            return -1;
        }
        return static_cast<unsigned char>(p[n]);
    }
    void take() { ++n; }
};

// True when a decimal literal that the converter reports out of range is below the smallest
// double (rather than above the largest).
inline bool is_underflow(std::string_view lit) {
    long long exp = 0;
    const auto e = lit.find_first_of("eE");
    if (e != std::string_view::npos) {
        std::string_view x = lit.substr(e + 1);
        const bool neg = !x.empty() && x[0] == '-';
        if (!x.empty() && (x[0] == '-' || x[0] == '+')) x.remove_prefix(1);
        for (char ch : x) exp = std::min<long long>(exp * 10 + (ch - '0'), 1000000000LL);
        if (neg) exp = -exp;
        lit = lit.substr(0, e);
    }
    // Decimal magnitude of the mantissa: the position of its first non-zero digit.
    long long pos = 0;
    bool before_point = true;
    long long int_digits = 0;
    for (char ch : lit) {
        if (ch == '.') {
            before_point = false;
        } else if (ch >= '0' && ch <= '9') {
            if (before_point) {
                if (ch != '0' || int_digits > 0) ++int_digits;
            } else if (int_digits == 0) {
                --pos;
                if (ch != '0') break;
            }
        }
    }
    const long long magnitude = int_digits > 0 ? int_digits : pos;
    return magnitude + exp < 0;
}

// Converts a well-formed literal; a value that is not a finite double is the data error.
template <class Real>
Real convert_real(text_cursor& c, std::string_view lit) {
    std::string_view digits = lit;
    if (!digits.empty() && digits[0] == '+') digits.remove_prefix(1);
    Real v{};
    const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), v);
    if (r.ec == std::errc::result_out_of_range && is_underflow(digits)) {
        return digits[0] == '-' ? -Real(0) : Real(0);
    }
    if (r.ec != std::errc{} || r.ptr != digits.data() + digits.size() || !std::isfinite(v))
        c.fail<data_error>("the real literal \"" + std::string(lit) + "\" is not a finite number");
    return v;
}

// The common literal [sign] digits [. digits] with at most 15 digits and no exponent,
// converted in the same pass that scans it: the digits make an integer below 2^53 and the
// power of ten is exact, so one division gives the correctly rounded value. Returns the
// literal's length, or 0 when the literal is of another form (or may go on past `w`).
inline std::size_t fast_decimal(std::string_view w, double& value) {
    static constexpr double powers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const char* p = w.data();
    const char* const e = p + w.size();
    bool negative = false;
    if (p != e && (*p == '-' || *p == '+')) negative = *p++ == '-';
    std::uint64_t m = 0;
    int digits = 0;
    while (p != e && static_cast<unsigned>(*p - '0') < 10) {
        m = m * 10 + static_cast<unsigned>(*p++ - '0');
        ++digits;
    }
    int fraction = 0;
    if (p != e && *p == '.') {
        ++p;
        while (p != e && static_cast<unsigned>(*p - '0') < 10) {
            m = m * 10 + static_cast<unsigned>(*p++ - '0');
            ++fraction;
        }
        digits += fraction;
    }
    if (p == e || *p == 'e' || *p == 'E' || digits == 0 || digits > 15) return 0;
    const double v = static_cast<double>(m) / powers[fraction];
    value = negative ? -v : v;
    return static_cast<std::size_t>(p - w.data());
}

} // namespace detail

// Reads a free-format real literal after blanks, tabs and line ends. A literal that reaches
// the end of the buffered window may go on past it: the window is extended until the literal
// ends or the input does, so a literal of any length reads the same wherever blocks end.
template <class Real>
Real read_real(text_cursor& c) {
    const int first = c.skip_blanks();
    if (first == text_cursor::eof) c.fail_end("a real literal");
    for (bool more = true;;) {
        const std::string_view w = c.window();
        if constexpr (std::is_same_v<Real, double>) {
            double v;
            if (const std::size_t n = detail::fast_decimal(w, v)) {
                c.advance(n);
                return v;
            }
        }
        detail::span_source s{w.data(), w.data() + w.size()};
        const bool ok = detail::scan_real_literal(s);
        if (s.hit_end && more) {
            more = c.extend();
            continue;
        }
        c.advance(s.n);
        if (!ok) {
            // NaN, NA and Inf (as R, pandas and C print them) are named: they are values no
            // real literal spells, not stray characters.
            std::size_t e = s.n;
            while (e < w.size() && std::isalpha(static_cast<unsigned char>(w[e]))) ++e;
            std::string word(w.substr(s.n, e - s.n));
            for (char& ch : word)
                ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            if (word == "nan" || word == "na" || word == "inf" || word == "infinity")
                c.fail<data_error>("expected a real literal, found " +
                                   text_cursor::describe(static_cast<unsigned char>(w[s.n])) +
                                   " (\"" + std::string(w.substr(s.n, e - s.n)) + "\": " +
                                   (word.starts_with("inf") ? "an infinite value"
                                                            : "a missing value, not a number") +
                                   ")");
            c.fail_found("a real literal",
                         s.n < w.size() ? static_cast<unsigned char>(w[s.n]) : -1);
        }
        return detail::convert_real<Real>(c, w.substr(0, s.n));
    }
}

// Reads `count` free-format reals into out[0 .. count - 1]; item numbers in messages start
// at `first`. Values separated only by blanks and tabs are parsed straight from the buffered
// block; anything else (line ends, block ends, unusual literals, a value that runs on into
// something else, errors) goes one value at a time through `read_real`, and then to
// `after(c, value)`, which may refuse what follows it.
struct accept_any_end {
    template <class Real>
    void operator()(text_cursor&, Real) const noexcept {}
};
template <class Real, class After = accept_any_end>
void read_reals(text_cursor& c, Real* out, index_type count, const char* item_word,
                index_type first, After&& after = {}) {
    index_type k = 0;
    while (k < count) {
        if constexpr (std::is_same_v<Real, double>) {
            const std::string_view w = c.window();
            const char* p = w.data();
            const char* const e = p + w.size();
            while (k < count) {
                while (p != e && (*p == ' ' || *p == '\t')) ++p;
                double v;
                const std::size_t n =
                    detail::fast_decimal(std::string_view(p, static_cast<std::size_t>(e - p)), v);
                // Only a value that ends at a separator here is taken whole.
                if (n == 0 || static_cast<std::size_t>(e - p) == n ||
                    (p[n] != ' ' && p[n] != '\t' && p[n] != '\n' && p[n] != '\r'))
                    break;
                out[k++] = v;
                p += n;
            }
            c.advance(static_cast<std::size_t>(p - w.data()));
            if (k == count) break;
        }
        c.set_item(item_word, first + k);
        out[k] = read_real<Real>(c);
        after(c, out[k]);
        ++k;
    }
    c.clear_item();
}

// Reads a real literal from a field of `width` characters (fewer if the line ends first),
// blanks around the literal allowed. The field starts where the cursor stands and never
// passes a line end: at a line end it is empty, the data error.
template <class Real>
Real read_real(text_cursor& c, std::size_t width) {
    if (width == 0) return read_real<Real>(c);
    std::string field;
    while (field.size() < width && !c.at_line_end()) {
        field.push_back(static_cast<char>(c.peek()));
        c.bump();
    }
    if (field.empty()) {
        if (c.peek() == text_cursor::eof) c.fail_end("a real literal");
        c.fail<data_error>("expected a real field of " + std::to_string(width) +
                           " characters, found a line end");
    }
    const auto b = field.find_first_not_of(" \t");
    const auto e = field.find_last_not_of(" \t");
    const std::string_view lit =
        b == std::string::npos ? std::string_view{} : std::string_view(field).substr(b, e - b + 1);
    detail::span_source s{lit.data(), lit.data() + lit.size()};
    if (lit.empty() || !detail::scan_real_literal(s) || s.n != lit.size())
        c.fail<data_error>("expected a real literal in the field \"" + field + "\"");
    return detail::convert_real<Real>(c, lit);
}

// ---------------------------------------------------------------------------------------------
// Writing

// Collects output in one large block and writes it out in a few calls. What has been
// collected is written out when the sink ends, also when an error ends the writing early.
class text_sink {
public:
    static constexpr std::size_t block = std::size_t{1} << 16;

    explicit text_sink(std::ostream& out) : out_(out) {}
    ~text_sink() {
        try {
            flush();
        } catch (...) { // an error already on its way out is the one to report
        }
    }
    text_sink(const text_sink&) = delete;
    text_sink& operator=(const text_sink&) = delete;

    void put(char c) { buf_.push_back(c); }
    void put(std::string_view s) { buf_.append(s); }
    void put(std::size_t count, char c) { buf_.append(count, c); }
    void line_end() {
        buf_.push_back('\n');
        if (buf_.size() >= block) flush();
    }
    void flush() {
        if (!buf_.empty()) out_.write(buf_.data(), static_cast<std::streamsize>(buf_.size()));
        buf_.clear();
    }
    std::string& buffer() noexcept { return buf_; }

private:
    std::ostream& out_;
    std::string buf_;
};

// The image of an index: one blank for the sign position, then the digits (" 7", "-3").
inline void put_index(text_sink& s, index_type i) {
    char b[24];
    b[0] = i < 0 ? '-' : ' ';
    const auto r = std::to_chars(b + 1, b + sizeof b, i < 0 ? -i : i);
    s.put(std::string_view(b, static_cast<std::size_t>(r.ptr - b)));
}

namespace detail {
// The fixed-point image of |v| with `aft` (1 .. 15) digits after the point, for |v| * 10^aft
// below 2^52: the product is split exactly into p + err (fused multiply-add), so rounding to
// the nearest integer (ties to even) gives the same digits as the exact decimal expansion.
// Writes the digits (without sign) to `out` and returns their count, or 0 when out of range.
inline std::size_t fast_fixed(double v, std::size_t aft, char* out) {
    static constexpr double scale[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    if (aft > 15) return 0;
    const double a = std::fabs(v);
    const double p = a * scale[aft];
    if (!(p < 4503599627370496.0)) return 0; // 2^52; also rejects NaN
    const double err = std::fma(a, scale[aft], -p);
    const double fl = static_cast<double>(static_cast<std::uint64_t>(p)); // floor: p >= 0
    const double d = ((p - fl) - 0.5) + err;
    auto r = static_cast<std::uint64_t>(fl);
    if (d > 0 || (d == 0 && (r & 1) != 0)) ++r;
    // The digits of r with the point put in front of the last `aft` of them.
    char digits[24];
    char* const dg = digits;
    const auto len = static_cast<std::size_t>(std::to_chars(dg, dg + sizeof digits, r).ptr - dg);
    char* q = out;
    if (len > aft) {
        q = std::copy(dg, dg + (len - aft), q);
        *q++ = '.';
        q = std::copy(dg + (len - aft), dg + len, q);
    } else {
        *q++ = '0';
        *q++ = '.';
        q = std::fill_n(q, aft - len, '0');
        q = std::copy(dg, dg + len, q);
    }
    return static_cast<std::size_t>(q - out);
}
} // namespace detail

// Appends a real in the layout: at least `fore` characters before the point (blank padded,
// minus sign counted), `aft` digits after it (at least one), and with exp > 0 the scientific
// form with "E", the sign and at least exp - 1 exponent digits.
template <class Real>
void put_real(std::string& out, Real v, std::size_t fore, std::size_t aft, std::size_t exp) {
    aft = std::max<std::size_t>(aft, 1);
    if constexpr (std::is_same_v<Real, double>) {
        // Room for up to 16 blanks of padding in front of the sign and the digits.
        char f[64];
        if (exp == 0) {
            if (const std::size_t n = detail::fast_fixed(v, aft, f + 17)) {
                const bool minus = std::signbit(v);
                char* start = f + 17;
                if (minus) *--start = '-';
                const std::size_t before = n - aft - 1 + (minus ? 1 : 0);
                std::size_t pad = before < fore ? fore - before : 0;
                if (pad > 16) {
                    out.append(pad - 16, ' ');
                    pad = 16;
                }
                start -= pad;
                std::fill_n(start, pad, ' ');
                out.append(start, static_cast<std::size_t>(f + 17 + n - start));
                return;
            }
        }
    }
    // A double has at most 1074 digits after the point (2^-1074); beyond them every digit of
    // the exact expansion is 0, so the converter is asked for no more and the rest is padded.
    // The buffer holds the longest image: sign, 309 digits, point, 1074 digits, exponent.
    constexpr std::size_t exact_digits = 1074;
    char b[1400];
    const auto fmt = exp > 0 ? std::chars_format::scientific : std::chars_format::fixed;
    const auto r =
        std::to_chars(b, b + sizeof b, v, fmt, static_cast<int>(std::min(aft, exact_digits)));
    std::string_view img(b, static_cast<std::size_t>(r.ptr - b));
    std::string_view mant = img;
    std::string_view expo;
    if (exp > 0) {
        const auto e = img.find('e');
        if (e != std::string_view::npos) {
            mant = img.substr(0, e);
            expo = img.substr(e + 1);
        }
    }
    const auto point = mant.find('.');
    const std::size_t before = point == std::string_view::npos ? mant.size() : point;
    if (before < fore) out.append(fore - before, ' ');
    out.append(mant);
    if (aft > exact_digits && point != std::string_view::npos) out.append(aft - exact_digits, '0');
    if (!expo.empty()) {
        out.push_back('E');
        out.push_back(expo[0]);
        std::string_view d = expo.substr(1);
        while (d.size() > 1 && d[0] == '0') d.remove_prefix(1);
        const std::size_t want = exp > 1 ? exp - 1 : 1;
        if (d.size() < want) out.append(want - d.size(), '0');
        out.append(d);
    }
}

// How a family lays out one array (see `print_layout`).
enum class layout_style {
    literal, // numbered line-feed layout: index, tab, value on one line
    real,    // numbered line-feed layout: index and value on two lines
    plain    // characters without separators; the separator written once
};

// Writes the values first .. last in the layout of `style`: with the line-feed separator one
// value per line (numbered: with its index), otherwise one line of separator-led values,
// after a header line of separator-led index images when numbered. `value(s, i)` writes the
// image of element i.
template <class Value>
void print_layout(text_sink& s, index_type first, index_type last, bool numbered, char sep,
                  layout_style style, Value&& value) {
    if (sep == '\n') {
        for (index_type i = first; i <= last; ++i) {
            if (numbered) {
                put_index(s, i);
                if (style == layout_style::real)
                    s.line_end();
                else
                    s.put('\t');
            }
            value(s, i);
            s.line_end();
        }
        return;
    }
    if (numbered) {
        for (index_type i = first; i <= last; ++i) {
            s.put(sep);
            put_index(s, i);
        }
        s.line_end();
    }
    if (style == layout_style::plain) s.put(sep);
    for (index_type i = first; i <= last; ++i) {
        if (style != layout_style::plain) s.put(sep);
        value(s, i);
        if (s.buffer().size() >= text_sink::block) s.flush();
    }
    s.line_end();
}

// Fills `to` with `image`, justified to the right or left and padded with blanks; the length
// error when it does not fit.
inline void put_justified(std::string& to, std::string_view image, bool right) {
    if (image.size() > to.size())
        throw length_error("the image \"" + std::string(image) + "\" does not fit in " +
                           std::to_string(to.size()) + " characters");
    const std::size_t pad = to.size() - image.size();
    if (right) {
        std::fill_n(to.begin(), pad, ' ');
        std::copy(image.begin(), image.end(), to.begin() + static_cast<std::ptrdiff_t>(pad));
    } else {
        std::copy(image.begin(), image.end(), to.begin());
        std::fill_n(to.begin() + static_cast<std::ptrdiff_t>(image.size()), pad, ' ');
    }
}

// ---------------------------------------------------------------------------------------------
// The families: a codec for one element, and the operations on arrays, matrices and row
// vectors written once over it

namespace detail {

// Reads out[0 .. count - 1] in order with `read_one`, telling the cursor each element's
// number (counted from `first`) for messages. On an error the element at fault keeps its
// value and those before it their new ones.
template <class Element, class ReadOne>
void read_each(text_cursor& c, Element* out, index_type count, const char* item_word,
               index_type first, ReadOne&& read_one) {
    for (index_type k = 0; k < count; ++k) {
        c.set_item(item_word, first + k);
        out[k] = read_one(c);
    }
    c.clear_item();
}

// The value that `read_one` reads from the front of `from`, and the position (from 0) of the
// last character it used.
template <class ReadOne>
auto read_front(std::string_view from, ReadOne&& read_one) {
    string_input in(from);
    decltype(read_one(std::declval<text_cursor&>())) value;
    {
        text_cursor c(in.stream());
        value = read_one(c);
    }
    return get_result<decltype(value)>{value, in.consumed() - 1};
}

inline std::string row_context(index_type row) { return "row " + std::to_string(row) + ", "; }

} // namespace detail

// What a family's reading or writing takes when it needs nothing beyond the values.
struct no_options {};

// The literal family's codec. `Literal` gives, for one element type:
//   static Element read(text_cursor&);                     one literal, blanks skipped first
//   static std::size_t image(Element, type_set, char* out); its image (at most 16 characters)
//   static constexpr bool right_justified;                 placement in a string field
template <class Element, class Literal>
struct literal_codec {
    using element = Element;
    using read_options = no_options;
    using write_options = no_options;
    static constexpr layout_style style = layout_style::literal;

    struct element_io {
        static constexpr std::size_t default_width = 0;
        static constexpr type_set default_setting = type_set::UPPER_CASE;

        static Element get(std::istream& file) {
            text_cursor c(file);
            return Literal::read(c);
        }
        static Element get() { return get(current_input()); }
        // Reads from the front of `from`; `last` is the position of the last character used.
        static get_result<Element> get(std::string_view from) {
            return detail::read_front(from, [](text_cursor& c) { return Literal::read(c); });
        }
        // The image, then trailing blanks up to `width` characters.
        static void put(std::ostream& file, Element x, std::size_t width = default_width,
                        type_set setting = default_setting) {
            char b[16];
            const std::size_t n = Literal::image(x, setting, b);
            file.write(b, static_cast<std::streamsize>(n));
            for (std::size_t k = n; k < width; ++k) file.put(' ');
        }
        static void put(Element x, std::size_t width = default_width,
                        type_set setting = default_setting) {
            put(current_output(), x, width, setting);
        }
        // Fills the whole of `to` with the image (names to the left, numbers to the right).
        static void put(std::string& to, Element x, type_set setting = default_setting) {
            char b[16];
            const std::size_t n = Literal::image(x, setting, b);
            put_justified(to, std::string_view(b, n), Literal::right_justified);
        }
    };

    static void read(text_cursor& c, Element* out, index_type count, no_options,
                     const char* item_word, index_type first) {
        detail::read_each(c, out, count, item_word, first,
                          [](text_cursor& cc) { return Literal::read(cc); });
    }
    static void write(text_sink& s, Element x, no_options) {
        char b[16];
        s.put(std::string_view(b, Literal::image(x, type_set::UPPER_CASE, b)));
    }
};

// How the real family writes a value: at least `fore` characters before the point, `aft`
// digits after it, and with exp > 0 the scientific form (see `put_real`).
struct real_layout {
    static constexpr std::size_t default_fore = 2;
    static constexpr std::size_t default_aft = 14;
    static constexpr std::size_t default_exp = 3;

    explicit real_layout(std::size_t fore_digits = default_fore,
                         std::size_t aft_digits = default_aft,
                         std::size_t exp_digits = default_exp) noexcept
        : fore(fore_digits), aft(aft_digits), exp(exp_digits) {}

    std::size_t fore, aft, exp;
};

// The real family's codec. Reading takes a field width: 0 reads free-format literals, a
// positive width fields of exactly that many characters.
template <class Real>
struct real_codec {
    using element = Real;
    using read_options = std::size_t;
    using write_options = real_layout;
    static constexpr layout_style style = layout_style::real;

    struct element_io {
        static constexpr std::size_t default_fore = real_layout::default_fore;
        static constexpr std::size_t default_aft = real_layout::default_aft;
        static constexpr std::size_t default_exp = real_layout::default_exp;

        // Width 0: a free-format literal after blanks and line ends; otherwise a field of
        // exactly `width` characters (fewer when the line ends first), starting where the
        // last read stopped: no line end is passed, so at one the field is the data error.
        static Real get(std::istream& file, std::size_t width = 0) {
            text_cursor c(file);
            return read_real<Real>(c, width);
        }
        static Real get(std::size_t width = 0) { return get(current_input(), width); }
        // Reads from the front of `from`; `last` is the position of the last character used.
        static get_result<Real> get(std::string_view from) {
            return detail::read_front(from, [](text_cursor& c) { return read_real<Real>(c); });
        }
        static void put(std::ostream& file, Real x, std::size_t fore = default_fore,
                        std::size_t aft = default_aft, std::size_t exp = default_exp) {
            std::string b;
            put_real(b, x, fore, aft, exp);
            file.write(b.data(), static_cast<std::streamsize>(b.size()));
        }
        static void put(Real x, std::size_t fore = default_fore, std::size_t aft = default_aft,
                        std::size_t exp = default_exp) {
            put(current_output(), x, fore, aft, exp);
        }
        // Fills the whole of `to`, the value to the right; the length error when it does not fit.
        static void put(std::string& to, Real x, std::size_t aft = default_aft,
                        std::size_t exp = default_exp) {
            std::string b;
            put_real(b, x, 0, aft, exp);
            put_justified(to, b, true);
        }
    };

    static void read(text_cursor& c, Real* out, index_type count, std::size_t width,
                     const char* item_word, index_type first) {
        if (width == 0) {
            read_reals(c, out, count, item_word, first);
        } else {
            detail::read_each(c, out, count, item_word, first,
                              [width](text_cursor& cc) { return read_real<Real>(cc, width); });
        }
    }
    static void write(text_sink& s, Real x, const real_layout& layout) {
        put_real(s.buffer(), x, layout.fore, layout.aft, layout.exp);
    }
};

// The operations of a family on arrays, matrices and row vectors, over its codec. `Codec`
// gives:
//   using element;                         the element type
//   struct element_io;                     reading and writing one element (get, put)
//   using read_options, write_options;     what reading and writing take beyond the values,
//                                          `no_options` when nothing
//   static constexpr layout_style style;   how arrays are laid out
//   static void read(text_cursor&, element* out, index_type count, read_options,
//                    const char* item_word, index_type first);    out[0 .. count - 1] in order
//   static void write(text_sink&, element, const write_options&); one element's image
//
// The functions take, after their other arguments, the arguments of the options'
// constructor: none for the literal family; when reading reals [width] (0 unless given),
// when writing them [fore [, aft [, exp]]] (2, 14 and 3 unless given).
template <class Codec>
struct character_io {
    using element = typename Codec::element;
    using array = bounded_array<element>;
    using matrix = bounded_matrix<element>;
    using vector = bounded_array<std::unique_ptr<array>>;
    using element_io = typename Codec::element_io;
    using read_options = typename Codec::read_options;
    using write_options = typename Codec::write_options;

    // Whether reading takes options (the literal family's does not).
    static constexpr bool reads_with_options = !std::same_as<read_options, no_options>;

    // Reading through a cursor (the matrix reader uses these to keep its line numbers); the
    // read options come before the item word of messages.
    static void read(text_cursor& c, array& a,
                     const char* item_word = "element") requires(!reads_with_options) {
        read_array(c, a, {}, item_word);
    }
    static void read(text_cursor& c, array& a, read_options options = {},
                     const char* item_word = "element") requires reads_with_options {
        read_array(c, a, options, item_word);
    }
    static void read_row(text_cursor& c, index_type row, matrix& m,
                         const char* item_word = "column") requires(!reads_with_options) {
        read_matrix_row(c, row, m, {}, item_word);
    }
    static void read_row(text_cursor& c, index_type row, matrix& m, read_options options = {},
                         const char* item_word = "column") requires reads_with_options {
        read_matrix_row(c, row, m, options, item_word);
    }

    // Writing through a sink (the matrix printer keeps its own).
    template <class... Layout>
    requires std::constructible_from<write_options, Layout...>
    static void write(text_sink& s, const array& a, bool numbered, char sep, Layout... layout) {
        write_array(s, a, numbered, sep, write_options(layout...));
    }
    template <class... Layout>
    requires std::constructible_from<write_options, Layout...>
    static void write_row(text_sink& s, index_type row, const matrix& m, bool numbered, char sep,
                          Layout... layout) {
        write_matrix_row(s, row, m, numbered, sep, write_options(layout...));
    }

    struct get_fn {
        template <class... Options>
        requires std::constructible_from<read_options, Options...>
        void operator()(std::istream& file, array& a, Options... options) const {
            text_cursor c(file);
            read_array(c, a, read_options(options...), "element");
        }
        template <class... Options>
        requires std::constructible_from<read_options, Options...>
        void operator()(array& a, Options... options) const {
            (*this)(current_input(), a, options...);
        }
        template <class... Options>
        requires std::constructible_from<read_options, Options...>
        void operator()(std::istream& file, matrix& m, Options... options) const {
            get_matrix(file, m, read_options(options...));
        }
        template <class... Options>
        requires std::constructible_from<read_options, Options...>
        void operator()(matrix& m, Options... options) const {
            (*this)(current_input(), m, options...);
        }
        // Every row in order; a null row is the range error.
        template <class... Options>
        requires std::constructible_from<read_options, Options...>
        void operator()(std::istream& file, vector& v, Options... options) const {
            get_vector(file, v, read_options(options...));
        }
        template <class... Options>
        requires std::constructible_from<read_options, Options...>
        void operator()(vector& v, Options... options) const {
            (*this)(current_input(), v, options...);
        }
    };

    struct get_row_fn {
        template <class... Options>
        requires std::constructible_from<read_options, Options...>
        void operator()(std::istream& file, index_type row, matrix& m, Options... options) const {
            text_cursor c(file);
            read_matrix_row(c, row, m, read_options(options...), "column");
        }
        template <class... Options>
        requires std::constructible_from<read_options, Options...>
        void operator()(index_type row, matrix& m, Options... options) const {
            (*this)(current_input(), row, m, options...);
        }
    };

    struct print_fn {
        template <class... Layout>
        requires std::constructible_from<write_options, Layout...>
        void operator()(std::ostream& file, const array& a, bool numbered, char sep,
                        Layout... layout) const {
            text_sink s(file);
            write_array(s, a, numbered, sep, write_options(layout...));
            s.flush();
        }
        template <class... Layout>
        requires std::constructible_from<write_options, Layout...>
        void operator()(const array& a, bool numbered, char sep, Layout... layout) const {
            (*this)(current_output(), a, numbered, sep, layout...);
        }
        // Every row in order; numbered rows each have their own header line.
        template <class... Layout>
        requires std::constructible_from<write_options, Layout...>
        void operator()(std::ostream& file, const matrix& m, bool numbered, char sep,
                        Layout... layout) const {
            const write_options options(layout...);
            text_sink s(file);
            for (index_type i = m.row_first(); i <= m.row_last(); ++i)
                write_matrix_row(s, i, m, numbered, sep, options);
            s.flush();
        }
        template <class... Layout>
        requires std::constructible_from<write_options, Layout...>
        void operator()(const matrix& m, bool numbered, char sep, Layout... layout) const {
            (*this)(current_output(), m, numbered, sep, layout...);
        }
    };

    struct print_row_fn {
        template <class... Layout>
        requires std::constructible_from<write_options, Layout...>
        void operator()(std::ostream& file, index_type row, const matrix& m, bool numbered,
                        char sep, Layout... layout) const {
            text_sink s(file);
            write_matrix_row(s, row, m, numbered, sep, write_options(layout...));
            s.flush();
        }
        template <class... Layout>
        requires std::constructible_from<write_options, Layout...>
        void operator()(index_type row, const matrix& m, bool numbered, char sep,
                        Layout... layout) const {
            (*this)(current_output(), row, m, numbered, sep, layout...);
        }
    };

private:
    static void read_array(text_cursor& c, array& a, read_options options, const char* item_word) {
        Codec::read(c, a.data(), a.length(), options, item_word, a.first());
    }
    static void read_matrix_row(text_cursor& c, index_type row, matrix& m, read_options options,
                                const char* item_word) {
        Codec::read(c, m.row(row).data(), m.cols(), options, item_word, m.col_first());
    }
    static void get_matrix(std::istream& file, matrix& m, read_options options) {
        text_cursor c(file);
        for (index_type i = m.row_first(); i <= m.row_last(); ++i) {
            c.set_row(detail::row_context(i));
            read_matrix_row(c, i, m, options, "column");
        }
    }
    static void get_vector(std::istream& file, vector& v, read_options options) {
        text_cursor c(file);
        for (index_type i = v.first(); i <= v.last(); ++i) {
            if (!v.unchecked(i)) throw range_error("row " + std::to_string(i) + " is null");
            c.set_row(detail::row_context(i));
            read_array(c, *v.unchecked(i), options, "element");
        }
    }

    static void write_array(text_sink& s, const array& a, bool numbered, char sep,
                            const write_options& layout) {
        print_layout(
            s, a.first(), a.last(), numbered, sep, Codec::style,
            [&](text_sink& ss, index_type i) { Codec::write(ss, a.unchecked(i), layout); });
    }
    static void write_matrix_row(text_sink& s, index_type row, const matrix& m, bool numbered,
                                 char sep, const write_options& layout) {
        m.check_row(row);
        print_layout(
            s, m.col_first(), m.col_last(), numbered, sep, Codec::style,
            [&](text_sink& ss, index_type j) { Codec::write(ss, m.unchecked(row, j), layout); });
    }
};

// The literal family over `Literal` (see `literal_codec`) and the real family.
template <class Element, class Literal>
using literal_io = character_io<literal_codec<Element, Literal>>;
template <class Real>
using real_io = character_io<real_codec<Real>>;

} // namespace generics
