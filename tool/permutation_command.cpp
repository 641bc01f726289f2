#include <tool/permutation_command.hpp>

#include <tool/null_sinks.hpp>
#include <tool/test_sources.hpp>

#include <phylo/permutation/engine.hpp>
#include <phylo/permutation/parts.hpp>
#include <phylo/permutation/random.hpp>

#include <generics/errors.hpp>

#include <algorithm>
#include <chrono>
#include <limits>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <thread>

namespace labmix {

using phylo::permutation::fingerprint;
using phylo::permutation::test_method;

std::uint64_t seed_from_clock() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
    return static_cast<std::uint64_t>(ns) % 2147483648u;
}

namespace {

namespace error_names {
inline constexpr char exact[] = "exact test";
inline constexpr char pairwise[] = "pairwise test";
} // namespace error_names
// An exact test of more arrangements than --exact-limit.
using exact_limit_error = generics::basic_error<std::runtime_error, error_names::exact>;
// A pairwise test of fewer than two groups.
using no_pairs_error = generics::basic_error<std::runtime_error, error_names::pairwise>;

// Threads beyond the cores only take turns on them, and each holds a workspace (a copy of the
// permuted column when labels are drawn), so no more are started than there are cores.
unsigned thread_count(const settings& s) {
    const unsigned cores = std::thread::hardware_concurrency();
    if (!s.threads) return std::max(1u, cores);
    return cores == 0 ? *s.threads : std::min(*s.threads, cores);
}

std::string pair_named(const phylo::permutation::pair_tag& pair) {
    return "pair " + pair.group_a + ", " + pair.group_b;
}

// With --exact, the limit checked for every test before any is drawn; without it, a note when
// a test has fewer distinct arrangements than reshuffles, so that --exact would do better.
void check_arrangements(const settings& s, const std::vector<test_source>& tests,
                        std::ostream& notes) {
    constexpr std::uint64_t most = std::numeric_limits<std::int32_t>::max();
    if (s.exact) {
        const auto limit = static_cast<std::uint64_t>(s.exact_limit);
        for (const auto& t : tests) {
            if (t.count(limit)) continue;
            // Assignments are counted by formula, tables only by walking them, so a count of
            // tables stays "more than" the limit.
            std::string how_many = "more than --exact-limit " + std::to_string(limit) + " ";
            std::string beyond;
            if (t.count_log10) {
                const auto all = t.count(std::numeric_limits<std::uint64_t>::max() / 2);
                how_many =
                    all ? std::to_string(*all) + " "
                        : "about 10^" + std::to_string(static_cast<long>(t.count_log10())) + " ";
                beyond = ", more than --exact-limit " + std::to_string(limit);
            }
            throw exact_limit_error(
                (t.identity.pair ? pair_named(*t.identity.pair) + ": " : std::string()) +
                "--exact would walk " + how_many + t.arrangements + beyond +
                (limit < most ? "; raise --exact-limit (at most 2147483647) or" : ";") +
                " leave out --exact for a Monte Carlo test of random reshuffles (-n)");
        }
        return;
    }
    if (s.quiet) return;
    const auto cap = static_cast<std::uint64_t>(std::min<std::int64_t>(s.reshuffles - 1, most));
    std::size_t few = 0;
    std::string first;
    for (const auto& t : tests) {
        const auto count = t.count(cap);
        if (!count || *count < 2) continue; // one arrangement: an undefined test
        if (++few == 1)
            first = (t.identity.pair ? pair_named(*t.identity.pair) + ": " : std::string()) +
                    "only " + std::to_string(*count) + " " + t.arrangements + " exist";
    }
    if (few == 0) return;
    const std::string reshuffles = std::to_string(s.reshuffles);
    if (tests.size() == 1)
        notes << "labmix: " << first << ", fewer than the " << reshuffles
              << " reshuffles: --exact gives the exact p-value\n";
    else
        notes << "labmix: " << few << " of " << tests.size()
              << " pairs have fewer distinct arrangements than the " << reshuffles
              << " reshuffles (" << first << "): --exact gives their exact p-values\n";
}

} // namespace

