#pragma once
// Random relabelling: puts the elements of an array into a uniformly random order, as often
// as asked, each reshuffle starting from the order the previous one left.
//
// The draws are made by this unit from the raw output of std::mt19937_64, whose sequence the
// C++ standard fixes, so that one seed gives the same reshuffles with every compiler and
// standard library:
// - every 64-bit output is cut into two 32-bit words, the high half first;
// - a draw below n takes one word w and the 64-bit product w * n; when the low half of the
//   product is below (2^32 - n) mod n it is rejected and the next word is tried; otherwise
//   the draw is the high half (unbiased multiply-shift);
// - a reshuffle of m elements is a Fisher-Yates shuffle: for i = m - 1 down to 1, the
//   element at offset i is exchanged with the one at offset draw-below(i + 1).
// - a uniform real in [0, 1) takes two words w1, w2 and is (w1 * 2^21 + floor(w2 / 2^11)) / 2^53.
// Words left over from one reshuffle are used by the next; only `reset` starts afresh.
//
// The words are made 624 at a time (one twist of the generator's 312-word state, tempered
// in one loop that the compiler vectorises) and a reshuffle draws its offsets a batch ahead
// of its exchanges, prefetching the slots it will touch: on a large array the exchanges are
// otherwise bound by cache misses.

#include <generics/bounded_array.hpp>
#include <generics/errors.hpp>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace generics {

template <class Array = bounded_array<std::string>>
class generic_random_sorting {
public:
    using array_type = Array;
    using element = typename Array::value_type;

    // The generator starts from its fixed default state and there is no sorter yet.
    generic_random_sorting() = default;

    // Reseeds the generator from the current date and time.
    void reset() {
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        reset(static_cast<std::uint64_t>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
    }
    // Reseeds the generator with `seed` (the standard single-value seeding of mt19937_64).
    void reset(std::uint64_t seed) { words_.seed(seed); }

    // Fixes the bounds first .. last that every later sort_random expects. A negative first on
    // a non-empty range is the range error, and no sorter is left.
    void set_sorter(index_type first, index_type last) {
        sorter_ = std::nullopt;
        check_range(first, last);
        sorter_ = bounds{first, last < first ? first - 1 : last};
    }

    [[nodiscard]] bool has_sorter() const noexcept { return sorter_.has_value(); }

    // Puts the elements of `labels` into a new uniformly random order, in place, allocating
    // nothing. Without a sorter, or when `labels` has other bounds than the sorter, it is the
    // range error and `labels` is left as it was.
    void sort_random(Array& labels) {
        if (!sorter_) throw range_error("sort_random called before set_sorter");
        if (labels.length() != sorter_->last - sorter_->first + 1 ||
            (!labels.empty() && labels.first() != sorter_->first))
            throw range_error("labels " + std::to_string(labels.first()) + " .. " +
                              std::to_string(labels.last()) + " do not match the sorter " +
                              std::to_string(sorter_->first) + " .. " +
                              std::to_string(sorter_->last));
        auto* a = labels.data();
        using std::swap;
        // Offsets are drawn a batch at a time, their slots prefetched, then exchanged.
        constexpr std::uint32_t batch = 32;
        std::uint32_t j[batch];
        for (auto i = static_cast<std::uint32_t>(labels.length()); i > 1;) {
            const std::uint32_t n = std::min(batch, i - 1);
            for (std::uint32_t k = 0; k < n; ++k) {
                j[k] = below(i - k);
                __builtin_prefetch(a + j[k], 1);
            }
            for (std::uint32_t k = 0; k < n; ++k) swap(a[i - 1 - k], a[j[k]]);
            i -= n;
        }
    }

    // A uniform draw in 0 .. n - 1 for 0 < n, from the generator's sequence as described above.
    std::uint32_t below(std::uint32_t n) {
        std::uint64_t product = std::uint64_t{next_word()} * n;
        auto low = static_cast<std::uint32_t>(product);
        if (low < n) [[unlikely]] {
            const std::uint32_t threshold = static_cast<std::uint32_t>(0u - n) % n;
            while (low < threshold) {
                product = std::uint64_t{next_word()} * n;
                low = static_cast<std::uint32_t>(product);
            }
        }
        return static_cast<std::uint32_t>(product >> 32);
    }

    // A uniform draw in [0, 1) with 53 random bits, from two words as described above.
    double uniform() {
        const std::uint64_t high = next_word();
        const std::uint64_t low = next_word();
        return static_cast<double>(high << 21 | low >> 11) * 0x1p-53;
    }

private:
    struct bounds {
        index_type first;
        index_type last;
    };

    // std::mt19937_64, whose sequence the standard fixes, with its 64-bit outputs cut into
    // 32-bit words (the high half first) as they are made.
    class word_source {
    public:
        word_source() { seed(default_seed); }
        // The standard's single-value seeding; the words made before are dropped.
        void seed(std::uint64_t value) {
            state_[0] = value;
            for (std::size_t i = 1; i < n; ++i)
                state_[i] = 6364136223846793005ULL * (state_[i - 1] ^ (state_[i - 1] >> 62)) + i;
            next_ = 2 * n;
        }
        std::uint32_t operator()() {
            if (next_ == 2 * n) [[unlikely]]
                refill();
            return words_[next_++];
        }

    private:
        static constexpr std::size_t n = 312;
        static constexpr std::size_t m = 156;
        static constexpr std::uint64_t default_seed = 5489;
        static constexpr std::uint64_t upper = ~std::uint64_t{0} << 31;
        static constexpr std::uint64_t lower = ~upper;
        static constexpr std::uint64_t matrix = 0xB5026F5AA96619E9ULL;

        static std::uint64_t twisted(std::uint64_t far, std::uint64_t here, std::uint64_t next) {
            const std::uint64_t x = (here & upper) | (next & lower);
            return far ^ (x >> 1) ^ ((0 - (x & 1)) & matrix);
        }

        // One twist of the whole state, then every output tempered and cut into two words.
        void refill() {
            for (std::size_t i = 0; i < n - m; ++i)
                state_[i] = twisted(state_[i + m], state_[i], state_[i + 1]);
            for (std::size_t i = n - m; i < n - 1; ++i)
                state_[i] = twisted(state_[i + m - n], state_[i], state_[i + 1]);
            state_[n - 1] = twisted(state_[m - 1], state_[n - 1], state_[0]);
            for (std::size_t i = 0; i < n; ++i) {
                std::uint64_t y = state_[i];
                y ^= (y >> 29) & 0x5555555555555555ULL;
                y ^= (y << 17) & 0x71D67FFFEDA60000ULL;
                y ^= (y << 37) & 0xFFF7EEE000000000ULL;
                y ^= y >> 43;
                words_[2 * i] = static_cast<std::uint32_t>(y >> 32);
                words_[2 * i + 1] = static_cast<std::uint32_t>(y);
            }
            next_ = 0;
        }

        std::uint64_t state_[n];
        std::uint32_t words_[2 * n];
        std::size_t next_ = 2 * n; // the next word of words_ to hand out
    };

    std::uint32_t next_word() { return words_(); }

    word_source words_;
    std::optional<bounds> sorter_;
};

} // namespace generics
