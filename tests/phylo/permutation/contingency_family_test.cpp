// The permutation test against exact permutation distributions, for both ways of drawing,
// with and without strata; uniform p-values under no association; thread counts.

#include <phylo/permutation/contingency_family.hpp>
#include <phylo/permutation/random.hpp>
#include <phylo/permutation/report.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <string>
#include <utility>
#include <vector>

using namespace phylo::permutation;

namespace {

phylo::count_array codes(const std::vector<int>& v) {
    return phylo::count_array(0, std::vector<phylo::count_element>(v.begin(), v.end()));
}

// `n` codes below `k`, drawn from `random`.
std::vector<int> drawn(std::mt19937& random, std::size_t n, unsigned k) {
    std::vector<int> v(n);
    for (auto& x : v) x = static_cast<int>(random() % k);
    return v;
}

// The codes of a string of digits.
std::vector<int> digits(const std::string& text) {
    std::vector<int> v;
    for (const char c : text) v.push_back(c - '0');
    return v;
}

const std::vector<statistic> every{statistic::chi2, statistic::g,   statistic::mi,
                                   statistic::nmi,  statistic::ari, statistic::rand};

// The exact permutation p-value of every statistic: all distinct arrangements of the permuted
// labels within each stratum are equally likely; each is measured like the test measures.
std::vector<double> exact_p(const std::vector<int>& fixed, const std::vector<int>& permuted,
                            const std::vector<int>& strata) {
    const auto at = [](int k) { return static_cast<std::size_t>(k); };
    // Codes 0 .. k - 1 are the rows and columns of the table as they stand.
    const auto margins = phylo::taxonomy::contingency(codes(fixed), codes(permuted));
    const auto rows = margins.row_sums.size(), columns = margins.column_sums.size();
    const phylo::taxonomy::association_measurer measure(margins);
    const auto statistics_of = [&](const std::vector<int>& labels) {
        std::vector<std::uint32_t> counts(rows * columns, 0);
        for (std::size_t i = 0; i < fixed.size(); ++i)
            ++counts[at(fixed[i]) * columns + at(labels[i])];
        const auto m = measure.dense(counts);
        std::vector<double> out;
        for (const auto s : every) out.push_back(value_of(m, s));
        return out;
    };
    const auto observed = statistics_of(permuted);
    // Each stratum's labels: an arrangement of all labels keeps them when it keeps these.
    const auto labels_of_strata = [&](const std::vector<int>& labels) {
        std::vector<std::pair<int, int>> pairs;
        for (std::size_t i = 0; i < labels.size(); ++i) pairs.emplace_back(strata[i], labels[i]);
        std::ranges::sort(pairs);
        return pairs;
    };
    const auto kept = labels_of_strata(permuted);
    std::vector<double> at_least(every.size(), 0);
    double total = 0;
    auto labels = permuted;
    std::ranges::sort(labels);
    do {
        if (labels_of_strata(labels) != kept) continue;
        const auto v = statistics_of(labels);
        for (std::size_t k = 0; k < v.size(); ++k)
            at_least[k] += at_least_observed(v[k], observed[k]) ? 1 : 0;
        total += 1;
    } while (std::ranges::next_permutation(labels).found);
    for (auto& a : at_least) a /= total;
    return at_least;
}

} // namespace

