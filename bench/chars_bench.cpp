// Character containers on 1,000 x 1,000 count and real data: the conversions between row
// vectors and matrices against a plain copy of the same bytes, apply overload 15 (all row
// pairs), and the in-place heap sort of 1,000,000 elements against std::sort.

#include <phylo/count_chars.hpp>
#include <phylo/real_chars.hpp>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

constexpr phylo::index_type side = 1000;

template <class T>
std::vector<T> random_values(std::size_t n) {
    std::mt19937 random(12345);
    std::vector<T> values(n);
    if constexpr (std::is_floating_point_v<T>) {
        std::uniform_real_distribution<T> value(0.0, 100.0);
        for (auto& x : values) x = value(random);
    } else {
        std::uniform_int_distribution<T> value(0, 99);
        for (auto& x : values) x = value(random);
    }
    return values;
}

template <class T>
generics::bounded_array<std::unique_ptr<generics::bounded_array<T>>>
random_vector(phylo::index_type n) {
    const auto values = random_values<T>(static_cast<std::size_t>(n * n));
    generics::bounded_array<std::unique_ptr<generics::bounded_array<T>>> v(0, n - 1);
    for (phylo::index_type i = 0; i < n; ++i) {
        const T* from = values.data() + i * n;
        v[i] = std::make_unique<generics::bounded_array<T>>(0, std::vector<T>(from, from + n));
    }
    return v;
}

// The baseline: a new row vector holding a copy of every row, the same bytes and the same
// number of allocations as a conversion's result.
template <class T>
void copy_rows(benchmark::State& state) {
    const auto v = random_vector<T>(side);
    for (auto _ : state) {
        generics::bounded_array<std::unique_ptr<generics::bounded_array<T>>> copy(v.first(),
                                                                                  v.last());
        for (phylo::index_type i = v.first(); i <= v.last(); ++i)
            copy.unchecked(i) = std::make_unique<generics::bounded_array<T>>(*v.unchecked(i));
        benchmark::DoNotOptimize(copy.data());
    }
    state.SetBytesProcessed(state.iterations() * side * side *
                            static_cast<std::int64_t>(sizeof(T)));
}

// The baseline for results held in one block: one flat copy of all elements.
template <class T>
void copy_block(benchmark::State& state) {
    const auto values = random_values<T>(static_cast<std::size_t>(side * side));
    for (auto _ : state) {
        std::vector<T> copy(values);
        benchmark::DoNotOptimize(copy.data());
    }
    state.SetBytesProcessed(state.iterations() * side * side *
                            static_cast<std::int64_t>(sizeof(T)));
}

template <class T>
void transpose(benchmark::State& state) {
    using family = generics::generic_array_functions<T>;
    const auto v = random_vector<T>(side);
    for (auto _ : state) {
        auto t = family::transpose(v);
        benchmark::DoNotOptimize(t.data());
    }
    state.SetBytesProcessed(state.iterations() * side * side *
                            static_cast<std::int64_t>(sizeof(T)));
}

template <class T>
void arrays_to_matrix(benchmark::State& state) {
    using family = generics::generic_array_functions<T>;
    const auto v = random_vector<T>(side);
    for (auto _ : state) {
        auto m = family::arrays_to_matrix(v);
        benchmark::DoNotOptimize(m.data());
    }
    state.SetBytesProcessed(state.iterations() * side * side *
                            static_cast<std::int64_t>(sizeof(T)));
}

template <class T>
void matrix_to_arrays(benchmark::State& state) {
    using family = generics::generic_array_functions<T>;
    const auto m = family::arrays_to_matrix(random_vector<T>(side));
    for (auto _ : state) {
        auto v = family::matrix_to_arrays(m);
        benchmark::DoNotOptimize(v.data());
    }
    state.SetBytesProcessed(state.iterations() * side * side *
                            static_cast<std::int64_t>(sizeof(T)));
}

// Overload 15: a distance between every pair of rows (half the pairs, mirrored).
template <class T>
void apply_all_row_pairs(benchmark::State& state) {
    using family = generics::generic_array_functions<T>;
    const auto v = random_vector<T>(side);
    const auto difference = [](const T& a, const T& b) -> T { return a > b ? a - b : b - a; };
    const auto sum = [](const T& a, const T& b) -> T { return a + b; };
    for (auto _ : state) {
        auto d = family::apply(v, difference, sum, false);
        benchmark::DoNotOptimize(d.data());
    }
    state.SetItemsProcessed(state.iterations() * side * (side + 1) / 2 * side);
}

template <class T>
void heap_sort(benchmark::State& state) {
    using order = generics::generic_order_functions<T>;
    const auto values = random_values<T>(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        generics::bounded_array<T> a(0, values);
        state.ResumeTiming();
        order::array_sort(a);
        benchmark::DoNotOptimize(a.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

template <class T>
void std_sort(benchmark::State& state) {
    const auto values = random_values<T>(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<T> a(values);
        state.ResumeTiming();
        std::sort(a.begin(), a.end());
        benchmark::DoNotOptimize(a.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Counts spread over the whole range, as partitions of many groups are.
void heap_sort_wide_counts(benchmark::State& state) {
    std::mt19937 random(777);
    std::uniform_int_distribution<std::int32_t> value(0, 2147483647);
    std::vector<std::int32_t> values(static_cast<std::size_t>(state.range(0)));
    for (auto& x : values) x = value(random);
    for (auto _ : state) {
        state.PauseTiming();
        phylo::count_array a(0, values);
        state.ResumeTiming();
        phylo::count_chars::array_sort(a);
        benchmark::DoNotOptimize(a.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void std_sort_wide_counts(benchmark::State& state) {
    std::mt19937 random(777);
    std::uniform_int_distribution<std::int32_t> value(0, 2147483647);
    std::vector<std::int32_t> values(static_cast<std::size_t>(state.range(0)));
    for (auto& x : values) x = value(random);
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<std::int32_t> a(values);
        state.ResumeTiming();
        std::sort(a.begin(), a.end());
        benchmark::DoNotOptimize(a.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

} // namespace

BENCHMARK_TEMPLATE(copy_rows, phylo::count_element)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(copy_block, phylo::count_element)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(transpose, phylo::count_element)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(arrays_to_matrix, phylo::count_element)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(matrix_to_arrays, phylo::count_element)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(copy_rows, phylo::real_element)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(copy_block, phylo::real_element)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(transpose, phylo::real_element)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(arrays_to_matrix, phylo::real_element)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(matrix_to_arrays, phylo::real_element)->Unit(benchmark::kMillisecond);

BENCHMARK_TEMPLATE(apply_all_row_pairs, phylo::count_element)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
BENCHMARK_TEMPLATE(apply_all_row_pairs, phylo::real_element)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

BENCHMARK_TEMPLATE(heap_sort, phylo::count_element)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(std_sort, phylo::count_element)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(heap_sort_wide_counts)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(std_sort_wide_counts)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(heap_sort, phylo::real_element)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(std_sort, phylo::real_element)->Arg(1000000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
