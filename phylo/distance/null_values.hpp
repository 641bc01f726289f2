#pragma once
// The statistics of the distance-based permutation tests under many reshuffles at once: an
// object is built once from the data (a few passes over the matrix: squares, ranks, principal
// coordinates) and then gives the statistic of each of B groupings or permutations per call.
//
//     const distance::permanova_null null(d, groups);        // d: square, groups: 0 .. a-1
//     std::vector<std::uint32_t> batch(B * null.taxa());     // B reshuffled groupings, taxon-major
//     std::vector<double> f(B);
//     null.values(batch, f);                                 // f[b]: pseudo-F of grouping b
//
// A grouping gives each taxon (row of the matrix, in order) a group code 0 .. a - 1, where a
// is the number of groups of the grouping the object was built with; a batch is B groupings
// one after the other (B * taxa codes). A permutation (Mantel) is a reordering 0 .. n - 1 of
// the taxa. Codes out of range and non-permutations are the range error, a batch whose length
// is not B * taxa is real_chars::size_error, before anything is computed.
//
// Every value depends only on its own grouping or permutation: the sums run in a fixed order
// that does not depend on B or on the position in the batch, so any split of the reshuffles
// into batches, and over threads, gives the same bits; the value of the grouping the object
// was built with is its observed statistic (`observed()`), bit for bit. The objects are
// immutable after construction and `values` may be called from several threads at once; no
// call starts threads of its own.
//
// Cost of a call, n taxa, B groupings: PERMANOVA and ANOSIM n(n - 1)/2 * B masked additions,
// the matrix read once per batch of 32 in tiles that stay in cache; Mantel the same number of
// multiplications, one gathered read each; PERMDISP O(n B). Memory: the upper triangle once
// (PERMANOVA its squares, ANOSIM its ranks, Mantel the first matrix's triangle and the second's
// square), nothing per reshuffle beyond the caller's batch.

#include <phylo/core.hpp>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace phylo::distance {

// The inputs shared by every test: the square matrix (rows and columns over the same range;
// only the upper triangle i < j is read, so the caller checks symmetry), whose values must be
// finite (the data error names the first pair that is not), and the grouping as group numbers
// 0 .. a - 1, each used, one per row in row order (what taxonomy::group_numbers and
// column_groups give). A matrix that is not square, or a grouping of another length, is
// real_chars::size_error; group numbers that are negative or skip a number are the range error.

// Anderson's one-way PERMANOVA: the pseudo-F (SS_A / (a - 1)) / (SS_W / (N - a)) and R^2 =
// SS_A / SS_T with SS_T = (1/N) sum_{i<j} d_ij^2, SS_W = sum_g (1/n_g) sum_{i<j in g} d_ij^2,
// SS_A = SS_T - SS_W. Group sizes n_g are counted from each grouping (a group without taxa adds
// nothing); a stays the number of groups of the construction.
class permanova_null {
public:
    permanova_null(const real_matrix& distances, const count_array& groups);

    [[nodiscard]] std::size_t taxa() const noexcept { return taxa_; }
    [[nodiscard]] std::uint32_t groups() const noexcept { return groups_; }
    // The pseudo-F of each grouping of the batch into f (B = f.size()) and, when r2 is not
    // empty (it then has B elements), R^2 into r2.
    void values(std::span<const std::uint32_t> groupings, std::span<double> f,
                std::span<double> r2 = {}) const;
    [[nodiscard]] double observed() const;
    [[nodiscard]] double observed_r2() const;

private:
    std::size_t taxa_;
    std::uint32_t groups_;
    std::vector<std::uint32_t> codes_;
    std::vector<double> squares_; // d_ij^2, i < j, row by row
    double total_ = 0;            // sum of squares_ in their order
};

// Clarke's ANOSIM R = (mean rank between - mean rank within) / (M / 2) over the ranks of all M =
// N(N - 1)/2 distances, ties at their mean rank. Not a number when no pair is within a group or
// none is between groups.
class anosim_null {
public:
    anosim_null(const real_matrix& distances, const count_array& groups);

    [[nodiscard]] std::size_t taxa() const noexcept { return taxa_; }
    [[nodiscard]] std::uint32_t groups() const noexcept { return groups_; }
    void values(std::span<const std::uint32_t> groupings, std::span<double> r) const;
    [[nodiscard]] double observed() const;

private:
    std::size_t taxa_;
    std::uint32_t groups_;
    std::vector<std::uint32_t> codes_;
    std::vector<double> ranks_; // of d_ij, i < j, row by row
};

// Where PERMDISP measures each taxon's distance from: its group's spatial median (the point of
// least summed distance to the group's taxa) or its centroid, in principal coordinates.
enum class dispersion_centre { spatial_median, centroid };

// PERMDISP (Anderson's test of homogeneous dispersions, as vegan's betadisper): the taxa are
// placed in principal coordinates of the Gower-centred -d^2/2 (axes of eigenvalues within
// max(e, e * largest) of 0 dropped, e = sqrt(double epsilon)); each taxon's distance to its
// group's centre is sqrt(|P - Q|), P and Q its squared distance over the axes of positive and
// of negative eigenvalue, 0 where Q > P, the centre found on the two sets of axes apart; the
// statistic is the F of the one-way ANOVA of these distances by group. The spatial median is
// found as vegan finds it (R's optim BFGS from the coordinate-wise median, its default
// tolerance; see dispersion.cpp), which is within about 1e-4 of the exact minimum and keeps
// the statistic within rounding of vegan's.
//
// The null follows permutest.betadisper: the ANOVA's residuals z_i - mean of z over i's group
// are computed once, and a grouping's value is the F of the one-way ANOVA of the residuals under
// that grouping. So the built grouping's null value is 0 (its residuals have group means 0),
// not the observed F, which `observed()` gives.
class permdisp_null {
public:
    permdisp_null(const real_matrix& distances, const count_array& groups,
                  dispersion_centre centre);

    [[nodiscard]] std::size_t taxa() const noexcept { return distances_to_centre_.size(); }
    [[nodiscard]] std::uint32_t groups() const noexcept { return groups_; }
    void values(std::span<const std::uint32_t> groupings, std::span<double> f) const;
    [[nodiscard]] double observed() const noexcept { return observed_; }
    // Each taxon's distance to its group's centre, in row order.
    [[nodiscard]] std::span<const double> distances_to_centre() const noexcept {
        return distances_to_centre_;
    }

private:
    std::uint32_t groups_;
    std::vector<double> distances_to_centre_;
    std::vector<double> residuals_;
    double observed_ = 0;
};

enum class correlation { pearson, spearman };

// The Mantel statistic: Pearson's correlation of the upper triangles of two matrices of the same
// taxa in the same order (spearman: of their ranks, ties at their mean rank). A permutation p
// reorders the second matrix's taxa, rows and columns together: its value is the correlation of
// a_ij with b_p(i)p(j). Not a number when either triangle is constant.
class mantel_null {
public:
    mantel_null(const real_matrix& first, const real_matrix& second, correlation kind);

    [[nodiscard]] std::size_t taxa() const noexcept { return taxa_; }
    void values(std::span<const std::uint32_t> permutations, std::span<double> r) const;
    [[nodiscard]] double observed() const;

private:
    std::size_t taxa_;
    std::vector<double> first_;  // centred values of the first triangle, i < j, row by row
    std::vector<double> second_; // centred values of the second, the full square (diagonal 0)
    double scale_ = 0;           // sqrt of the product of the two sums of squares
};

} // namespace phylo::distance
