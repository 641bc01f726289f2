// Real-valued transformations, discrete-to-binary translation and sub-matrices on inputs of
// the size of large studies. Every operation here should scale linearly with its input
// (n log n per row for ranks).

#include <phylo/disc_to_binary.hpp>
#include <phylo/real_transform.hpp>
#include <phylo/sets/char_sets.hpp>

#include <benchmark/benchmark.h>

#include <random>
#include <string>

using namespace phylo;

namespace {

real_vector random_rows(index_type rows, index_type cols) {
    std::mt19937 gen(1);
    std::uniform_real_distribution<double> value(0.5, 10.0);
    real_vector v(0, rows - 1);
    for (auto& r : v) {
        r = std::make_unique<real_array>(0, cols - 1);
        for (auto& x : *r) x = value(gen);
    }
    return v;
}

void transform(benchmark::State& state, real_chars::transformation kind) {
    const index_type n = state.range(0);
    auto v = random_rows(n, n);
    for (auto _ : state) {
        real_chars::transform_matrix(v, kind);
        benchmark::DoNotOptimize(v[0]->data());
    }
    state.SetItemsProcessed(state.iterations() * n * n);
}

void transform_z_scores(benchmark::State& state) {
    transform(state, real_chars::transformation::FULL_Z_SCORES);
}
void transform_for_chi(benchmark::State& state) {
    transform(state, real_chars::transformation::FOR_CHI);
}
void transform_ranks(benchmark::State& state) {
    transform(state, real_chars::transformation::RANKS);
}
BENCHMARK(transform_z_scores)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(transform_for_chi)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(transform_ranks)->Arg(1000)->Unit(benchmark::kMillisecond);

void standardize(benchmark::State& state) {
    const index_type n = state.range(0);
    real_matrix m(0, n - 1, 0, n - 1);
    std::mt19937 gen(2);
    std::uniform_real_distribution<double> value(0.5, 1.0);
    for (index_type i = 0; i < n; ++i)
        for (index_type j = 0; j < n; ++j) m(i, j) = value(gen);
    for (auto _ : state) {
        real_chars::standardize(m);
        benchmark::DoNotOptimize(m.data());
    }
    state.SetItemsProcessed(state.iterations() * n * n);
}
BENCHMARK(standardize)->Arg(4000)->Unit(benchmark::kMillisecond);

void nonparametric(benchmark::State& state) {
    const auto v = random_rows(1, state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(real_chars::nonparametric(*v[0]));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(nonparametric)->Arg(1000000)->Unit(benchmark::kMillisecond);

void parametric(benchmark::State& state) {
    const auto v = random_rows(1, state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(real_chars::parametric(*v[0]));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(parametric)->Arg(1000000)->Unit(benchmark::kMillisecond);

void translate(benchmark::State& state) {
    const index_type n = state.range(0);
    disc_matrix m(0, n - 1, 0, n - 1);
    const std::string dna = "acgt-";
    for (index_type i = 0; i < n; ++i)
        for (index_type j = 0; j < n; ++j) m(i, j) = dna[static_cast<std::size_t>((i * 7 + j) % 5)];
    disc_to_binary::binary_translator table('-', 'z', binary::UNKNOWN);
    table['a'] = binary::PRESENCE;
    table['-'] = binary::ABSENCE;
    for (auto _ : state) benchmark::DoNotOptimize(disc_to_binary::translate(m, table).data());
    state.SetItemsProcessed(state.iterations() * n * n);
}
BENCHMARK(translate)->Arg(2000)->Unit(benchmark::kMillisecond);

void submatrix(benchmark::State& state) {
    const index_type n = state.range(0);
    squared x(0, n - 1);
    sets::hashed_taxa half;
    for (index_type i = 0; i < n; ++i) {
        x.labels[i] = "taxon_" + std::to_string(i);
        if (i % 2 == 0) half.insert(x.labels[i]);
    }
    for (auto _ : state) benchmark::DoNotOptimize(sets::submatrix(x, half).matrix.data());
    state.SetItemsProcessed(state.iterations() * n * n / 4);
}
BENCHMARK(submatrix)->Arg(4000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
