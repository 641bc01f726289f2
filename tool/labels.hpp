#pragma once
// The two columns of a listing run as they are kept in memory: the fixed column packed label
// after label, the permuted column as the numbers of its distinct labels.

#include <generics/bounded_array.hpp>
#include <generics/generic_random_sorting.hpp>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace labmix {

// Both label blocks end in this many spare bytes, so that a listing may copy a short label
// with one fixed-size move.
inline constexpr std::size_t label_padding = 32;

// Copies `label` to `to`; a short label is moved as one fixed-size block, which the padding of
// the label blocks and the slack of the output buffer make safe.
inline void copy_label(char* to, std::string_view label) {
    if (label.size() <= label_padding)
        std::memcpy(to, label.data(), label_padding);
    else
        std::memcpy(to, label.data(), label.size());
}

// A column of labels in row order, each followed by one end byte (the tab that follows a
// fixed label in a listing), packed one after the other into blocks that never move as the
// column grows: nothing read is copied again, and a row costs its label, the end byte and a
// 4-byte length.
class packed_labels {
public:
    explicit packed_labels(char end = '\t') : end_(end) {}

    void add(std::string_view label);
    [[nodiscard]] std::size_t size() const noexcept { return lengths_.size(); }

    // Calls piece(std::string_view) for every label with its end byte, in row order; at least
    // label_padding bytes past the end of every piece may be read.
    template <class Piece>
    void for_each(Piece&& piece) const {
        std::size_t row = 0;
        std::size_t long_row = 0;
        for (const block& b : blocks_) {
            const char* p = b.bytes.get();
            for (const char* const e = p + b.used; p != e;) {
                std::size_t n = lengths_[row++];
                if (n == long_length) n = long_lengths_[long_row++];
                piece(std::string_view(p, n));
                p += n;
            }
        }
    }

private:
    // Lengths of this much or more are kept aside, in full.
    static constexpr std::uint32_t long_length = 0xFFFFFFFF;
    static constexpr std::size_t block_size = std::size_t{1} << 22;
    struct block {
        std::unique_ptr<char[]> bytes; // capacity + label_padding bytes
        std::size_t used;
    };

    char end_;
    std::vector<block> blocks_;
    std::size_t room_ = 0; // bytes left in the last block
    std::vector<std::uint32_t> lengths_;
    std::vector<std::size_t> long_lengths_;
};

// The permuted column. Group names repeat (a million taxa fall into some thousands of
// families), so every distinct label is kept once, followed by a line feed, and each row holds
// only the 4-byte number of its label. A reshuffle moves those numbers, and a listing reads
// them in order and finds the few distinct labels in cache.
struct permuted_labels {
    std::string text;                              // every distinct label + line feed, padding
    std::vector<std::string_view> distinct;        // label number -> its piece of `text`
    generics::bounded_array<std::uint32_t> labels; // the label number of every row
};

// The tool's instance of the random relabelling unit, over the rows' label numbers.
using random_labels = generics::generic_random_sorting<generics::bounded_array<std::uint32_t>>;

} // namespace labmix
