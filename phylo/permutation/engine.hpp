#pragma once
// The permutation engine: the null values of any test, drawn on any number of threads and
// handed over in reshuffle order, with the same values whatever the number of threads.
//
// An exact test (exact()) walks arrangements 1 .. arrangements() of the data in place of random
// reshuffles, each once, in an order fixed by the data alone; each arrangement's statistics are
// followed by its weight, its probability under the null hypothesis up to a common factor.
//
// A test is a `null_family`: built once from its data (immutable afterwards), it says how many
// statistics a reshuffle gives and makes, for each thread, a `drawer` with that thread's
// scratch space. A drawer computes the statistics of any run of consecutive reshuffles; the
// values of reshuffle k may depend only on the data, the seed and k (random.hpp).
//
//     const contingency_test test(columns, {statistic::chi2});
//     for_each_null(test, seed, 1, 999, threads, [&](std::int64_t k, std::span<const double> v) {
//         ... // v: the statistics of reshuffle k, k = 1, 2, ..., 999 in order
//     });

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace phylo::permutation {

// How a test's p-value comes about: from random reshuffles, or from every arrangement.
enum class test_method { monte_carlo, exact };

class null_family {
public:
    virtual ~null_family() = default;

    // The scratch space of one thread.
    class drawer {
    public:
        virtual ~drawer() = default;
        // The statistics of reshuffles k .. k + count - 1 of a test seeded with `seed` into
        // `out`, reshuffle by reshuffle: out[(j * width()) + i] is statistic i of reshuffle k + j.
        virtual void draw(std::uint64_t seed, std::int64_t k, std::int64_t count, double* out) = 0;
    };

    // The values of one reshuffle: its statistics, and the weight when exact().
    [[nodiscard]] virtual std::size_t width() const noexcept = 0;
    [[nodiscard]] virtual bool exact() const noexcept { return false; }
    // How many arrangements an exact test walks (reshuffle k is arrangement k); 0 otherwise.
    [[nodiscard]] virtual std::int64_t arrangements() const noexcept { return 0; }
    // How many consecutive reshuffles a thread takes at a time: enough to pay for a pass over
    // the data, few enough to spread the work over the threads.
    [[nodiscard]] virtual std::int64_t block() const noexcept { return 8; }
    // Whether there is anything to draw: an undefined test's reshuffles are all not-a-numbers.
    [[nodiscard]] virtual bool defined() const noexcept { return true; }
    [[nodiscard]] virtual std::unique_ptr<drawer> make_drawer() const = 0;
};

// What receives each reshuffle's statistics: its number and its values.
using null_consumer = std::function<void(std::int64_t, std::span<const double>)>;

// The statistics of reshuffles first .. last (from 1), handed to consume(k, values of reshuffle
// k) in increasing k on the calling thread while `threads` (at least 1) others draw; memory does
// not grow with the reshuffles. An exception from consume or a draw ends the run and propagates.
void for_each_null(const null_family& test, std::uint64_t seed, std::int64_t first,
                   std::int64_t last, unsigned threads, const null_consumer& consume);

// The same values kept: values[(k - first) * width + i] is statistic i of reshuffle k.
[[nodiscard]] std::vector<double> null_values(const null_family& test, std::uint64_t seed,
                                              std::int64_t first, std::int64_t last,
                                              unsigned threads);

} // namespace phylo::permutation
