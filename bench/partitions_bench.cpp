// Partition comparison, single linkage and group numbering at the sizes users run.
// With LABMIX_BENCH_DATA naming a folder written by partitions_compare.py, the partitions and
// the distance matrix are read from it, so both sides measure the same data; otherwise the
// data are generated here from fixed seeds.

#include <phylo/taxonomy/group_numbers.hpp>
#include <phylo/taxonomy/partitions.hpp>
#include <phylo/taxonomy/slc_series.hpp>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

using namespace phylo;
using namespace phylo::taxonomy;

namespace {

constexpr index_type partition_taxa = 1'000'000;
constexpr int partition_groups = 1000;
constexpr index_type matrix_taxa = 3000;
constexpr int thresholds = 50;

const char* data_folder() { return std::getenv("LABMIX_BENCH_DATA"); }

template <class T>
std::vector<T> read_raw(const std::string& name, std::size_t count) {
    std::vector<T> values(count);
    std::ifstream in(std::string(data_folder()) + "/" + name, std::ios::binary);
    if (!in.read(reinterpret_cast<char*>(values.data()),
                 static_cast<std::streamsize>(count * sizeof(T))))
        throw std::runtime_error("cannot read " + name);
    return values;
}

count_vector partition_set(const char* file, unsigned seed) {
    count_vector set(0, 0);
    set[0] = std::make_unique<count_array>(0, partition_taxa - 1);
    if (data_folder() != nullptr) {
        const auto values = read_raw<count_element>(file, partition_taxa);
        std::copy(values.begin(), values.end(), set[0]->begin());
    } else {
        std::mt19937 random(seed);
        for (auto& g : *set[0]) g = static_cast<count_element>(random() % partition_groups);
        for (count_element g = 0; g < partition_groups; ++g) (*set[0])[g] = g; // every group used
    }
    return set;
}

// Euclidean distances between random points in ten dimensions.
const real_matrix& distance_matrix() {
    static const real_matrix matrix = [] {
        real_matrix m(0, matrix_taxa - 1, 0, matrix_taxa - 1);
        if (data_folder() != nullptr) {
            const auto values = read_raw<double>(
                "distances.f64", static_cast<std::size_t>(matrix_taxa * matrix_taxa));
            std::copy(values.begin(), values.end(), m.data());
            return m;
        }
        std::mt19937 random(5);
        std::uniform_real_distribution<double> uniform(0, 1);
        std::vector<double> points(static_cast<std::size_t>(matrix_taxa * 10));
        for (auto& x : points) x = uniform(random);
        for (index_type i = 0; i < matrix_taxa; ++i)
            for (index_type j = 0; j < matrix_taxa; ++j) {
                double sum = 0;
                for (int d = 0; d < 10; ++d) {
                    const double diff = points[static_cast<std::size_t>(i * 10 + d)] -
                                        points[static_cast<std::size_t>(j * 10 + d)];
                    sum += diff * diff;
                }
                m(i, j) = std::sqrt(sum);
            }
        return m;
    }();
    return matrix;
}

void partition_similarities_one_pair(benchmark::State& state) {
    const auto first = partition_set("first.i32", 1);
    const auto second = partition_set("second.i32", 2);
    for (auto _ : state) benchmark::DoNotOptimize(partition_similarities(first, second));
    state.SetItemsProcessed(state.iterations() * partition_taxa);
}
BENCHMARK(partition_similarities_one_pair)->Unit(benchmark::kMillisecond);

void partition_measures_one(benchmark::State& state) {
    const auto first = partition_set("first.i32", 1);
    for (auto _ : state) benchmark::DoNotOptimize(partition_measures(*first[0]));
    state.SetItemsProcessed(state.iterations() * partition_taxa);
}
BENCHMARK(partition_measures_one)->Unit(benchmark::kMillisecond);

void squared_to_pairwise_only(benchmark::State& state) {
    const auto& m = distance_matrix();
    for (auto _ : state) benchmark::DoNotOptimize(squared_to_pairwise(m));
}
BENCHMARK(squared_to_pairwise_only)->Unit(benchmark::kMillisecond);

// Thresholds from 0 to the largest distance in 50 steps: the series runs through every merge.
void pairwise_and_slc_series(benchmark::State& state) {
    const auto& m = distance_matrix();
    for (auto _ : state) {
        const auto pairs = squared_to_pairwise(m);
        const double step = pairs[pairs.last()].distance / (thresholds - 1);
        count_vector series(0, thresholds - 1);
        for (auto& row : series) row = std::make_unique<count_array>(0, matrix_taxa - 1);
        slc_series(pairs, 0.0, step, series);
        benchmark::DoNotOptimize(series);
    }
}
BENCHMARK(pairwise_and_slc_series)->Unit(benchmark::kMillisecond);

// A name row and two classifications of state.range(0) taxa (about sqrt(n) and n / 10 groups),
// the name row shuffled against the labels (state.range(1) = 1) or in label order (0).
void to_group_numbers_table(benchmark::State& state) {
    const index_type n = state.range(0);
    const bool shuffled = state.range(1) != 0;
    std::mt19937 random(9);
    taxon_labels labels(0, n - 1);
    for (index_type k = 0; k < n; ++k) labels[k] = "taxon_" + std::to_string(k);
    group_name_vector table(0, 2);
    for (auto& row : table) row = std::make_unique<taxon_labels>(0, n - 1);
    std::vector<index_type> order(static_cast<std::size_t>(n));
    for (index_type k = 0; k < n; ++k) order[static_cast<std::size_t>(k)] = k;
    if (shuffled) std::shuffle(order.begin(), order.end(), random);
    const auto coarse = static_cast<unsigned>(std::sqrt(static_cast<double>(n)));
    const auto fine = static_cast<unsigned>(n / 10);
    for (index_type j = 0; j < n; ++j) {
        (*table[0])[j] = labels[order[static_cast<std::size_t>(j)]];
        (*table[1])[j] = "genus_" + std::to_string(random() % coarse);
        (*table[2])[j] = "species_" + std::to_string(random() % fine);
    }
    for (auto _ : state) benchmark::DoNotOptimize(to_group_numbers(labels, table));
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(to_group_numbers_table)
    ->ArgsProduct({{10'000, 100'000, 1'000'000}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
