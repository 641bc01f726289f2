#include <textutils/string_edit.hpp>

#include <algorithm>

namespace textutils {

namespace {

char latin1_upper(char c) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'a' && u <= 'z') || (u >= 224 && u <= 254 && u != 247))
        return static_cast<char>(u - 32);
    return c;
}

char latin1_lower(char c) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'A' && u <= 'Z') || (u >= 192 && u <= 222 && u != 215))
        return static_cast<char>(u + 32);
    return c;
}

void require_set(const character_set& set, const char* operation) {
    if (set.empty()) throw pattern_error(std::string(operation) + ": the character set is empty");
}

void require_pattern(std::string_view pattern, const char* operation) {
    if (pattern.empty()) throw pattern_error(std::string(operation) + ": the pattern is empty");
}

// Position of the last occurrence of `pattern` (not empty), or npos.
std::size_t find_last(std::string_view source, std::string_view pattern,
                      const character_mapping& mapping) {
    if (pattern.size() > source.size()) return std::string_view::npos;
    for (std::size_t p = source.size() - pattern.size() + 1; p-- > 0;) {
        std::size_t k = 0;
        while (k < pattern.size() && mapping(source[p + k]) == pattern[k]) ++k;
        if (k == pattern.size()) return p;
    }
    return std::string_view::npos;
}

std::size_t find(std::string_view source, std::string_view pattern, bool last,
                 const character_mapping& mapping) {
    return last ? find_last(source, pattern, mapping) : find_pattern(source, pattern, mapping);
}

// The replacement put into the gaps between characters: after the first (FIRST), before the
// last (LAST), or between every two neighbours (EVERY).
std::string map_gaps(std::string_view source, std::string_view replacement, replace_type which) {
    if (source.size() < 2 || replacement.empty()) return std::string(source);
    std::string out;
    switch (which) {
    case replace_type::FIRST:
        out.append(source.substr(0, 1)).append(replacement).append(source.substr(1));
        break;
    case replace_type::LAST:
        out.append(source.substr(0, source.size() - 1))
            .append(replacement)
            .append(source.substr(source.size() - 1));
        break;
    case replace_type::EVERY:
        out.reserve(source.size() + (source.size() - 1) * replacement.size());
        out.push_back(source[0]);
        for (std::size_t i = 1; i < source.size(); ++i) {
            out.append(replacement);
            out.push_back(source[i]);
        }
        break;
    }
    return out;
}

bool passes(const character_set& set, membership test, char c) {
    return set.contains(c) == (test == membership::INSIDE);
}

} // namespace

character_mapping map_all(const character_set& set, char c) {
    character_mapping m;
    for (unsigned code = 0; code < 256; ++code)
        if (set.contains(static_cast<char>(code))) m.set(static_cast<char>(code), c);
    return m;
}

std::size_t common_length(std::string_view a, std::string_view b, direction from) {
    const std::size_t n = std::min(a.size(), b.size());
    std::size_t k = 0;
    if (from == direction::FORWARD) {
        while (k < n && a[k] == b[k]) ++k;
    } else {
        while (k < n && a[a.size() - 1 - k] == b[b.size() - 1 - k]) ++k;
    }
    return k;
}

std::string common(std::string_view a, std::string_view b, direction from) {
    const std::size_t k = common_length(a, b, from);
    return std::string(from == direction::FORWARD ? a.substr(0, k) : a.substr(a.size() - k));
}

bool is_in(std::string_view source, const character_set& set) {
    if (source.empty()) throw length_error("is_in: the source is empty");
    require_set(set, "is_in");
    return std::all_of(source.begin(), source.end(), [&set](char c) { return set.contains(c); });
}

std::string revstr(std::string_view s) { return std::string(s.rbegin(), s.rend()); }
void revstr_in_place(std::span<char> s) { std::reverse(s.begin(), s.end()); }

std::string remove(std::string_view source, const character_set& set) {
    require_set(set, "remove");
    std::string out;
    out.reserve(source.size());
    for (char c : source)
        if (!set.contains(c)) out.push_back(c);
    return out;
}
void remove_in_place(std::string& source, const character_set& set) {
    source = remove(source, set);
}

std::string squeeze(std::string_view source, const character_set& set) {
    require_set(set, "squeeze");
    std::string out;
    out.reserve(source.size());
    bool in_run = false;
    for (char c : source) {
        if (!set.contains(c)) {
            out.push_back(c);
            in_run = false;
        } else {
            if (!in_run) out.push_back(c);
            in_run = true;
        }
    }
    return out;
}
void squeeze_in_place(std::string& source, const character_set& set) {
    source = squeeze(source, set);
}

void cap_in_place(std::span<char> s) {
    if (s.empty()) return;
    s[0] = latin1_upper(s[0]);
    for (std::size_t i = 1; i < s.size(); ++i) s[i] = latin1_lower(s[i]);
}
std::string cap(std::string_view s) {
    std::string out(s);
    cap_in_place(out);
    return out;
}
void uncap_in_place(std::span<char> s) {
    if (!s.empty()) s[0] = latin1_lower(s[0]);
}
std::string uncap(std::string_view s) {
    std::string out(s);
    uncap_in_place(out);
    return out;
}