TEST(PermutationTest, PValuesWithinMonteCarloErrorOfTheExactOnes) {
    // Small tables whose every arrangement can be counted: without strata, and with two.
    // Fixed, permuted and strata codes, one digit a taxon.
    const std::vector<std::array<std::vector<int>, 3>> scenarios{
        {digits("000111222"), digits("001012122"), digits("000000000")},
        {digits("0000111111"), digits("0001011122"), digits("0000000000")},
        {digits("0011010110"), digits("0101110011"), digits("0000011111")},
        // p = 1 above whatever the strata; here 0.58 for chi2 within them, 0.29 without.
        {digits("1101111000"), digits("2202010010"), digits("0000011111")},
    };
    constexpr std::int64_t reshuffles = 99999;
    std::uint64_t seed = 42;
    for (const auto& [fixed, permuted, strata] : scenarios) {
        const auto exact = exact_p(fixed, permuted, strata);
        for (const auto method : {draw_method::permute_labels, draw_method::draw_table}) {
            const contingency_test test({codes(fixed), codes(permuted), codes(strata)}, every,
                                        method);
            ASSERT_EQ(test.method(), method);
            const auto observed = test.observed();
            const auto values = null_values(test, seed, 1, reshuffles, 2);
            for (std::size_t k = 0; k < every.size(); ++k) {
                const auto s = summarize(observed[k], values, every.size(), k);
                const double p = static_cast<double>(*s.at_least) / reshuffles;
                const double error = std::sqrt(exact[k] * (1 - exact[k]) / reshuffles);
                EXPECT_LE(std::abs(p - exact[k]), 4 * error + 1e-12)
                    << "seed " << seed << ", " << name_of(every[k]) << ", method "
                    << static_cast<int>(method) << ": " << p << " against " << exact[k];
            }
        }
        ++seed;
    }
}

// --exact: the tables of the margins (within strata, their combinations), weighted by their
// probability, give the p-value of the walk over every arrangement, on any threads.
TEST(PermutationTest, ExactPValuesAreThoseOfEveryArrangement) {
    for (const auto& [fixed, permuted, strata] : std::vector<std::array<std::vector<int>, 3>>{
             {digits("0001112220"), digits("0010121223"), digits("0000000000")},
             {digits("0011010110"), digits("0101110011"), digits("0001101111")}}) {
        const contingency_test test({codes(fixed), codes(permuted), codes(strata)}, every,
                                    draw_method::enumerate_tables);
        const auto observed = test.observed();
        const auto values = null_values(test, 0, 1, test.arrangements(), 1);
        EXPECT_EQ(null_values(test, 0, 1, test.arrangements(), 3), values);
        const auto exact = exact_p(fixed, permuted, strata);
        const std::size_t width = every.size() + 1;
        for (std::size_t k = 0; k < every.size(); ++k) {
            null_accumulator a(observed[k], test_method::exact);
            for (std::size_t j = 0; j < values.size(); j += width)
                a.add(values[j + k], values[j + every.size()]);
            EXPECT_NEAR(a.summary().p_value, exact[k], 1e-12) << name_of(every[k]);
        }
    }
}

TEST(PermutationTest, PValuesAreUniformWithoutAssociation) {
    // 200 seeded tests of independent random columns; Kolmogorov-Smirnov against the uniform
    // distribution at the 0.1% level (1.95 / sqrt(200)), for both ways of drawing: four checks
    // at 1% would fail about one legitimate change of the draws in 25 by chance alone.
    std::mt19937 random(3);
    for (const auto method : {draw_method::permute_labels, draw_method::draw_table}) {
        std::vector<std::vector<double>> p(2);
        for (int run = 0; run < 200; ++run) {
            auto a = drawn(random, 60, 4), b = drawn(random, 60, 3);
            a[0] = 0, a[1] = 1, a[2] = 2, a[3] = 3, b[0] = 0, b[1] = 1, b[2] = 2;
            const contingency_test test({codes(a), codes(b), {}}, {statistic::chi2, statistic::ari},
                                        method);
            const auto observed = test.observed();
            const auto values = null_values(test, static_cast<std::uint64_t>(run), 1, 199, 1);
            for (std::size_t k = 0; k < 2; ++k)
                p[k].push_back(summarize(observed[k], values, 2, k).p_value);
        }
        for (auto& ps : p) {
            std::sort(ps.begin(), ps.end());
            double d = 0;
            for (std::size_t i = 0; i < ps.size(); ++i) {
                const double n = static_cast<double>(ps.size());
                d = std::max({d, std::abs(static_cast<double>(i + 1) / n - ps[i]),
                              std::abs(ps[i] - static_cast<double>(i) / n)});
            }
            EXPECT_LT(d, 1.95 / std::sqrt(200.0)) << static_cast<int>(method);
        }
    }
}

