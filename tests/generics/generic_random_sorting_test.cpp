#include "../test_support.hpp"

#include <generics/generic_random_sorting.hpp>

#include <cstdint>
#include <map>
#include <numeric>
#include <random>
#include <vector>

using generics::bounded_array;
using generics::range_error;
using test_support::chi_square;

namespace {

using labels = bounded_array<std::string>;
using sorting = generics::generic_random_sorting<labels>;
using tally = std::map<std::string, int>;

// Reshuffles `l` `rounds` times, counting the orders it takes and the steps: for each slot,
// the position its label held before the reshuffle. Uniform steps mean that a reshuffle is
// uniform whatever order it starts from.
std::pair<tally, tally> reshuffle(labels l, int rounds, std::uint64_t seed) {
    tally orders, steps;
    sorting s;
    s.reset(seed);
    s.set_sorter(l.first(), l.last());
    for (int k = 0; k < rounds; ++k) {
        const labels before = l;
        s.sort_random(l);
        std::string order, step;
        for (const auto& x : l) {
            order += x;
            step += char('0' + (std::find(before.begin(), before.end(), x) - before.begin()));
        }
        ++orders[order];
        ++steps[step];
    }
    return {orders, steps};
}

} // namespace

// With 5 degrees of freedom, chi-square above 20.5 has probability 0.001 under uniformity;
// the old run of exchanges along the sorted slots gives about 6 * 60000 here. With one degree
// of freedom, 10.8 has probability 0.001.
TEST(GenericRandomSorting, ReshufflesTakeEveryOrderUniformly) {
    const auto [orders, steps] = reshuffle(labels(0, {"a", "b", "c"}), 60000, 20240601);
    for (const auto& [order, n] : orders)
        EXPECT_TRUE(std::is_permutation(order.begin(), order.end(), "abc")) << "lost: " << order;
    EXPECT_TRUE(chi_square(orders, 6) < 20.5 && chi_square(steps, 6) < 20.5);
    const auto [two_orders, two_steps] = reshuffle(labels(0, {"x", "y"}), 20000, 7);
    EXPECT_TRUE(chi_square(two_orders, 2) < 10.8 && chi_square(two_steps, 2) < 10.8);
    // An empty range and a single label stay as they are.
    EXPECT_EQ(reshuffle(labels(), 3, 1).first, (tally{{"", 3}}));
    EXPECT_EQ(reshuffle(labels(4, {"only"}), 3, 1).first, (tally{{"only", 3}}));
}

// Pins the sequence: a seed must give the same reshuffles in every build and every version.
TEST(GenericRandomSorting, SeedFixesTheSequence) {
    generics::generic_random_sorting<bounded_array<int>> s;
    s.set_sorter(1, 10);
    bounded_array<int> a(1, 10);
    for (int round = 0; round < 2; ++round) {
        s.reset(42); // in round 1 also drops the spare half word left below
        std::iota(a.begin(), a.end(), 1);
        s.sort_random(a);
        s.sort_random(a);
        EXPECT_EQ(std::vector<int>(a.begin(), a.end()),
                  (std::vector<int>{10, 5, 8, 4, 3, 2, 6, 1, 9, 7}));
        s.sort_random(a); // nine draws leave a spare half word
    }
}

TEST(GenericRandomSorting, Misuse) {
    const auto fails = [](auto&& f, const char* text) {
        test_support::expect_error<range_error>(f, text);
    };
    sorting s;
    labels l(0, {"a", "b", "c"}), shifted(1, {"a", "b", "c"});
    fails([&] { s.sort_random(l); }, "sort_random called before set_sorter");
    s.set_sorter(0, 3);
    fails([&] { s.sort_random(l); }, "labels 0 .. 2 do not match the sorter 0 .. 3");
    s.set_sorter(0, 2);
    fails([&] { s.sort_random(shifted); }, "labels 1 .. 3 do not match the sorter 0 .. 2");
    EXPECT_EQ(shifted, labels(1, {"a", "b", "c"}));
    // A negative first on a non-empty range leaves no sorter behind.
    fails([&] { s.set_sorter(-1, 2); }, "");
    EXPECT_FALSE(s.has_sorter());
}

// The words are std::mt19937_64's outputs cut in halves, high half first, across the batches
// in which they are made, from the default state and after every reseeding; a reshuffle of
// many labels is the Fisher-Yates shuffle drawn from them.
TEST(GenericRandomSorting, DrawsAreTheStandardGeneratorsWords) {
    for (const std::uint64_t seed : {std::uint64_t{0}, std::uint64_t{5489}, ~std::uint64_t{0}}) {
        generics::generic_random_sorting<bounded_array<std::uint32_t>> s;
        std::mt19937_64 reference;
        if (seed != 5489) s.reset(seed), reference.seed(seed);
        for (int k = 0; k < 1000; ++k) { // three batches of words
            const std::uint64_t x = reference(), y = reference();
            const double expected =
                static_cast<double>((x >> 32) << 21 | (x & 0xFFFFFFFF) >> 11) * 0x1p-53;
            ASSERT_EQ(s.uniform(), expected) << seed << " " << k;
            ASSERT_EQ(s.below(0xFFFFFFFF),
                      static_cast<std::uint32_t>(((y >> 32) * 0xFFFFFFFFULL) >> 32));
            ASSERT_EQ(s.below(7), static_cast<std::uint32_t>(((y & 0xFFFFFFFF) * 7) >> 32));
        }
        std::vector<std::uint32_t> plain(5000);
        std::iota(plain.begin(), plain.end(), 0u);
        bounded_array<std::uint32_t> batched(0, plain);
        s.set_sorter(0, 4999);
        auto t = s; // the same words, drawn one at a time
        s.sort_random(batched);
        for (std::uint32_t i = 5000; i > 1; --i) std::swap(plain[i - 1], plain[t.below(i)]);
        EXPECT_TRUE(std::equal(plain.begin(), plain.end(), batched.begin())) << seed;
    }
}
