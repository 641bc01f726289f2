#include <textutils/tokenize.hpp>

#include <string>

namespace textutils {

namespace {

constexpr auto npos = std::string_view::npos;

bool passes(char c, const character_set& set, membership test) {
    return set.contains(c) == (test == membership::INSIDE);
}

// One element per character: what splitting at an empty pattern or the empty set gives.
ustr_vecs characters_of(std::string_view source) {
    ustr_vecs result;
    for (char c : source) result.append(std::string(1, c));
    return result;
}

// Positions (from 0) of the first token of characters passing `test` at or after `from`:
// {at, after}, or at == npos.
std::pair<std::size_t, std::size_t> token_from(std::string_view source, std::size_t from,
                                               const character_set& set, membership test) {
    std::size_t at = from;
    while (at < source.size() && !passes(source[at], set, test)) ++at;
    if (at >= source.size()) return {npos, npos};
    std::size_t after = at + 1;
    while (after < source.size() && passes(source[after], set, test)) ++after;
    return {at, after};
}

// Positions (from 0) of the last token of characters passing `test` that ends before `end`:
// {at, after}, or at == npos.
std::pair<std::size_t, std::size_t> token_before(std::string_view source, std::size_t end,
                                                 const character_set& set, membership test) {
    std::size_t after = end;
    while (after > 0 && !passes(source[after - 1], set, test)) --after;
    if (after == 0) return {npos, npos};
    std::size_t at = after - 1;
    while (at > 0 && passes(source[at - 1], set, test)) --at;
    return {at, after};
}

void check_token_source(std::string_view source, index_type first) {
    if (source.empty()) throw range_error("token search in an empty string");
    if (first < 1)
        throw range_error("token search: first index " + std::to_string(first) +
                          " is not positive");
}

} // namespace

std::size_t find_pattern(std::string_view source, std::string_view pattern,
                         const character_mapping& mapping, std::size_t from) {
    if (pattern.empty() || from > source.size() || pattern.size() > source.size() - from)
        return npos;
    if (mapping.is_identity()) return source.find(pattern, from);
    const std::size_t last_start = source.size() - pattern.size();
    for (std::size_t at = from; at <= last_start; ++at) {
        std::size_t k = 0;
        while (k < pattern.size() && mapping(source[at + k]) == pattern[k]) ++k;
        if (k == pattern.size()) return at;
    }
    return npos;
}

ustr_vecs split(std::string_view source, std::string_view pattern,
                const character_mapping& mapping) {
    if (pattern.empty()) return characters_of(source);
    ustr_vecs result;
    auto keep = [&result](std::string_view f) { result.append(std::string(f)); };
    if (pattern.size() == 1 && mapping.is_identity()) {
        for_each_field(source, pattern.front(), keep);
        return result;
    }
    detail::walk_fields(
        source,
        [&](std::size_t start) {
            const std::size_t at = find_pattern(source, pattern, mapping, start);
            return std::pair{at, at + pattern.size()};
        },
        keep);
    return result;
}

void split(ustr_vecs& target, std::string_view source, std::string_view pattern,
           const character_mapping& mapping) {
    target.append(split(source, pattern, mapping));
}

ustr_vecs split(std::string_view source, const character_set& set) {
    if (set.empty()) return characters_of(source);
    ustr_vecs result;
    detail::walk_fields(
        source,
        [&](std::size_t start) { return token_from(source, start, set, membership::INSIDE); },
        [&result](std::string_view f) { result.append(std::string(f)); });
    return result;
}

void split(ustr_vecs& target, std::string_view source, const character_set& set) {
    target.append(split(source, set));
}

ustr_vecs split(std::string_view source, index_type width) {
    if (width < 1) throw range_error("split: piece width " + std::to_string(width) + " is below 1");
    const auto w = static_cast<std::size_t>(width);
    ustr_vecs result;
    for (std::size_t at = 0; at < source.size(); at += w)
        result.append(std::string(source.substr(at, w)));
    return result;
}

void split(ustr_vecs& target, std::string_view source, index_type width) {
    target.append(split(source, width));
}

std::string join(const ustr_vecs& items, std::string_view separator) {
    std::string result;
    if (items.empty()) return result;
    std::size_t size = separator.size() * static_cast<std::size_t>(items.length() - 1);
    for (const auto& item : items) size += item.size();
    result.reserve(size);
    bool first = true;
    for (const auto& item : items) {
        if (!first) result += separator;
        result += item;
        first = false;
    }
    return result;
}

ustr_vecs scan(std::string_view source, const character_set& set) {
    if (set.empty()) throw pattern_error("scan: the character set is empty");
    ustr_vecs result;
    for (std::size_t start = 0;;) {
        const auto [at, after] = token_from(source, start, set, membership::INSIDE);
        if (at == npos) return result;
        result.append(std::string(source.substr(at, after - at)));
        start = after;
    }
}

void scan(ustr_vecs& target, std::string_view source, const character_set& set) {
    target.append(scan(source, set));
}

std::string word(std::string_view source, index_type n, direction from, const character_set& set,
                 membership test) {
    if (n < 1) return {};
    index_type count = 0;
    if (from == direction::FORWARD) {
        for (std::size_t start = 0;;) {
            const auto [at, after] = token_from(source, start, set, test);
            if (at == npos) return {};
            if (++count == n) return std::string(source.substr(at, after - at));
            start = after;
        }
    }
    for (std::size_t end = source.size();;) {
        const auto [at, after] = token_before(source, end, set, test);
        if (at == npos) return {};
        if (++count == n) return std::string(source.substr(at, after - at));
        end = at;
    }
}

token_bounds first_token(std::string_view source, const character_set& set, membership test,
                         index_type first) {
    check_token_source(source, first);
    const auto [at, after] = token_from(source, 0, set, test);
    if (at == npos) return {first, 0};
    return {first + static_cast<index_type>(at), first + static_cast<index_type>(after) - 1};
}

token_bounds last_token(std::string_view source, const character_set& set, membership test,
                        index_type first) {
    check_token_source(source, first);
    const auto [at, after] = token_before(source, source.size(), set, test);
    if (at == npos) return {first, 0};
    return {first + static_cast<index_type>(at), first + static_cast<index_type>(after) - 1};
}

} // namespace textutils