void run_test(const settings& given, listing_writer& out, std::ostream& notes) {
    settings s = given;
    const auto statistics = parse_test(s.test);
    std::vector<std::string> inputs;
    if (!s.input.empty() && s.input != "-") inputs.push_back(s.input);
    inputs.insert(inputs.end(), s.distance_files.begin(), s.distance_files.end());
    null_sinks sinks(s, inputs);
    // An exact test draws nothing: its seed is only what the report says.
    const std::uint64_t seed = s.seed ? *s.seed : (s.exact ? 0 : seed_from_clock());
    const auto method = s.exact ? test_method::exact : test_method::monte_carlo;
    auto tests = read_tests(s, statistics, s.part.has_value(), notes);
    if (tests.empty())
        throw no_pairs_error("column " + std::to_string(s.permuted_column + 1) +
                             " has fewer than two groups among the taxa tested, so there is no "
                             "pair of groups to test");
    for (auto& t : tests) {
        auto& identity = t.identity;
        identity.statistics = statistics;
        identity.method = method;
        identity.tags->seed = seed;
        if (!s.part) continue;
        // Everything the values depend on: the data as read, the statistics, the seed, the
        // number of reshuffles, and the method and pair when there are such.
        fingerprint print;
        print.add_field(std::to_string(identity.fingerprint));
        print.add_field(s.strata_column ? "strata" : "no strata");
        print.add_field(s.test);
        print.add_field(std::to_string(seed));
        print.add_field(std::to_string(s.reshuffles));
        if (s.exact) print.add_field("exact");
        if (const auto& pair = identity.pair) {
            print.add_field("pair");
            print.add_field(pair->group_a);
            print.add_field(pair->group_b);
        }
        identity.fingerprint = print.value();
    }
    check_arrangements(s, tests, notes);
    if (!s.seed && !s.exact)
        notes << "labmix: seed " << seed << " (-s " << seed << " repeats this test)\n";
    notes.flush();
    const unsigned threads = thread_count(s);
    const auto part = s.part ? std::optional(parse_part(*s.part)) : std::nullopt;
    for (auto& t : tests) {
        auto& identity = t.identity;
        auto built = t.build(method);
        identity.observed = built.observed;
        identity.notes = built.notes;
        identity.reshuffles = s.exact ? built.family->arrangements() : s.reshuffles;
        for (const auto& note : identity.notes) notes << note << '\n';
        notes.flush();
        // Each pair draws from streams of its own, whatever other groups there are.
        const std::uint64_t draw_seed =
            identity.pair ? phylo::permutation::pair_seed(seed, identity.pair->group_a,
                                                          identity.pair->group_b)
                          : seed;
        if (part) {
            const auto range = range_of(*part, identity.reshuffles);
            phylo::permutation::partial_writer writer(
                [&out](std::string_view text) { out.put(text); }, identity, *part);
            phylo::permutation::for_each_null(
                *built.family, draw_seed, range.first, range.last, threads,
                [&writer](std::int64_t k, std::span<const double> v) { writer.add(k, v); });
            writer.finish();
            continue;
        }
        sinks.start(identity);
        phylo::permutation::for_each_null(
            *built.family, draw_seed, 1, identity.reshuffles, threads,
            [&sinks](std::int64_t k, std::span<const double> v) { sinks.add(k, v); });
        sinks.end();
    }
    if (part) {
        out.flush();
        return;
    }
    sinks.finish(out);
}

void run_combine(const settings& s, listing_writer& out, std::ostream& notes) {
    null_sinks sinks(s, s.combine_files); // checked and opened before any part is read
    phylo::permutation::part_combiner parts;
    for (const auto& file : s.combine_files) parts.add_file(file);
    for (std::size_t i = 0; i < parts.tests(); ++i) {
        const auto& test = parts.test(i);
        for (const auto& note : test.notes) notes << note << '\n';
    }
    notes.flush();
    for (std::size_t i = 0; i < parts.tests(); ++i) {
        sinks.start(parts.test(i));
        parts.for_each_null(
            i, [&sinks](std::int64_t k, std::span<const double> v) { sinks.add(k, v); });
        sinks.end();
    }
    sinks.finish(out);
}

} // namespace labmix