TEST(PermutationTest, ValuesDependOnlyOnSeedAndReshuffleThroughTheDocumentedStreams) {
    std::mt19937 random(9);
    const auto a = drawn(random, 500, 30), b = drawn(random, 500, 5), s = drawn(random, 500, 3);
    for (const bool strata : {false, true})
        for (const auto method : {draw_method::permute_labels, draw_method::draw_table}) {
            const contingency_test test(
                {codes(a), codes(b), strata ? codes(s) : phylo::count_array()}, every, method);
            const auto one = null_values(test, 7, 1, 100, 1);
            EXPECT_EQ(one, null_values(test, 7, 1, 100, 3));
            // A range of reshuffles is the same piece of the whole.
            const auto piece = null_values(test, 7, 41, 60, 2);
            EXPECT_TRUE(std::equal(piece.begin(), piece.end(), one.begin() + 40 * 6));
            EXPECT_NE(one, null_values(test, 8, 1, 100, 2));
        }
    EXPECT_NE(stream_seed(1, 2), stream_seed(2, 1));
    EXPECT_EQ(stream_seed(0, 0), 0xe220a8397b1dcdafu); // SplitMix64's first output from 0
    // The streams: xoshiro256** whose state is the SplitMix64 sequence from the seed, as the README
    // says.
    stream_random r(0);
    EXPECT_EQ(r.next(), 0x99ec5f36cb75f2b4u);
    EXPECT_EQ(r.next(), 0xbf6e1f784956452au);
    EXPECT_EQ(r.next(), 0x1a5f849d4933e6e0u);
    r.reset(12345);
    EXPECT_EQ(r.uniform(), 0.7438081631565894); // 0xbe6a36374160d49b / 2^11 / 2^53
    r.reset(12345);
    EXPECT_EQ(r.below(1000), static_cast<std::uint32_t>((0xbe6a3637u * 1000ull) >> 32));
    for (std::uint32_t m : {1u, 2u, 3u, 7u, 1000u, 0x80000001u, 0xffffffffu})
        for (int i = 0; i < 1000; ++i) EXPECT_LT(r.below(m), m);
}

TEST(PermutationTest, TheCheaperDrawForTheShapeAndSparseCountsForTablesTooBigToCountDensely) {
    // Many taxa in few cells: a table; about as many cells as taxa: labels.
    const std::vector<stratum_shape> few{{1000000, 1000, 10}}, many{{100000, 10000, 10}};
    EXPECT_EQ(choose_method(few, 10000), draw_method::draw_table);
    EXPECT_EQ(choose_method(many, 100000), draw_method::permute_labels);
    // 300 x 290 groups of 300 taxa: more cells than a dense table may have, so the labels are
    // permuted and the cells counted sparsely; the values are those of the library's compare().
    std::vector<int> a(300), b(300);
    for (int i = 0; i < 300; ++i)
        a[static_cast<std::size_t>(i)] = i, b[static_cast<std::size_t>(i)] = i % 290;
    const contingency_test test({codes(a), codes(b), {}}, every, draw_method::draw_table);
    EXPECT_EQ(test.method(), draw_method::permute_labels);
    const auto full = phylo::taxonomy::compare(codes(a), codes(b));
    const auto observed = test.observed();
    EXPECT_EQ(observed[0], full.chi_square);
    EXPECT_EQ(observed[4], full.adjusted_rand);
    const auto values = null_values(test, 3, 1, 50, 1);
    EXPECT_EQ(values, null_values(test, 3, 1, 50, 2));
    for (std::size_t k = 0; k < 50; ++k)
        EXPECT_DOUBLE_EQ(values[k * 6 + 1], 2 * 300 * values[k * 6 + 2]);
}

TEST(PermutationTest, OneGroupLeavesEveryStatisticUndefined) {
    for (const auto& [a, b] :
         {std::pair{digits("000"), digits("012")}, {digits("011"), digits("000")}}) {
        const contingency_test test({codes(a), codes(b), {}}, every);
        EXPECT_FALSE(test.defined());
        for (const double x : test.observed()) EXPECT_TRUE(std::isnan(x));
        const auto s = summarize(test.observed()[0], null_values(test, 1, 1, 5, 1), 6, 0);
        EXPECT_FALSE(s.at_least);
        EXPECT_TRUE(std::isnan(s.p_value));
    }
}
