// The null values of the distance-based tests at the sizes of the speed targets: PERMANOVA and
// ANOSIM of 5,000 taxa in 4 groups, Mantel of 1,000 taxa, in batches of 64 reshuffles per call
// on one thread. `pair_perms_per_s` is n(n - 1)/2 times the reshuffles per second; `perms`
// the batch size.
//     ./build-bench/bench/distance_bench --benchmark_min_time=2

#include <phylo/distance/null_values.hpp>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

using namespace phylo;

namespace {

// Euclidean distances between random points in ten dimensions.
real_matrix distances(index_type n, unsigned seed) {
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> uniform(0, 1);
    std::vector<double> points(static_cast<std::size_t>(n) * 10);
    for (double& x : points) x = uniform(random);
    real_matrix d(0, n - 1, 0, n - 1);
    for (index_type i = 0; i < n; ++i)
        for (index_type j = 0; j < n; ++j) {
            double sum = 0;
            for (int k = 0; k < 10; ++k) {
                const double diff = points[static_cast<std::size_t>(i * 10 + k)] -
                                    points[static_cast<std::size_t>(j * 10 + k)];
                sum += diff * diff;
            }
            d(i, j) = std::sqrt(sum);
        }
    return d;
}

count_array groups(index_type n) {
    count_array g(0, n - 1);
    for (index_type i = 0; i < n; ++i) g[i] = static_cast<count_element>(i % 4);
    return g;
}

// `count` reshuffles of `codes`, one after the other.
std::vector<std::uint32_t> reshuffles(std::vector<std::uint32_t> codes, std::size_t count) {
    std::mt19937_64 random(7);
    std::vector<std::uint32_t> batch;
    for (std::size_t b = 0; b < count; ++b) {
        std::shuffle(codes.begin(), codes.end(), random);
        batch.insert(batch.end(), codes.begin(), codes.end());
    }
    return batch;
}

template <class Null>
void run(benchmark::State& state, const Null& null, const std::vector<std::uint32_t>& batch,
         std::size_t count) {
    std::vector<double> out(count);
    for (auto _ : state) {
        null.values(batch, out);
        benchmark::DoNotOptimize(out.data());
    }
    const double n = static_cast<double>(null.taxa());
    state.counters["perms"] = static_cast<double>(count);
    state.counters["pair_perms_per_s"] =
        benchmark::Counter(n * (n - 1) / 2 * static_cast<double>(count),
                           benchmark::Counter::kIsIterationInvariantRate);
}

std::vector<std::uint32_t> group_codes(index_type n) {
    std::vector<std::uint32_t> codes(static_cast<std::size_t>(n));
    for (std::size_t i = 0; i < codes.size(); ++i) codes[i] = static_cast<std::uint32_t>(i % 4);
    return codes;
}

void permanova_5000(benchmark::State& state) {
    static const distance::permanova_null null(distances(5000, 1), groups(5000));
    const auto count = static_cast<std::size_t>(state.range(0));
    run(state, null, reshuffles(group_codes(5000), count), count);
}
BENCHMARK(permanova_5000)->Arg(1)->Arg(64)->Unit(benchmark::kMillisecond);

void anosim_5000(benchmark::State& state) {
    static const distance::anosim_null null(distances(5000, 1), groups(5000));
    const auto count = static_cast<std::size_t>(state.range(0));
    run(state, null, reshuffles(group_codes(5000), count), count);
}
BENCHMARK(anosim_5000)->Arg(64)->Unit(benchmark::kMillisecond);

void mantel_1000(benchmark::State& state) {
    static const distance::mantel_null null(distances(1000, 1), distances(1000, 2),
                                            distance::correlation::pearson);
    const auto count = static_cast<std::size_t>(state.range(0));
    std::vector<std::uint32_t> identity(1000);
    std::iota(identity.begin(), identity.end(), 0u);
    run(state, null, reshuffles(identity, count), count);
}
BENCHMARK(mantel_1000)->Arg(64)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
