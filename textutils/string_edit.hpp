#pragma once
// String editing: compare, clean, case, cut and rewrite single strings. Functions return a
// new string; the `_in_place` forms replace the text of their argument with what the
// function returns for it. Case follows the 8-bit Latin-1 set.

#include <textutils/charset.hpp>
#include <textutils/tokenize.hpp>

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace textutils {

// Which occurrence an operation works on.
enum class replace_type { FIRST, EVERY, LAST };

// The mapping that sends every member of `set` to `c` and every other character to itself.
character_mapping map_all(const character_set& set, char c);

// How many leading (FORWARD) or trailing (BACKWARD) characters a and b share.
std::size_t common_length(std::string_view a, std::string_view b, direction from);
// The shared leading or trailing part, taken from a.
std::string common(std::string_view a, std::string_view b, direction from);

// True when every character of `source` is in `set`. An empty source is the length error,
// an empty set the pattern error.
bool is_in(std::string_view source, const character_set& set);

// `source` without the characters of `set` at its back; a view into `source`.
inline std::string_view trim_trailing(std::string_view source, const character_set& set) noexcept {
    std::size_t n = source.size();
    while (n > 0 && set.contains(source[n - 1])) --n;
    return source.substr(0, n);
}
// `source` without the characters of `set` at its front and at its back; a view into `source`.
inline std::string_view trim(std::string_view source, const character_set& set) noexcept {
    std::size_t from = 0;
    while (from < source.size() && set.contains(source[from])) ++from;
    return trim_trailing(source.substr(from), set);
}

// The characters in reverse order.
std::string revstr(std::string_view s);
void revstr_in_place(std::span<char> s);

// `source` without the characters of `set`; an empty set is the pattern error.
std::string remove(std::string_view source, const character_set& set);
void remove_in_place(std::string& source, const character_set& set);

// Every run of `set` characters cut to its first character; an empty set is the pattern
// error.
std::string squeeze(std::string_view source, const character_set& set);
void squeeze_in_place(std::string& source, const character_set& set);

// First character upper case, the rest lower case.
std::string cap(std::string_view s);
void cap_in_place(std::span<char> s);
// First character lower case, the rest unchanged.
std::string uncap(std::string_view s);
void uncap_in_place(std::span<char> s);

// The part of `source` before the first (FIRST, EVERY) or last (LAST) occurrence of
// `pattern`, characters compared through `mapping`. Not found: the whole source when
// `not_found_empty` is false, "" when it is true. An empty pattern is the pattern error.
std::string before(std::string_view source, std::string_view pattern, replace_type which,
                   bool not_found_empty, const character_mapping& mapping = identity);
void before_in_place(std::string& source, std::string_view pattern, replace_type which,
                     bool not_found_empty, const character_mapping& mapping = identity);
// The part of `source` after the first (FIRST) or last (EVERY, LAST) occurrence. Not found:
// "" when `not_found_whole` is false, the whole source when it is true. An empty pattern is
// the pattern error.
std::string after(std::string_view source, std::string_view pattern, replace_type which,
                  bool not_found_whole, const character_mapping& mapping = identity);
void after_in_place(std::string& source, std::string_view pattern, replace_type which,
                    bool not_found_whole, const character_mapping& mapping = identity);

// The last path component without its last extension: a/b/c.tar.gz gives c.tar.
std::string basename(std::string_view path);
void basename_in_place(std::string& path);

// Replaces the first, last or every token (maximal run of characters passing `test` against
// `set`) by one copy of `replacement`. The empty set: with OUTSIDE every character is
// replaced; with INSIDE the replacement goes into the gaps between characters (after the
// first, before the last, or between all).
std::string string_map(std::string_view source, const character_set& set,
                       std::string_view replacement, replace_type which, membership test);
void string_map_in_place(std::string& source, const character_set& set,
                         std::string_view replacement, replace_type which, membership test);
// Replaces the first, last or every occurrence of `pattern` (characters compared through
// `mapping`; replaced text is not searched again). An empty pattern works on the gaps as
// the empty set does above.
std::string string_map(std::string_view source, std::string_view pattern,
                       std::string_view replacement, replace_type which,
                       const character_mapping& mapping = identity);
void string_map_in_place(std::string& source, std::string_view pattern,
                         std::string_view replacement, replace_type which,
                         const character_mapping& mapping = identity);

// A field of a tab-separated table as R's read.delim and pandas' read_csv read it back: between
// double quotes, its double quotes doubled, when it holds a double quote or a carriage return
// (unquoted, both would take the quote as the start of a quoted field and the carriage return
// as a line end); otherwise as it stands.
[[nodiscard]] bool needs_table_quotes(std::string_view field) noexcept;
void append_table_field(std::string& to, std::string_view field);
[[nodiscard]] std::string table_field(std::string_view field);

} // namespace textutils
