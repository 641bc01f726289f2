// Reading group-name tables from a 1,000,000-row two-column table held in memory (about 27 MB,
// taxon names of 8 to 20 characters and family-like group names): the row visitor alone
// (`for_each_row`, every line split and checked, nothing kept), `get` alone, and `get`
// followed by the extraction of both columns.

#include <phylo/taxonomy/table.hpp>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <array>
#include <cstddef>
#include <istream>
#include <random>
#include <span>
#include <streambuf>
#include <string>
#include <string_view>

namespace {

using phylo::taxonomy::group_names;

// A table like the tool's benchmark tables, the same on every run.
std::string make_table(int rows) {
    static constexpr std::array<const char*, 24> syllables = {
        "ba",  "be",  "ko",  "la",  "mi",  "nu",  "pa",  "re",  "si",  "ta",  "vo", "za",
        "tra", "pho", "chi", "str", "rum", "lus", "nus", "tes", "ria", "lia", "ca", "do"};
    static constexpr std::array<const char*, 6> endings = {"us", "a", "is", "um", "ensis", "ii"};
    std::mt19937_64 random(13);
    auto pick = [&random](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    auto syllable_run = [&](std::string& out) {
        for (std::size_t k = 0, n = 1 + pick(3); k < n; ++k)
            out += syllables[pick(syllables.size())];
    };
    std::string text;
    text.reserve(static_cast<std::size_t>(rows) * 28);
    std::string name;
    for (int i = 0; i < rows; ++i) {
        name = static_cast<char>('A' + pick(26));
        syllable_run(name);
        name += '_';
        syllable_run(name);
        name += endings[pick(endings.size())];
        name.resize(std::min<std::size_t>(name.size(), 20));
        while (name.size() < 8) name += 'o';
        text += name;
        text += '\t';
        text += static_cast<char>('A' + pick(26));
        syllable_run(text);
        text += "aceae\n";
    }
    return text;
}

const std::string& table_text() {
    static const std::string text = make_table(1'000'000);
    return text;
}

// An input stream over text held elsewhere, so that no run pays for copying the table.
class memory_input : public std::streambuf {
public:
    explicit memory_input(const std::string& text) {
        char* p = const_cast<char*>(text.data());
        setg(p, p, p + text.size());
    }
};

void report(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(table_text().size()));
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void visit_rows(benchmark::State& state) {
    const std::string& text = table_text();
    for (auto _ : state) {
        memory_input buffer(text);
        std::istream in(&buffer);
        std::size_t bytes = 0;
        phylo::taxonomy::for_each_row(in, '\t', "memory",
                                      [&bytes](std::span<const std::string_view> fields) {
                                          bytes += fields[0].size() + fields[1].size();
                                      });
        benchmark::DoNotOptimize(bytes);
    }
    report(state);
}
BENCHMARK(visit_rows)->Unit(benchmark::kMillisecond);

void get_table(benchmark::State& state) {
    const std::string& text = table_text();
    for (auto _ : state) {
        memory_input buffer(text);
        std::istream in(&buffer);
        auto table = phylo::taxonomy::get(in, '\t', "memory");
        benchmark::DoNotOptimize(table.data());
        state.PauseTiming();
        table = {};
        state.ResumeTiming();
    }
    report(state);
}
BENCHMARK(get_table)->Unit(benchmark::kMillisecond);

// The tool's whole reading road: read, take both columns, release everything.
void get_extract_release(benchmark::State& state) {
    const std::string& text = table_text();
    for (auto _ : state) {
        memory_input buffer(text);
        std::istream in(&buffer);
        auto table = phylo::taxonomy::get(in, '\t', "memory");
        auto fixed = group_names::extract(table, 0);
        auto permuted = group_names::extract(table, 1);
        benchmark::DoNotOptimize(fixed.data());
        benchmark::DoNotOptimize(permuted.data());
    }
    report(state);
}
BENCHMARK(get_extract_release)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