std::string before(std::string_view source, std::string_view pattern, replace_type which,
                   bool not_found_empty, const character_mapping& mapping) {
    require_pattern(pattern, "before");
    const std::size_t p = find(source, pattern, which == replace_type::LAST, mapping);
    if (p == std::string_view::npos) return not_found_empty ? std::string() : std::string(source);
    return std::string(source.substr(0, p));
}
void before_in_place(std::string& source, std::string_view pattern, replace_type which,
                     bool not_found_empty, const character_mapping& mapping) {
    source = before(source, pattern, which, not_found_empty, mapping);
}

std::string after(std::string_view source, std::string_view pattern, replace_type which,
                  bool not_found_whole, const character_mapping& mapping) {
    require_pattern(pattern, "after");
    const std::size_t p = find(source, pattern, which != replace_type::FIRST, mapping);
    if (p == std::string_view::npos) return not_found_whole ? std::string(source) : std::string();
    return std::string(source.substr(p + pattern.size()));
}
void after_in_place(std::string& source, std::string_view pattern, replace_type which,
                    bool not_found_whole, const character_mapping& mapping) {
    source = after(source, pattern, which, not_found_whole, mapping);
}

std::string basename(std::string_view path) {
    return before(after(path, "/", replace_type::LAST, true), ".", replace_type::LAST, false);
}
void basename_in_place(std::string& path) { path = basename(path); }

// The EVERY forms walk the source once, left to right, instead of recursing once per
// replacement: the result is the same, and long sources with many replacements cannot
// exhaust the stack.
std::string string_map(std::string_view source, const character_set& set,
                       std::string_view replacement, replace_type which, membership test) {
    if (source.empty()) return std::string();
    if (set.empty()) {
        if (test == membership::INSIDE) return map_gaps(source, replacement, which);
        std::string out;
        out.reserve(source.size() * replacement.size());
        for (std::size_t i = 0; i < source.size(); ++i) out.append(replacement);
        return out;
    }
    if (which == replace_type::EVERY) {
        std::string out;
        std::size_t i = 0;
        while (i < source.size()) {
            if (!passes(set, test, source[i])) {
                out.push_back(source[i++]);
                continue;
            }
            out.append(replacement);
            while (i < source.size() && passes(set, test, source[i])) ++i;
        }
        return out;
    }
    const token_bounds t = which == replace_type::FIRST ? first_token(source, set, test)
                                                        : last_token(source, set, test);
    if (t.last == 0) return std::string(source);
    const auto b = static_cast<std::size_t>(t.first - 1);
    const auto e = static_cast<std::size_t>(t.last);
    std::string out(source.substr(0, b));
    out.append(replacement).append(source.substr(e));
    return out;
}
void string_map_in_place(std::string& source, const character_set& set,
                         std::string_view replacement, replace_type which, membership test) {
    source = string_map(source, set, replacement, which, test);
}

std::string string_map(std::string_view source, std::string_view pattern,
                       std::string_view replacement, replace_type which,
                       const character_mapping& mapping) {
    if (source.empty() || pattern == replacement) return std::string(source);
    if (pattern.empty()) return map_gaps(source, replacement, which);
    if (which == replace_type::EVERY) {
        std::string out;
        std::size_t from = 0;
        const bool plain = mapping.is_identity();
        for (;;) {
            const std::size_t p =
                plain ? source.find(pattern, from) : find_pattern(source, pattern, mapping, from);
            if (p == std::string_view::npos) break;
            out.append(source.substr(from, p - from)).append(replacement);
            from = p + pattern.size();
        }
        out.append(source.substr(from));
        return out;
    }
    const std::size_t p = find(source, pattern, which == replace_type::LAST, mapping);
    if (p == std::string_view::npos) return std::string(source);
    std::string out(source.substr(0, p));
    out.append(replacement).append(source.substr(p + pattern.size()));
    return out;
}
void string_map_in_place(std::string& source, std::string_view pattern,
                         std::string_view replacement, replace_type which,
                         const character_mapping& mapping) {
    source = string_map(source, pattern, replacement, which, mapping);
}

// One pass over the field (find_first_of would search the two-character set once per character
// of the field, and the tables' writers run this over every label of a table).
bool needs_table_quotes(std::string_view field) noexcept {
    return std::any_of(field.begin(), field.end(), [](char c) { return c == '"' || c == '\r'; });
}

void append_table_field(std::string& to, std::string_view field) {
    if (!needs_table_quotes(field)) {
        to.append(field);
        return;
    }
    to.push_back('"');
    for (const char c : field) {
        if (c == '"') to.push_back('"');
        to.push_back(c);
    }
    to.push_back('"');
}

std::string table_field(std::string_view field) {
    std::string text;
    append_table_field(text, field);
    return text;
}

} // namespace textutils
