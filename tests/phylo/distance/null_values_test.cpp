#include <phylo/distance/null_values.hpp>

#include <phylo/real_chars.hpp>

#include "../../real_reference.hpp"
#include "../../test_support.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <vector>

using namespace phylo;
using namespace phylo::distance;
using test_support::expect_error;
using test_support::same_bits;

namespace {

// 1030 taxa: more than one tile of columns, rows that end inside a group of eight.
constexpr index_type n = 1030;
constexpr std::size_t count = 35; // more than one chunk of groupings

real_matrix random_matrix(unsigned seed, index_type n) {
    std::mt19937 random(seed);
    real_matrix d(0, n - 1, 0, n - 1);
    for (index_type i = 0; i < n; ++i)
        for (index_type j = i + 1; j < n; ++j)
            d(i, j) = d(j, i) = static_cast<double>(random() % 5000) / 64; // ties for the ranks
    return d;
}

const real_matrix d = random_matrix(1, n);

count_array original(index_type n) {
    count_array g(0, n - 1);
    for (index_type i = 0; i < n; ++i) g[i] = static_cast<count_element>((i * 7 + i / 5) % 5);
    return g;
}

// `count` reshuffles of `codes` one after the other, and each as a grouping.
std::vector<std::uint32_t> batch(std::vector<std::uint32_t> codes) {
    std::mt19937 random(3);
    std::vector<std::uint32_t> all;
    for (std::size_t b = 0; b < count; ++b) {
        std::shuffle(codes.begin(), codes.end(), random);
        all.insert(all.end(), codes.begin(), codes.end());
    }
    return all;
}

count_array grouping(const std::vector<std::uint32_t>& all, std::size_t b) {
    count_array g(0, n - 1);
    for (index_type i = 0; i < n; ++i) g[i] = static_cast<count_element>(all[b * n + i]);
    return g;
}

// values() over the whole batch, then in batches of 1 and of 6 and 29, all bit for bit equal.
template <class Null>
std::vector<double> values_in_any_batches(const Null& null, const std::vector<std::uint32_t>& all) {
    const std::size_t n = null.taxa();
    std::vector<double> whole(count);
    null.values(all, whole);
    for (const std::size_t first : {std::size_t{1}, std::size_t{6}}) {
        std::vector<double> split(count);
        const std::span<const std::uint32_t> codes(all);
        null.values(codes.first(first * n), std::span<double>(split).first(first));
        null.values(codes.subspan(first * n), std::span<double>(split).subspan(first));
        for (std::size_t b = 0; b < count; ++b) EXPECT_TRUE(same_bits(split[b], whole[b])) << b;
    }
    return whole;
}

} // namespace

TEST(NullValues, EachIsTheObservedStatisticOfItsGroupingWhateverTheBatch) {
    const count_array g = original(n);
    const auto all = batch({g.begin(), g.end()});
    const permanova_null permanova(d, g);
    const anosim_null anosim(d, g);
    const auto f = values_in_any_batches(permanova, all);
    const auto r = values_in_any_batches(anosim, all);
    std::vector<double> f_again(count), r2(count);
    permanova.values(all, f_again, r2);
    // The last grouping's F straight from its definition, in extended precision (SS_A is a
    // small difference of large sums): the tiles cover every pair once.
    std::vector<long double> size(5), within(5);
    long double total = 0;
    const std::uint32_t* last = all.data() + (count - 1) * n;
    for (index_type i = 0; i < n; ++i) {
        ++size[last[i]];
        for (index_type j = i + 1; j < n; ++j) {
            total += d(i, j) * d(i, j) / n;
            if (last[i] == last[j]) within[last[i]] += d(i, j) * d(i, j);
        }
    }
    long double ss_w = 0;
    for (int k = 0; k < 5; ++k) ss_w += within[k] / size[k];
    const auto exact = static_cast<double>(((total - ss_w) / 4) / (ss_w / (n - 5)));
    EXPECT_NEAR(f[count - 1], exact, 1e-9 * exact);
    for (const std::size_t b : {std::size_t{0}, std::size_t{17}, count - 1}) {
        const permanova_null one(d, grouping(all, b));
        EXPECT_TRUE(same_bits(f[b], one.observed()) && same_bits(f_again[b], f[b]));
        EXPECT_TRUE(same_bits(r2[b], one.observed_r2()));
        EXPECT_TRUE(same_bits(r[b], anosim_null(d, grouping(all, b)).observed()));
    }
}

// PERMDISP's null (on few taxa: its principal coordinates cost n^3) takes the residuals of the
// observed grouping, whose own value is therefore 0; vegan's value of one reshuffle is checked
// with the statistics.
TEST(NullValues, PermdispPermutesResiduals) {
    constexpr index_type n = 70;
    const count_array g = original(n);
    const std::vector<std::uint32_t> codes(g.begin(), g.end());
    const permdisp_null permdisp(random_matrix(1, n), g, dispersion_centre::spatial_median);
    (void)values_in_any_batches(permdisp, batch(codes));
    double f = 1;
    permdisp.values(codes, std::span<double>(&f, 1));
    EXPECT_NEAR(f, 0, 1e-20);
    EXPECT_GT(permdisp.observed(), 0);
}

// Mantel's rows are not cut into column tiles: a few tiles of rows suffice.
TEST(NullValues, MantelPermutesTheSecondMatrixsTaxa) {
    constexpr index_type n = 70;
    const real_matrix d = random_matrix(1, n);
    const real_matrix e = random_matrix(2, n);
    std::vector<std::uint32_t> identity(n);
    std::iota(identity.begin(), identity.end(), 0u);
    const auto all = batch(identity);
    for (const auto kind : {correlation::pearson, correlation::spearman}) {
        const auto r = values_in_any_batches(mantel_null(d, e, kind), all);
        for (const std::size_t b : {std::size_t{0}, count - 1}) {
            real_matrix moved(0, n - 1, 0, n - 1);
            for (index_type i = 0; i < n; ++i)
                for (index_type j = 0; j < n; ++j) moved(i, j) = e(all[b * n + i], all[b * n + j]);
            EXPECT_NEAR(r[b], mantel_null(d, moved, kind).observed(), 1e-12);
        }
    }
}

TEST(NullValues, RefuseBatchesThatDoNotFit) {
    const count_array g(0, {0, 1, 0, 1});
    const real_matrix small(0, 3, 0, 3);
    const permanova_null permanova(small, g);
    std::vector<double> out(2);
    expect_error<real_chars::size_error>(
        [&] { permanova.values(std::vector<std::uint32_t>(7), out); },
        "a batch of 7 codes for 2 reshuffles of 4 taxa");
    expect_error<range_error>(
        [&] {
            permanova.values(std::vector<std::uint32_t>{0, 1, 0, 1, 0, 2, 1, 1}, out);
        },
        "reshuffle 1 of the batch gives taxon 1 the code 2 (codes below 2)");
    expect_error<range_error>(
        [&] {
            mantel_null(small, small, correlation::pearson)
                .values(std::vector<std::uint32_t>{3, 2, 1, 0, 0, 1, 1, 3}, out);
        },
        "reshuffle 1 of the batch gives taxon 2 again 1 (of 4 taxa)");
}
