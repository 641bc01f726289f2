#pragma once
// The 8 x 8 tile kernel of `generic_array_functions::transpose`.

#include <cstddef>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace generics {

namespace detail {

// Transposes one 8 x 8 tile: dst[b][a] = src[a][b]. Four- and eight-byte trivially copyable
// elements are moved as raw bits through SSE2 registers (4 x 4 and 2 x 2 blocks), which
// makes `transpose` about twice as fast as the unrolled scalar kernel; everything else, and
// every target without SSE2, uses the scalar kernel.
inline constexpr std::size_t transpose_tile_size = 8;

template <class E>
inline void transpose_tile(const E* const* src, E* const* dst) {
    constexpr std::size_t n = transpose_tile_size;
#if defined(__SSE2__)
    if constexpr (std::is_trivially_copyable_v<E> && sizeof(E) == 4) {
        for (std::size_t a = 0; a < n; a += 4)
            for (std::size_t b = 0; b < n; b += 4) {
                const auto load = [&](std::size_t k) {
                    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(src[a + k] + b));
                };
                const __m128i r0 = load(0), r1 = load(1), r2 = load(2), r3 = load(3);
                const __m128i t0 = _mm_unpacklo_epi32(r0, r1), t1 = _mm_unpacklo_epi32(r2, r3);
                const __m128i t2 = _mm_unpackhi_epi32(r0, r1), t3 = _mm_unpackhi_epi32(r2, r3);
                _mm_storeu_si128(reinterpret_cast<__m128i*>(dst[b] + a),
                                 _mm_unpacklo_epi64(t0, t1));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(dst[b + 1] + a),
                                 _mm_unpackhi_epi64(t0, t1));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(dst[b + 2] + a),
                                 _mm_unpacklo_epi64(t2, t3));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(dst[b + 3] + a),
                                 _mm_unpackhi_epi64(t2, t3));
            }
        return;
    } else if constexpr (std::is_trivially_copyable_v<E> && sizeof(E) == 8) {
        for (std::size_t a = 0; a < n; a += 2)
            for (std::size_t b = 0; b < n; b += 2) {
                const __m128i r0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src[a] + b));
                const __m128i r1 =
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(src[a + 1] + b));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(dst[b] + a),
                                 _mm_unpacklo_epi64(r0, r1));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(dst[b + 1] + a),
                                 _mm_unpackhi_epi64(r0, r1));
            }
        return;
    }
#endif
    for (std::size_t a = 0; a < n; ++a)
        for (std::size_t b = 0; b < n; ++b) dst[b][a] = src[a][b];
}

} // namespace detail

} // namespace generics
