#pragma once
// The random numbers of a permutation test. Reshuffle k (k = 1, 2, ...) of a test seeded with
// `seed` draws from a generator of its own, a stream_random seeded with stream_seed(seed, k), so
// its values depend only on the data, the seed and k: never on the threads, on how the
// reshuffles are split into parts, or on the reshuffles drawn before it.

#include <cstdint>
#include <string_view>

namespace phylo::permutation {

// The seed of reshuffle k of a test seeded with `seed` (both below 2^31): the SplitMix64
// finaliser of seed * 2^32 + k, a bijection, so no two (seed, k) share a stream.
[[nodiscard]] constexpr std::uint64_t stream_seed(std::uint64_t seed, std::int64_t k) noexcept {
    std::uint64_t z = (seed << 32 | static_cast<std::uint64_t>(k)) + 0x9e3779b97f4a7c15u;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
    return z ^ (z >> 31);
}

// The seed of the test of the pair of groups `a` and `b` of a pairwise test seeded with `seed`,
// to seed its reshuffles as `seed` seeds those of one test: the 64-bit FNV-1a hash of the seed
// in decimal, then the two group names in byte order, each followed by a line feed, modulo
// 2^31. It depends on the two names alone, not on the other groups or the order of the two.
[[nodiscard]] constexpr std::uint64_t pair_seed(std::uint64_t seed, std::string_view a,
                                                std::string_view b) noexcept {
    std::uint64_t hash = 0xcbf29ce484222325u;
    const auto add = [&hash](std::string_view bytes) {
        for (const char c : bytes) {
            hash ^= static_cast<unsigned char>(c);
            hash *= 0x100000001b3u;
        }
        hash ^= static_cast<unsigned char>('\n');
        hash *= 0x100000001b3u;
    };
    char digits[20] = {};
    std::size_t first = sizeof digits;
    do digits[--first] = static_cast<char>('0' + seed % 10);
    while ((seed /= 10) != 0);
    add(std::string_view(digits + first, sizeof digits - first));
    add(a < b ? a : b);
    add(a < b ? b : a);
    return hash % 2147483648u;
}

// The generator of one reshuffle: xoshiro256** (Blackman and Vigna), its four words of state
// the SplitMix64 sequence that starts from the stream's seed. Seeding takes four steps, a
// word one step; a draw below m takes the high 32 bits of one word (unbiased multiply-shift,
// rejecting as few words as it must), a uniform real the high 53 bits of one word, over 2^53.
class stream_random {
public:
    explicit stream_random(std::uint64_t seed = 0) noexcept { reset(seed); }

    void reset(std::uint64_t seed) noexcept {
        for (auto& word : state_) {
            seed += 0x9e3779b97f4a7c15u;
            std::uint64_t z = seed;
            z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
            z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
            word = z ^ (z >> 31);
        }
    }

    std::uint64_t next() noexcept {
        const std::uint64_t result = rotl(state_[1] * 5, 7) * 9;
        const std::uint64_t t = state_[1] << 17;
        state_[2] ^= state_[0];
        state_[3] ^= state_[1];
        state_[1] ^= state_[2];
        state_[0] ^= state_[3];
        state_[2] ^= t;
        state_[3] = rotl(state_[3], 45);
        return result;
    }

    // A uniform draw in 0 .. m - 1, for 0 < m.
    std::uint32_t below(std::uint32_t m) noexcept {
        std::uint64_t product = (next() >> 32) * m;
        auto low = static_cast<std::uint32_t>(product);
        if (low < m) {
            const std::uint32_t threshold = static_cast<std::uint32_t>(0u - m) % m;
            while (low < threshold) {
                product = (next() >> 32) * m;
                low = static_cast<std::uint32_t>(product);
            }
        }
        return static_cast<std::uint32_t>(product >> 32);
    }

    // A uniform draw in [0, 1).
    double uniform() noexcept { return static_cast<double>(next() >> 11) * 0x1p-53; }

private:
    static std::uint64_t rotl(std::uint64_t x, int k) noexcept { return x << k | x >> (64 - k); }
    std::uint64_t state_[4] = {};
};

} // namespace phylo::permutation
