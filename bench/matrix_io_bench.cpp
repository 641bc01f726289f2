// Reading and writing a 3,000 x 3,000 tab-separated distance matrix (8 decimals, about
// 108 MB) with the matrix file reader and printer; reading one DNA alignment written
// sequential and interleaved; and reading the same data as sequential (extended) PHYLIP and
// as NEXUS, both written by the printer: a 1,000 x 20,000 DNA matrix (about 20 MB) and a
// 1,500 x 1,500 distance matrix (about 27 MB). The file is written once, by the printer,
// in a child process, so that the reader's peak memory is measured without the writer's
// matrix. Counters: bytes per second, and for the reader the process's peak resident size
// next to the size of the matrix itself (n * n doubles).

#include <phylo/nexus.hpp>
#include <phylo/print.hpp>
#include <phylo/read.hpp>

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace {

constexpr phylo::index_type n = 3000;

std::string data_file() {
    return (std::filesystem::temp_directory_path() / "labmix_matrix_io_3000.tsv").string();
}

phylo::squared make_matrix() {
    phylo::squared x(0, n - 1);
    std::mt19937_64 random(42);
    std::uniform_real_distribution<double> value(0.0, 1.0);
    for (phylo::index_type i = 0; i < n; ++i) {
        x.labels[i] = "taxon_" + std::to_string(i);
        for (phylo::index_type j = 0; j < n; ++j) x.matrix(i, j) = i == j ? 0.0 : value(random);
    }
    return x;
}

void write_file(const phylo::squared& x, const std::string& name) {
    std::ofstream out(name, std::ios::binary);
    phylo::print::put(out, x, phylo::print::dist_output_format::TAB_SEPARATED, 2, 8, 0);
}

// Writes the data file in a child process unless it is there already.
void ensure_data_file() {
    if (std::filesystem::exists(data_file())) return;
    const pid_t child = fork();
    if (child == 0) {
        write_file(make_matrix(), data_file());
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
}

double peak_rss_mb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void read_tab_separated(benchmark::State& state) {
    ensure_data_file();
    const auto bytes = static_cast<std::int64_t>(std::filesystem::file_size(data_file()));
    for (auto _ : state) {
        std::ifstream in(data_file(), std::ios::binary);
        phylo::squared x = phylo::read::get(in, phylo::read::dist_input_format::TAB_SEPARATED);
        benchmark::DoNotOptimize(x.matrix.data());
    }
    state.SetBytesProcessed(state.iterations() * bytes);
    state.counters["file_MB"] = static_cast<double>(bytes) / 1e6;
    state.counters["matrix_MB"] = static_cast<double>(n * n * sizeof(double)) / (1024.0 * 1024.0);
    state.counters["peak_rss_MB"] = peak_rss_mb();
}
BENCHMARK(read_tab_separated)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

void write_tab_separated(benchmark::State& state) {
    const phylo::squared x = make_matrix();
    const std::string name = data_file() + ".out";
    for (auto _ : state) write_file(x, name);
    const auto bytes = static_cast<std::int64_t>(std::filesystem::file_size(name));
    std::filesystem::remove(name);
    state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(write_tab_separated)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same matrix written to a stream that discards it: the formatting alone.
class discard_buffer : public std::streambuf {
protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override {
        bytes += n;
        return n;
    }

public:
    std::streamsize bytes = 0;
};

void format_tab_separated(benchmark::State& state) {
    const phylo::squared x = make_matrix();
    discard_buffer sink;
    std::ostream out(&sink);
    for (auto _ : state)
        phylo::print::put(out, x, phylo::print::dist_output_format::TAB_SEPARATED, 2, 8, 0);
    state.SetBytesProcessed(static_cast<std::int64_t>(sink.bytes));
}
BENCHMARK(format_tab_separated)->Unit(benchmark::kMillisecond)->UseRealTime();

// A DNA alignment of 200 taxa and 50,000 sites (10 MB of states) in strict PHYLIP, written
// sequential by the printer (one line per taxon) and interleaved as PHYLIP's own programs and
// Biopython write it (blocks of 60 states in groups of 10, later blocks indented by 10
// blanks, a blank line between blocks). Both read to the same record; the interleaved file
// is read with its layout detected, as a caller who does not know it would.
constexpr phylo::index_type alignment_taxa = 200;
constexpr phylo::index_type alignment_sites = 50000;

std::string alignment_file(const char* layout) {
    return (std::filesystem::temp_directory_path() /
            (std::string("labmix_alignment_") + layout + ".phy"))
        .string();
}

void ensure_alignment_files() {
    if (std::filesystem::exists(alignment_file("interleaved"))) return;
    phylo::disc_data x(0, alignment_taxa - 1);
    std::mt19937_64 random(7);
    for (phylo::index_type i = 0; i < alignment_taxa; ++i) {
        x.labels[i] = "taxon_" + std::to_string(i);
        x.rows[i] = std::make_unique<phylo::disc_array>(0, alignment_sites - 1);
        for (char& state : *x.rows[i]) state = "ACGT"[random() % 4];
    }
    {
        std::ofstream out(alignment_file("sequential"), std::ios::binary);
        phylo::print::put(out, x, phylo::print::output_format::PHYLIP);
    }
    std::ofstream out(alignment_file("interleaved"), std::ios::binary);
    out << alignment_taxa << ' ' << alignment_sites << '\n';
    for (phylo::index_type at = 0; at < alignment_sites; at += 60) {
        if (at > 0) out << '\n';
        for (phylo::index_type i = 0; i < alignment_taxa; ++i) {
            const std::string name = x.labels[i] + std::string(10, ' ');
            out << (at == 0 ? name.substr(0, 10) : std::string(10, ' '));
            for (phylo::index_type j = at; j < std::min(alignment_sites, at + 60); ++j) {
                if (j > at && (j - at) % 10 == 0) out << ' ';
                out << (*x.rows[i])[j];
            }
            out << '\n';
        }
    }
}

void read_alignment(benchmark::State& state, const char* layout_name,
                    phylo::read::row_layout layout) {
    ensure_alignment_files();
    const std::string name = alignment_file(layout_name);
    const auto bytes = static_cast<std::int64_t>(std::filesystem::file_size(name));
    for (auto _ : state) {
        std::ifstream in(name, std::ios::binary);
        phylo::disc_data x = phylo::read::get(in, phylo::read::input_format::PHYLIP,
                                              phylo::read::whitespace, layout);
        benchmark::DoNotOptimize(x.rows[0]->data());
    }
    state.SetBytesProcessed(state.iterations() * bytes);
    state.counters["file_MB"] = static_cast<double>(bytes) / 1e6;
}

void read_sequential_phylip(benchmark::State& state) {
    read_alignment(state, "sequential", phylo::read::row_layout::SEQUENTIAL);
}
void read_interleaved_phylip(benchmark::State& state) {
    read_alignment(state, "interleaved", phylo::read::row_layout::DETECT);
}
BENCHMARK(read_sequential_phylip)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(read_interleaved_phylip)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same data as extended PHYLIP and as NEXUS, each file written once by the printer in a
// child process.
constexpr phylo::index_type dna_taxa = 1000;
constexpr phylo::index_type dna_sites = 20000;
constexpr phylo::index_type dist_taxa = 1500;

std::string temp_file(const std::string& name) {
    return (std::filesystem::temp_directory_path() / name).string();
}

phylo::disc_data make_dna() {
    phylo::disc_data x(0, dna_taxa - 1);
    std::mt19937_64 random(7);
    for (phylo::index_type i = 0; i < dna_taxa; ++i) {
        x.labels[i] = "taxon_" + std::to_string(i);
        x.rows[i] = std::make_unique<phylo::disc_array>(0, dna_sites - 1);
        for (char& s : x.rows[i]->span()) s = "ACGT-"[random() % 5];
    }
    return x;
}

phylo::squared make_distances() {
    phylo::squared x(0, dist_taxa - 1);
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> value(0.0, 1.0);
    for (phylo::index_type i = 0; i < dist_taxa; ++i) {
        x.labels[i] = "taxon_" + std::to_string(i);
        for (phylo::index_type j = 0; j < i; ++j) x.matrix(i, j) = x.matrix(j, i) = value(random);
    }
    return x;
}

template <class Write>
void ensure_file(const std::string& name, Write&& write) {
    if (std::filesystem::exists(name)) return;
    const pid_t child = fork();
    if (child == 0) {
        std::ofstream out(name, std::ios::binary);
        write(out);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
}

const std::string& dna_file(bool nexus) {
    static const std::string phylip = temp_file("labmix_matrix_io_dna.phy");
    static const std::string nex = temp_file("labmix_matrix_io_dna.nex");
    const std::string& name = nexus ? nex : phylip;
    ensure_file(name, [nexus](std::ostream& out) {
        phylo::print::put(out, make_dna(),
                          nexus ? phylo::print::output_format::NEXUS
                                : phylo::print::output_format::EXTENDED_PHYLIP);
    });
    return name;
}

const std::string& distance_file(bool nexus) {
    static const std::string phylip = temp_file("labmix_matrix_io_1500.phy");
    static const std::string nex = temp_file("labmix_matrix_io_1500.nex");
    const std::string& name = nexus ? nex : phylip;
    ensure_file(name, [nexus](std::ostream& out) {
        phylo::print::put(out, make_distances(),
                          nexus ? phylo::print::dist_output_format::NEXUS
                                : phylo::print::dist_output_format::EXTENDED_PHYLIP,
                          2, 8, 0);
    });
    return name;
}

template <class Read>
void read_file(benchmark::State& state, const std::string& name, Read&& read) {
    const auto bytes = static_cast<std::int64_t>(std::filesystem::file_size(name));
    for (auto _ : state) {
        std::ifstream in(name, std::ios::binary);
        read(in);
    }
    state.SetBytesProcessed(state.iterations() * bytes);
    state.counters["file_MB"] = static_cast<double>(bytes) / 1e6;
}

void read_dna_phylip(benchmark::State& state) {
    read_file(state, dna_file(false), [](std::istream& in) {
        phylo::disc_data x = phylo::read::get(in, phylo::read::input_format::EXTENDED_PHYLIP,
                                              phylo::read::whitespace);
        benchmark::DoNotOptimize(x.rows[0]->data());
    });
}
BENCHMARK(read_dna_phylip)->Unit(benchmark::kMillisecond)->UseRealTime();

void read_dna_nexus(benchmark::State& state) {
    read_file(state, dna_file(true), [](std::istream& in) {
        phylo::disc_data x = phylo::nexus::get<phylo::disc_data>(in);
        benchmark::DoNotOptimize(x.rows[0]->data());
    });
}
BENCHMARK(read_dna_nexus)->Unit(benchmark::kMillisecond)->UseRealTime();

void read_distances_phylip(benchmark::State& state) {
    read_file(state, distance_file(false), [](std::istream& in) {
        phylo::squared x = phylo::read::get(in, phylo::read::dist_input_format::EXTENDED_PHYLIP);
        benchmark::DoNotOptimize(x.matrix.data());
    });
}
BENCHMARK(read_distances_phylip)->Unit(benchmark::kMillisecond)->UseRealTime();

void read_distances_nexus(benchmark::State& state) {
    read_file(state, distance_file(true), [](std::istream& in) {
        phylo::squared x = phylo::nexus::get<phylo::squared>(in);
        benchmark::DoNotOptimize(x.matrix.data());
    });
}
BENCHMARK(read_distances_nexus)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
