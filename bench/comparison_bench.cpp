// The one-call partition comparison on the data that comparison_compare.py writes, so that
// scikit-learn measures the same partitions in the same run:
//     comparison_bench FOLDER REPEATS
// FOLDER holds first.i32 and second.i32 (n int32 group numbers each) and first.txt and
// second.txt (the same partitions as n label lines). Prints one JSON object: the best of
// REPEATS wall-clock seconds for each step.

#include <phylo/taxonomy/comparison.hpp>
#include <phylo/taxonomy/group_numbers.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

using namespace phylo;
using namespace phylo::taxonomy;

namespace {

count_array read_groups(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) throw std::runtime_error("cannot open " + path);
    const auto bytes = static_cast<std::size_t>(in.tellg());
    std::vector<count_element> values(bytes / sizeof(count_element));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(values.data()), static_cast<std::streamsize>(bytes));
    return count_array(0, std::move(values));
}

taxon_labels read_labels(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot open " + path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return taxon_labels(0, std::move(lines));
}

template <class F>
double best_of(int repeats, F&& f) {
    double best = std::numeric_limits<double>::infinity();
    for (int r = 0; r < repeats; ++r) {
        const auto start = std::chrono::steady_clock::now();
        f();
        best = std::min(
            best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: comparison_bench FOLDER REPEATS\n";
        return 2;
    }
    const std::string folder = argv[1];
    const int repeats = std::atoi(argv[2]);
    const auto first = read_groups(folder + "/first.i32");
    const auto second = read_groups(folder + "/second.i32");
    const auto first_labels = read_labels(folder + "/first.txt");
    const auto second_labels = read_labels(folder + "/second.txt");

    partition_comparison r{};
    const double table = best_of(repeats, [&] { (void)contingency(first, second); });
    const auto cells = contingency(first, second);
    const double margins = best_of(repeats, [&] { (void)measure_margins(cells); });
    const double numbers = best_of(repeats, [&] { r = compare(first, second); });
    const double labels = best_of(repeats, [&] { r = compare(first_labels, second_labels); });
    std::printf(
        "{\"contingency\": %.6f, \"measure_margins\": %.6f, \"compare_numbers\": %.6f, "
        "\"compare_labels\": %.6f, \"adjusted_rand\": %.17g, \"nmi\": %.17g, \"ami\": %.17g}\n",
        table, margins, numbers, labels, r.adjusted_rand, r.nmi, r.ami);
    return 0;
}
