#include <phylo/distance/statistics.hpp>

#include <phylo/real_chars.hpp>

#include "../../test_support.hpp"

#include <cmath>
#include <random>
#include <vector>

using namespace phylo;
using namespace phylo::distance;
using test_support::expect_error;

namespace {

// Square matrix of the upper triangle `upper` (row by row) over `scale`.
real_matrix square(const std::vector<int>& upper, double scale) {
    const auto n = static_cast<index_type>((1 + std::sqrt(1 + 8.0 * upper.size())) / 2);
    real_matrix d(0, n - 1, 0, n - 1);
    std::size_t k = 0;
    for (index_type i = 0; i < n; ++i)
        for (index_type j = i + 1; j < n; ++j) d(i, j) = d(j, i) = upper[k++] / scale;
    return d;
}

// 11 taxa, with ties and far from Euclidean (4 of 10 axes negative); the second matrix for
// Mantel. Made in R: set.seed(21); upper triangles sample(1:60, 55, TRUE) / 20 and
// sample(1:90, 55, TRUE) / 30.
const real_matrix a =
    square({33, 3,  42, 21, 42, 59, 10, 10, 54, 5,  57, 47, 43, 38, 2,  46, 40, 33, 8,
            16, 51, 30, 3,  1,  31, 49, 37, 36, 8,  44, 10, 60, 1,  27, 38, 29, 8,  48,
            9,  32, 14, 23, 34, 42, 9,  7,  3,  53, 41, 14, 28, 2,  16, 53, 48},
           20);
const real_matrix b =
    square({68, 69, 40, 74, 58, 86, 11, 13, 37, 81, 7,  56, 44, 65, 20, 66, 49, 69, 86,
            63, 50, 45, 53, 71, 22, 6,  67, 50, 85, 42, 6,  53, 34, 11, 8,  10, 15, 62,
            58, 3,  83, 27, 56, 50, 31, 15, 69, 22, 22, 89, 28, 80, 6,  88, 3},
           30);
const count_array g(0, {0, 1, 2, 0, 1, 2, 0, 2, 1, 0, 2});

// Mid-ranks of v, counted.
std::vector<double> ranks(const std::vector<double>& v) {
    std::vector<double> r;
    for (const double x : v) {
        double below = 0;
        double equal = 0;
        for (const double y : v) (y < x ? below : equal) += y <= x;
        r.push_back(below + (equal + 1) / 2);
    }
    return r;
}

double pearson(const std::vector<double>& x, const std::vector<double>& y) {
    double mx = 0, my = 0, sxy = 0, sxx = 0, syy = 0;
    for (std::size_t k = 0; k < x.size(); ++k) mx += x[k] / x.size(), my += y[k] / y.size();
    for (std::size_t k = 0; k < x.size(); ++k) {
        sxy += (x[k] - mx) * (y[k] - my);
        sxx += (x[k] - mx) * (x[k] - mx);
        syy += (y[k] - my) * (y[k] - my);
    }
    return sxy / std::sqrt(sxx * syy);
}

} // namespace

TEST(DistanceStatistics, EqualVegansValues) {
    // R 4.2, vegan 2.6-4 on as.dist(a), as.dist(b), g = factor(c(0,1,2,0,1,2,0,2,1,0,2)):
    // adonis2(a ~ g)$F[1] and $R2[1]; anosim(a, g)$statistic; anova(betadisper(a, g, type =
    // "median")) and type = "centroid", the F value; mantel(a, b) and method = "spearman".
    const struct {
        double value, vegan, tolerance;
    } cases[] = {{permanova(a, g), -0.16104154423398565, 1e-8},
                 {permanova_r2(a, g), -0.041949280277338109, 1e-8},
                 {anosim(a, g), -0.16333333333333336, 1e-8},
                 {permdisp(a, g), 1.4292956692847878, 1e-5},
                 {permdisp_centroid(a, g), 3.3269517150940824, 1e-5},
                 {mantel(a, b), -0.084623136184689265, 1e-8},
                 {mantel_spearman(a, b), -0.12308636634250779, 1e-8}};
    for (const auto& c : cases)
        EXPECT_NEAR(c.value, c.vegan, c.tolerance * std::abs(c.vegan)) << c.vegan;
    // permutest(betadisper(...), permutations = matrix(c(2:11, 1), 1))$perm: taxon k + 1's
    // residual goes where taxon k's was.
    std::vector<std::uint32_t> moved(11);
    for (std::size_t k = 0; k < 11; ++k) moved[(k + 1) % 11] = static_cast<std::uint32_t>(g[k]);
    const std::pair<dispersion_centre, double> nulls[] = {
        {dispersion_centre::spatial_median, 0.28702530404887022},
        {dispersion_centre::centroid, 0.37720438788787741}};
    for (const auto& [centre, vegan] : nulls) {
        double f = 0;
        permdisp_null(a, g, centre).values(moved, std::span<double>(&f, 1));
        EXPECT_NEAR(f, vegan, 1e-5 * vegan);
    }
}

