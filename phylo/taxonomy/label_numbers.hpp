#pragma once
// Labels numbered 0, 1, 2, ... in the order in which they first appear: the group numbers of a
// classification, the label numbers of the tool's permuted column, and the positions of the
// taxon labels all come from this one table.
//
// Every distinct label is kept once, followed by an end byte, in one block of text; an
// open-addressing table of 8-byte slots finds a label's number. A slot holds the label's
// number + 1 (0 for a free slot) in its low half and the high half of the label's hash in its
// high half, so that a probe rarely compares text that does not match. The slot index is the
// top bits of the hash, which the slot itself keeps: growing moves slots without rehashing
// a label. A lookup allocates nothing; a new label costs its text, its end byte and a word.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace phylo::taxonomy {

class label_numbers {
public:
    // `end` follows every label in text(); `expected` distinct labels of `expected_bytes`
    // characters in all fit without growing.
    explicit label_numbers(char end = '\n', std::size_t expected = 0,
                           std::size_t expected_bytes = 0)
        : end_(end) {
        if (expected > 0) {
            resize(2 * (expected + 1));
            starts_.reserve(expected + 1);
            text_.reserve(expected_bytes + expected);
        }
    }

    [[nodiscard]] static std::size_t hash(std::string_view label) noexcept {
        return std::hash<std::string_view>{}(label);
    }

    // Starts loading the slot where a label of this hash is looked for, so that callers that
    // know the next labels can overlap the cache misses of a large table.
    void prefetch([[maybe_unused]] std::size_t hash) const noexcept {
#if defined(__GNUC__)
        if (!slots_.empty()) __builtin_prefetch(&slots_[index(hash >> 32)]);
#endif
    }

    // The number of `label` (whose hash is `hash`), adding it as the next number when it is
    // new; the flag says whether it was added.
    std::pair<std::uint32_t, bool> try_add(std::string_view label, std::size_t hash) {
        if (2 * (size() + 1) > slots_.size()) resize(std::max<std::size_t>(64, 2 * slots_.size()));
        const std::size_t mask = slots_.size() - 1;
        const std::uint64_t tag = hash >> 32;
        for (std::size_t s = index(tag);; s = (s + 1) & mask) {
            const std::uint64_t entry = slots_[s];
            const auto number = static_cast<std::uint32_t>(entry);
            if (number == 0) {
                const auto next = static_cast<std::uint32_t>(size());
                slots_[s] = tag << 32 | (next + 1);
                text_.append(label).push_back(end_);
                starts_.push_back(text_.size());
                return {next, true};
            }
            if (entry >> 32 == tag && this->label(number - 1) == label) return {number - 1, false};
        }
    }
    std::uint32_t add(std::string_view label) { return try_add(label, hash(label)).first; }

    // The number of `label` (whose hash is `hash`), or nothing.
    [[nodiscard]] std::optional<std::uint32_t> find(std::string_view label,
                                                    std::size_t hash) const noexcept {
        if (slots_.empty()) return std::nullopt;
        const std::size_t mask = slots_.size() - 1;
        const std::uint64_t tag = hash >> 32;
        for (std::size_t s = index(tag);; s = (s + 1) & mask) {
            const std::uint64_t entry = slots_[s];
            const auto number = static_cast<std::uint32_t>(entry);
            if (number == 0) return std::nullopt;
            if (entry >> 32 == tag && this->label(number - 1) == label) return number - 1;
        }
    }

    // How many distinct labels there are.
    [[nodiscard]] std::size_t size() const noexcept { return starts_.size() - 1; }
    // Label `number`, without its end byte.
    [[nodiscard]] std::string_view label(std::uint32_t number) const noexcept {
        const std::size_t from = starts_[number];
        return std::string_view(text_).substr(from, starts_[number + 1] - from - 1);
    }
    // Where each label starts in the text, and one more entry where the text ends: label k
    // with its end byte is [starts()[k], starts()[k + 1]).
    [[nodiscard]] std::span<const std::size_t> starts() const noexcept { return starts_; }

    // Hands over the text of all labels in number order, each followed by the end byte, with
    // `padding` zero bytes after the last; starts() goes on describing it. The lookup table
    // is released first, so that the text's last copy never meets it in memory; the table
    // cannot be used for lookups afterwards.
    [[nodiscard]] std::string take_text(std::size_t padding) {
        slots_ = {};
        text_.append(padding, '\0');
        text_.shrink_to_fit();
        return std::move(text_);
    }

private:
    // The slot where a label whose hash has the high half `tag` is looked for first.
    [[nodiscard]] std::size_t index(std::uint64_t tag) const noexcept {
        return static_cast<std::size_t>(tag >> shift_);
    }

    // Rehouses the slots in a table of at least `least` (a power of two at most 2^32).
    void resize(std::size_t least) {
        std::size_t capacity = 64;
        while (capacity < least) capacity *= 2;
        std::vector<std::uint64_t> old(capacity, 0);
        old.swap(slots_);
        shift_ = 32 - static_cast<unsigned>(std::countr_zero(capacity));
        const std::size_t mask = capacity - 1;
        for (const std::uint64_t entry : old) {
            if (static_cast<std::uint32_t>(entry) == 0) continue;
            std::size_t s = index(entry >> 32);
            while (slots_[s] != 0) s = (s + 1) & mask;
            slots_[s] = entry;
        }
    }

    char end_;
    unsigned shift_ = 32;
    std::vector<std::uint64_t> slots_;
    std::vector<std::size_t> starts_ = {0};
    std::string text_;
};

} // namespace phylo::taxonomy
