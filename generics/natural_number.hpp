#pragma once
// The digits of a natural number, read from a text cursor or from the front of a string: one
// loop for the matrix headers, the counts of count matrices and the tool's option values. Each
// caller takes the sign (if it allows one) and words its own messages from the result.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace generics {

// A run of decimal digits: its value, saturated far above the largest index so that an
// overlong number can neither overflow nor pass for a small one, and its first digits as
// written, for messages.
struct natural_digits {
    static constexpr std::int64_t saturation = std::int64_t{1} << 40;
    static constexpr std::size_t kept = 24;

    std::int64_t value = 0;
    std::size_t count = 0; // digits read, also those beyond `kept`
    std::array<char, kept> first{};

    [[nodiscard]] bool empty() const noexcept { return count == 0; }
    // The digits as written, cut after the first `kept`.
    [[nodiscard]] std::string_view text() const noexcept {
        return {first.data(), std::min(count, kept)};
    }
};

// Reads the digits where `source` stands: source.peek() gives the next character as an int
// (negative at the end), source.bump() consumes it. Nothing is consumed when no digit stands
// there.
template <class Source>
natural_digits read_digits(Source& source) {
    natural_digits d;
    for (int c = source.peek(); c >= '0' && c <= '9'; c = source.peek()) {
        d.value = std::min<std::int64_t>(d.value * 10 + (c - '0'), natural_digits::saturation);
        if (d.count < natural_digits::kept) d.first[d.count] = static_cast<char>(c);
        ++d.count;
        source.bump();
    }
    return d;
}

// The same over the front of `text`, which loses the digits read.
inline natural_digits read_digits(std::string_view& text) {
    struct front {
        std::string_view& text;
        [[nodiscard]] int peek() const noexcept {
            return text.empty() ? -1 : static_cast<unsigned char>(text.front());
        }
        void bump() noexcept { text.remove_prefix(1); }
    } source{text};
    return read_digits(source);
}

} // namespace generics
