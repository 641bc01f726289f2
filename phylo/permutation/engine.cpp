#include <phylo/permutation/engine.hpp>

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <limits>
#include <mutex>
#include <thread>

namespace phylo::permutation {

void for_each_null(const null_family& test, std::uint64_t seed, std::int64_t first,
                   std::int64_t last, unsigned threads, const null_consumer& consume) {
    const std::size_t width = test.width();
    const std::int64_t count = std::max<std::int64_t>(0, last - first + 1);
    if (count == 0) return;
    if (!test.defined()) {
        const std::vector<double> nan(width, std::numeric_limits<double>::quiet_NaN());
        for (std::int64_t k = first; k <= last; ++k) consume(k, nan);
        return;
    }
    // Workers draw blocks of reshuffles into a ring of slots; this thread hands the blocks to
    // `consume` in order. A worker more than the ring ahead of the consumer waits, so memory
    // does not grow with the number of reshuffles.
    const std::int64_t block = std::max<std::int64_t>(1, test.block());
    const std::int64_t blocks = (count + block - 1) / block;
    const auto workers = static_cast<std::int64_t>(std::clamp<std::int64_t>(threads, 1, blocks));
    const std::int64_t ring = 4 * workers;
    std::vector<double> slots(static_cast<std::size_t>(ring * block) * width);
    std::vector<std::int64_t> holds(static_cast<std::size_t>(ring), -1); // the block in a slot
    std::mutex lock;
    std::condition_variable changed;
    std::int64_t delivered = 0; // blocks handed to consume
    std::int64_t claimed = 0;
    bool stop = false;
    std::exception_ptr failure;
    const auto work = [&] {
        try {
            const auto drawer = test.make_drawer();
            for (;;) {
                std::int64_t b = 0;
                {
                    std::unique_lock guard(lock);
                    if (stop || claimed == blocks) return;
                    b = claimed++;
                    changed.wait(guard, [&] { return stop || b < delivered + ring; });
                    if (stop) return;
                }
                const auto slot = static_cast<std::size_t>(b % ring);
                double* out = slots.data() + slot * static_cast<std::size_t>(block) * width;
                const std::int64_t from = b * block;
                drawer->draw(seed, first + from, std::min(count, from + block) - from, out);
                {
                    const std::lock_guard guard(lock);
                    holds[slot] = b;
                }
                changed.notify_all();
            }
        } catch (...) {
            {
                const std::lock_guard guard(lock);
                if (!failure) failure = std::current_exception();
                stop = true;
            }
            changed.notify_all();
        }
    };
    std::vector<std::jthread> pool;
    try {
        for (std::int64_t t = 0; t < workers; ++t) pool.emplace_back(work);
        for (std::int64_t b = 0; b < blocks; ++b) {
            const auto slot = static_cast<std::size_t>(b % ring);
            {
                std::unique_lock guard(lock);
                changed.wait(guard, [&] { return stop || holds[slot] == b; });
                if (stop) break;
            }
            const double* in = slots.data() + slot * static_cast<std::size_t>(block) * width;
            for (std::int64_t i = b * block; i < std::min(count, (b + 1) * block); ++i)
                consume(first + i,
                        std::span<const double>(
                            in + static_cast<std::size_t>(i - b * block) * width, width));
            {
                const std::lock_guard guard(lock);
                delivered = b + 1;
            }
            changed.notify_all();
        }
    } catch (...) {
        {
            const std::lock_guard guard(lock);
            stop = true;
        }
        changed.notify_all();
        pool.clear(); // joins
        throw;
    }
    pool.clear();
    if (failure) std::rethrow_exception(failure);
}

std::vector<double> null_values(const null_family& test, std::uint64_t seed, std::int64_t first,
                                std::int64_t last, unsigned threads) {
    std::vector<double> values;
    values.reserve(static_cast<std::size_t>(std::max<std::int64_t>(0, last - first + 1)) *
                   test.width());
    for_each_null(test, seed, first, last, threads,
                  [&values](std::int64_t, std::span<const double> v) {
                      values.insert(values.end(), v.begin(), v.end());
                  });
    return values;
}

} // namespace phylo::permutation
