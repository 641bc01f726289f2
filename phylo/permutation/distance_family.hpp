#pragma once
// The distance families of permutation tests, on the engine (engine.hpp):
//  - groups_test: does a classification of the taxa explain a distance matrix? PERMANOVA's
//    pseudo-F and R^2, ANOSIM's R, PERMDISP's F (spatial median or centroid); a reshuffle
//    permutes the taxa's groups (within strata when there are strata).
//  - mantel_test: do two distance matrices of the same taxa agree? Pearson's and Spearman's
//    correlation of their upper triangles; a reshuffle permutes the second matrix's taxa, rows
//    and columns together (within strata).
// A reshuffle draws as the contingency family draws its labels: reshuffle k shuffles the taxa's
// codes with the Fisher-Yates shuffle of strata::shuffle, from stream_random(stream_seed(seed,
// k)). The statistics are those of <phylo/distance/null_values.hpp>, computed for a block of
// reshuffles at a time, the matrix read once per block.
// An exact test (test_method::exact) walks every distinct arrangement of the codes instead,
// in assignment_walker's order, each of weight 1; the caller checks their number first
// (assignment_count), since at most 2^31 - 1 can be walked.
//
//     const groups_test test(d.matrix, groups, {}, {statistic::permanova, statistic::anosim});
//     const std::vector<double> observed = test.observed();
//     const std::vector<double> nulls = null_values(test, 7, 1, 999, 2);

#include <phylo/distance/null_values.hpp>
#include <phylo/permutation/engine.hpp>
#include <phylo/permutation/enumeration.hpp>
#include <phylo/permutation/statistics.hpp>
#include <phylo/permutation/strata.hpp>

#include <phylo/core.hpp>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace phylo::permutation {

// What the two distance families share: the taxa's codes that a reshuffle permutes, the strata,
// and the statistics asked for.
class distance_family : public null_family {
public:
    [[nodiscard]] const std::vector<statistic>& statistics() const noexcept { return statistics_; }
    [[nodiscard]] std::size_t width() const noexcept override {
        return statistics_.size() + (walker_ ? 1 : 0);
    }
    [[nodiscard]] std::int64_t block() const noexcept override { return 32; }
    [[nodiscard]] bool exact() const noexcept override { return walker_.has_value(); }
    [[nodiscard]] std::int64_t arrangements() const noexcept override {
        return walker_ ? static_cast<std::int64_t>(walker_->count()) : 0;
    }
    [[nodiscard]] std::size_t taxa() const noexcept { return codes_.size(); }
    [[nodiscard]] std::unique_ptr<drawer> make_drawer() const override;

    // The statistics of the data as given, in the order asked.
    [[nodiscard]] virtual std::vector<double> observed() const = 0;

protected:
    // `codes`: what a reshuffle permutes, one per taxon; `strata` a stratum number 0 .. s - 1
    // per taxon, or empty for one stratum. Strata of another length are the range error.
    distance_family(std::vector<statistic> statistics, std::vector<std::uint32_t> codes,
                    const count_array& strata, test_method method);
    // The statistics of the `count` reshuffled codings in `batch` (count * taxa codes) into
    // out[j * statistics().size() + i].
    virtual void measure(std::span<const std::uint32_t> batch, std::size_t count,
                         double* out) const = 0;

private:
    class batch_drawer;
    std::vector<statistic> statistics_;
    std::vector<std::uint32_t> codes_;
    std::optional<permutation::strata> strata_;
    std::optional<assignment_walker> walker_; // exact tests
};

// A test of a distance matrix by a grouping of its taxa: `groups` holds a group number 0 .. a -
// 1 per row of the square `distances` (each number used). Undefined (every statistic NaN, nothing
// drawn) when there are fewer than two groups. The matrix is not kept: each statistic keeps what
// it needs of it (PERMANOVA the squares of the upper triangle, ANOSIM their ranks).
class groups_test final : public distance_family {
public:
    groups_test(const real_matrix& distances, const count_array& groups, const count_array& strata,
                std::vector<statistic> statistics, test_method method = test_method::monte_carlo);

    [[nodiscard]] bool defined() const noexcept override { return groups_ >= 2; }
    [[nodiscard]] std::uint32_t groups() const noexcept { return groups_; }
    [[nodiscard]] std::vector<double> observed() const override;

private:
    void measure(std::span<const std::uint32_t> batch, std::size_t count,
                 double* out) const override;

    std::uint32_t groups_ = 0;
    std::optional<distance::permanova_null> permanova_;
    std::optional<distance::anosim_null> anosim_;
    std::optional<distance::permdisp_null> median_, centroid_;
};

// A test of the agreement of two distance matrices of the same taxa in the same order.
class mantel_test final : public distance_family {
public:
    mantel_test(const real_matrix& first, const real_matrix& second, const count_array& strata,
                std::vector<statistic> statistics, test_method method = test_method::monte_carlo);

    [[nodiscard]] std::vector<double> observed() const override;

private:
    void measure(std::span<const std::uint32_t> batch, std::size_t count,
                 double* out) const override;

    std::optional<distance::mantel_null> pearson_, spearman_;
};

} // namespace phylo::permutation
