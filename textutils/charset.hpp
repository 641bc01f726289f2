#pragma once
// Character sets (subsets of the 256 character codes) and character mappings (a function
// from character to character), the two parameters that the string operations take.

#include <generics/errors.hpp>

#include <array>
#include <bitset>
#include <cstddef>
#include <string_view>

namespace textutils {

using generics::capacity_error;
using generics::length_error;
using generics::pattern_error;
using generics::range_error;

class character_set {
public:
    constexpr character_set() = default;
    // The set of the characters in `chars`.
    explicit character_set(std::string_view chars) {
        for (char c : chars) insert(c);
    }
    // The set of the codes lo .. hi.
    static character_set range(unsigned char lo, unsigned char hi) {
        character_set s;
        for (unsigned c = lo; c <= hi; ++c) s.bits_.set(c);
        return s;
    }

    [[nodiscard]] bool contains(char c) const noexcept {
        return bits_.test(static_cast<unsigned char>(c));
    }
    void insert(char c) noexcept { bits_.set(static_cast<unsigned char>(c)); }
    void erase(char c) noexcept { bits_.reset(static_cast<unsigned char>(c)); }
    [[nodiscard]] bool empty() const noexcept { return bits_.none(); }
    [[nodiscard]] std::size_t size() const noexcept { return bits_.count(); }

    friend character_set operator|(character_set a, const character_set& b) {
        a.bits_ |= b.bits_;
        return a;
    }
    friend character_set operator&(character_set a, const character_set& b) {
        a.bits_ &= b.bits_;
        return a;
    }
    friend character_set operator-(character_set a, const character_set& b) {
        a.bits_ &= ~b.bits_;
        return a;
    }
    friend character_set operator~(character_set a) {
        a.bits_.flip();
        return a;
    }
    friend bool operator==(const character_set&, const character_set&) = default;

private:
    std::bitset<256> bits_;
};

class character_mapping {
public:
    // The identity mapping.
    constexpr character_mapping() {
        for (std::size_t i = 0; i < 256; ++i) to_[i] = static_cast<char>(i);
    }
    // The identity except that from[k] maps to to[k]; the two strings must be of equal length.
    character_mapping(std::string_view from, std::string_view to) : character_mapping() {
        if (from.size() != to.size())
            throw length_error("character mapping: from and to differ in length");
        for (std::size_t k = 0; k < from.size(); ++k) set(from[k], to[k]);
    }

    [[nodiscard]] char operator()(char c) const noexcept {
        return to_[static_cast<unsigned char>(c)];
    }
    void set(char from, char to) noexcept { to_[static_cast<unsigned char>(from)] = to; }
    [[nodiscard]] bool is_identity() const noexcept { return *this == character_mapping(); }
    friend bool operator==(const character_mapping&, const character_mapping&) = default;

private:
    std::array<char, 256> to_{};
};

inline const character_mapping identity{};

// The blank and every control character (codes 0 .. 32 and 127 .. 159): what the readers
// pass over between words and the token functions split at by default.
inline const character_set whitespace =
    character_set::range(0, 32) | character_set::range(127, 159);

} // namespace textutils