TEST(DistanceStatistics, MeetTheirDefinitionsOnRandomMatrices) {
    std::mt19937 random(5);
    for (const index_type n : {4, 9, 17}) {
        real_matrix d(0, n - 1, 0, n - 1), e(0, n - 1, 0, n - 1);
        count_array groups(0, n - 1);
        std::vector<double> x, y, within, squares_within(3, 0), size(3, 0);
        for (index_type i = 0; i < n; ++i) ++size[groups[i] = (i * 7 + 1) % 3];
        for (index_type i = 0; i < n; ++i)
            for (index_type j = i + 1; j < n; ++j) {
                d(i, j) = d(j, i) = static_cast<double>(random() % 20 + 1) / 8; // ties
                e(i, j) = e(j, i) = static_cast<double>(random() % 1000);
                x.push_back(d(i, j)), y.push_back(e(i, j));
                within.push_back(groups[i] == groups[j]);
                if (groups[i] == groups[j]) squares_within[groups[i]] += d(i, j) * d(i, j);
            }
        const double m = static_cast<double>(x.size());
        double total = 0, ss_w = 0, rank_within = 0, pairs_within = 0;
        for (const double v : x) total += v * v / n;
        for (int k = 0; k < 3; ++k) ss_w += squares_within[k] / size[k];
        const std::vector<double> r = ranks(x);
        for (std::size_t k = 0; k < r.size(); ++k) rank_within += within[k] * r[k];
        for (const double w : within) pairs_within += w;
        const double rank_between = (m * (m + 1) / 2 - rank_within) / (m - pairs_within);
        EXPECT_NEAR(permanova(d, groups), ((total - ss_w) / 2) / (ss_w / (n - 3)), 1e-12);
        EXPECT_NEAR(permanova_r2(d, groups), (total - ss_w) / total, 1e-12);
        EXPECT_NEAR(anosim(d, groups), (rank_between - rank_within / pairs_within) / (m / 2),
                    1e-12);
        EXPECT_NEAR(mantel(d, e), pearson(x, y), 1e-12);
        EXPECT_NEAR(mantel_spearman(d, e), pearson(ranks(x), ranks(y)), 1e-12);
        // Each taxon's squared distance to its group's centroid in principal coordinates,
        // straight from G, the centred -d^2/2 (the negative axes count negatively): G_ii -
        // 2 mean_j G_ij + mean_jk G_jk over i's group; 0 where that is negative.
        std::vector<double> mean(n + 1); // of each row of -d^2/2, then of all
        for (index_type k = 0; k < n * n; ++k) {
            mean[k / n] -= std::pow(d(k / n, k % n), 2) / (2.0 * n);
            mean[n] -= std::pow(d(k / n, k % n), 2) / (2.0 * n * n);
        }
        const auto gower = [&](index_type i, index_type j) {
            return -d(i, j) * d(i, j) / 2 - mean[i] - mean[j] + mean[n];
        };
        const permdisp_null centroid(d, groups, dispersion_centre::centroid);
        for (index_type i = 0; i < n; ++i) {
            double s = gower(i, i);
            const double size_i = size[groups[i]];
            for (index_type j = 0; j < n; ++j) {
                if (groups[j] != groups[i]) continue;
                s -= 2 * gower(i, j) / size_i;
                for (index_type k = 0; k < n; ++k)
                    if (groups[k] == groups[i]) s += gower(j, k) / (size_i * size_i);
            }
            EXPECT_NEAR(centroid.distances_to_centre()[i], s > 0 ? std::sqrt(s) : 0, 1e-9);
        }
    }
    // 0/0 gives not a number: one group, no pair within a group.
    EXPECT_TRUE(std::isnan(permanova(a, count_array(0, std::vector<count_element>(11, 0)))));
    count_array singletons(0, 10);
    for (index_type i = 0; i <= 10; ++i) singletons[i] = i;
    EXPECT_TRUE(std::isnan(anosim(a, singletons)));
}

TEST(DistanceStatistics, RefuseUnusableInputs) {
    real_matrix nan = a;
    nan(3, 7) = std::nan("");
    expect_error<real_chars::size_error>([] { (void)permanova(real_matrix(0, 2, 0, 3), g); },
                                         "must be square");
    expect_error<real_chars::size_error>([] { (void)anosim(a, count_array(0, 9)); },
                                         "a grouping of 10 taxa for a distance matrix of 11");
    expect_error<real_chars::size_error>([] { (void)mantel(a, real_matrix(0, 2, 0, 2)); },
                                         "11 and 3 taxa");
    expect_error<data_error>([&] { (void)permdisp(nan, g); },
                             "the distance of taxa 3 and 7 is not a number");
    expect_error<range_error>(
        [] {
            (void)permanova(a, count_array(0, {0, 1, 3, 0, 1, 3, 0, 3, 1, 0, 3}));
        },
        "no taxon is in group 2 of 0 .. 3");
    expect_error<range_error>(
        [] {
            (void)permanova(a, count_array(0, {0, 1, -1, 0, 1, 2, 0, 2, 1, 0, 2}));
        },
        "group number -1 of taxon 2 is negative");
}
