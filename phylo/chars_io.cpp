#include <phylo/chars_io.hpp>

#include <generics/natural_number.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <string>
#include <string_view>

namespace phylo::detail {

namespace {

using generics::text_cursor;

// Names of the control characters 0 .. 31, 127 and 128 .. 159 (ISO 6429).
constexpr std::array<std::string_view, 32> c0_names = {
    "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",
    "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
    "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};
constexpr std::string_view del_name = "DEL";
constexpr std::array<std::string_view, 32> c1_names = {
    "PAD", "HOP", "BPH", "NBH", "IND", "NEL", "SSA", "ESA", "HTS", "HTJ", "VTS",
    "PLD", "PLU", "RI",  "SS2", "SS3", "DCS", "PU1", "PU2", "STS", "CCH", "MW",
    "SPA", "EPA", "SOS", "SGC", "SCI", "CSI", "ST",  "OSC", "PM",  "APC"};

constexpr std::array<std::string_view, 3> binary_names = {"PRESENCE", "ABSENCE", "UNKNOWN"};

bool is_letter(int c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool is_digit(int c) { return c >= '0' && c <= '9'; }
char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Reads an identifier (letters, digits, underscores, starting with a letter) in upper case.
// Longer ones than any name are cut for the message; they match nothing anyway.
std::string read_identifier(text_cursor& c) {
    std::string id;
    for (int ch = c.peek(); is_letter(ch) || is_digit(ch) || ch == '_'; ch = c.peek()) {
        if (id.size() < 40) id.push_back(upper(static_cast<char>(ch)));
        c.bump();
    }
    return id;
}

// A letter, then letters and digits, underscores only single and between them.
bool well_formed_identifier(std::string_view id) {
    if (id.empty() || !is_letter(static_cast<unsigned char>(id[0])) || id.back() == '_')
        return false;
    return id.find("__") == std::string_view::npos;
}

std::size_t copy_name(std::string_view name, type_set setting, char* out) {
    for (std::size_t i = 0; i < name.size(); ++i)
        out[i] = setting == type_set::UPPER_CASE ? name[i] : lower(name[i]);
    return name.size();
}

bool is_control(unsigned char c) { return c < 32 || (c >= 127 && c < 160); }

std::string_view control_name(unsigned char c) {
    if (c < 32) return c0_names[c];
    if (c == 127) return del_name;
    return c1_names[c - 128u];
}

} // namespace

disc_element disc_literal::read(text_cursor& c) {
    static constexpr const char* what = "a character literal";
    const int first = c.skip_blanks();
    if (first == text_cursor::eof) c.fail_end(what);
    if (first == '\'') {
        c.bump();
        const int ch = c.peek();
        if (ch == text_cursor::eof) c.fail_end("the rest of a character literal");
        if (ch < 32 || ch == 127) c.fail_found("a printable character after the apostrophe", ch);
        c.bump();
        const int close = c.peek();
        if (close == text_cursor::eof) c.fail_end("the closing apostrophe of a character literal");
        if (close != '\'') c.fail_found("the closing apostrophe of a character literal", close);
        c.bump();
        return static_cast<disc_element>(ch);
    }
    if (!is_letter(first)) c.fail_found(what, first);
    const std::string id = read_identifier(c);
    for (unsigned code = 0; code < 256; ++code) {
        if (is_control(static_cast<unsigned char>(code)) &&
            control_name(static_cast<unsigned char>(code)) == id)
            return static_cast<disc_element>(code);
    }
    c.fail<data_error>("expected " + std::string(what) + ", found \"" + id + "\"");
}

std::size_t disc_literal::image(disc_element x, type_set setting, char* out) {
    const auto u = static_cast<unsigned char>(x);
    if (is_control(u)) return copy_name(control_name(u), setting, out);
    out[0] = '\'';
    out[1] = x;
    out[2] = '\'';
    return 3;
}

binary binary_literal::read(text_cursor& c) {
    static constexpr const char* what = "PRESENCE, ABSENCE or UNKNOWN";
    const int first = c.skip_blanks();
    if (first == text_cursor::eof) c.fail_end(what);
    if (!is_letter(first)) c.fail_found(what, first);
    const std::string id = read_identifier(c);
    if (well_formed_identifier(id)) {
        for (std::size_t k = 0; k < binary_names.size(); ++k)
            if (binary_names[k] == id) return static_cast<binary>(k);
    }
    c.fail<data_error>("expected " + std::string(what) + ", found \"" + id + "\"");
}

std::size_t binary_literal::image(binary x, type_set setting, char* out) {
    return copy_name(binary_names.at(static_cast<std::size_t>(x)), setting, out);
}

// Digits only: a sign, even on 0, is not part of a count.
count_element count_literal::read(text_cursor& c) {
    static constexpr const char* what = "a count (an unsigned integer)";
    int ch = c.skip_blanks();
    if (ch == text_cursor::eof) c.fail_end(what);
    if (!is_digit(ch)) c.fail_found(what, ch);
    const generics::natural_digits n = generics::read_digits(c);
    if (n.value > max_index)
        c.fail<data_error>("the count " + std::string(n.text()) + " exceeds " +
                           std::to_string(max_index));
    return static_cast<count_element>(n.value);
}

std::size_t count_literal::image(count_element x, type_set, char* out) {
    out[0] = x < 0 ? '-' : ' ';
    const long long magnitude = x < 0 ? -static_cast<long long>(x) : x;
    const auto r = std::to_chars(out + 1, out + 16, magnitude);
    return static_cast<std::size_t>(r.ptr - out);
}

} // namespace phylo::detail

template struct generics::character_io<
    generics::literal_codec<phylo::disc_element, phylo::detail::disc_literal>>;
template struct generics::character_io<
    generics::literal_codec<phylo::binary, phylo::detail::binary_literal>>;
template struct generics::character_io<
    generics::literal_codec<phylo::count_element, phylo::detail::count_literal>>;
template struct generics::character_io<generics::real_codec<phylo::real_element>>;
