#include <phylo/distance/detail/dispersion.hpp>

#include <Eigen/Eigenvalues>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

namespace phylo::distance::detail {

namespace {

// Points as rows of a row-major n x k array, k = 0 allowed.
struct points {
    std::size_t dims = 0;
    std::vector<double> rows;
    [[nodiscard]] const double* row(std::size_t i) const { return rows.data() + i * dims; }
};

// The sum of the Euclidean distances from y to the members, and its gradient, with the sums
// over axes and over members in extended precision, as R sums them.
double summed_distance(const points& x, std::span<const std::size_t> members,
                       const std::vector<double>& y) {
    long double total = 0;
    for (const std::size_t m : members) {
        long double squares = 0;
        for (std::size_t k = 0; k < x.dims; ++k) {
            const double diff = x.row(m)[k] - y[k];
            squares += diff * diff;
        }
        total += std::sqrt(static_cast<double>(squares));
    }
    return static_cast<double>(total);
}

void summed_distance_gradient(const points& x, std::span<const std::size_t> members,
                              const std::vector<double>& y, std::vector<double>& gradient) {
    std::vector<long double> sums(x.dims, 0);
    for (const std::size_t m : members) {
        long double squares = 0;
        for (std::size_t k = 0; k < x.dims; ++k) {
            const double diff = x.row(m)[k] - y[k];
            squares += diff * diff;
        }
        const double distance = std::sqrt(static_cast<double>(squares));
        for (std::size_t k = 0; k < x.dims; ++k) sums[k] += (y[k] - x.row(m)[k]) / distance;
    }
    for (std::size_t k = 0; k < x.dims; ++k) gradient[k] = static_cast<double>(sums[k]);
}

// The median of each axis over the members (of the two middle values, their mean).
std::vector<double> coordinate_median(const points& x, std::span<const std::size_t> members) {
    std::vector<double> median(x.dims);
    std::vector<double> values(members.size());
    const std::size_t half = members.size() / 2;
    for (std::size_t k = 0; k < x.dims; ++k) {
        for (std::size_t m = 0; m < members.size(); ++m) values[m] = x.row(members[m])[k];
        std::sort(values.begin(), values.end());
        median[k] = members.size() % 2 == 1
                        ? values[half]
                        : static_cast<double>(
                              (static_cast<long double>(values[half - 1]) + values[half]) / 2);
    }
    return median;
}

// The spatial median (the point of least summed distance to the members) as vegan's
// betadisper finds it, through R's optim(method = "BFGS") with its defaults: Nash's variable
// metric method (his algorithm 21) from the coordinate-wise median, with backtracking steps of
// 0.2 accepted on a decrease of 1e-4 of the slope, stopping when a step changes no coordinate
// beyond the precision of 10 + x, when the sum changes by less than sqrt(epsilon) of itself, or
// after 100 gradients. The result is within about 1e-4 of the exact median; taking the same
// path keeps the statistic within rounding of vegan's.
std::vector<double> spatial_median(const points& x, std::span<const std::size_t> members) {
    std::vector<double> y = coordinate_median(x, members);
    const std::size_t n = x.dims;
    if (n == 0 || members.empty()) return y;
    constexpr int max_gradients = 100;
    constexpr double step_reduction = 0.2;
    constexpr double acceptance = 1e-4;
    constexpr double relative_test = 10.0;
    const double tolerance = std::sqrt(std::numeric_limits<double>::epsilon());

    // The inverse Hessian estimate, lower triangle stored.
    std::vector<double> inverse(n * n);
    const auto h = [&](std::size_t i, std::size_t j) -> double& {
        return i >= j ? inverse[i * n + j] : inverse[j * n + i];
    };
    std::vector<double> gradient(n);
    std::vector<double> start(n);
    std::vector<double> change(n);  // the gradient's change over a step
    std::vector<double> step(n);    // the search direction, then the step taken
    std::vector<double> product(n); // inverse * change
    double value = summed_distance(x, members, y);
    double best = value;
    summed_distance_gradient(x, members, y, gradient);
    int gradients = 1;
    int iterations = 1;
    int reset = gradients;
    std::size_t unchanged = 0;
    do {
        if (reset == gradients) {
            std::fill(inverse.begin(), inverse.end(), 0.0);
            for (std::size_t i = 0; i < n; ++i) h(i, i) = 1;
        }
        start = y;
        change = gradient;
        double slope = 0;
        for (std::size_t i = 0; i < n; ++i) {
            double s = 0;
            for (std::size_t j = 0; j < n; ++j) s -= h(i, j) * gradient[j];
            step[i] = s;
            slope += s * gradient[i];
        }
        if (slope < 0) { // downhill
            double length = 1;
            bool accepted = false;
            do {
                unchanged = 0;
                for (std::size_t i = 0; i < n; ++i) {
                    y[i] = start[i] + length * step[i];
                    if (relative_test + start[i] == relative_test + y[i]) ++unchanged;
                }
                if (unchanged < n) {
                    value = summed_distance(x, members, y);
                    accepted = std::isfinite(value) && value <= best + slope * length * acceptance;
                    if (!accepted) length *= step_reduction;
                }
            } while (unchanged != n && !accepted);
            if (!(std::abs(value - best) > tolerance * (std::abs(best) + tolerance))) {
                unchanged = n; // too little progress: stop
                best = value;
            }
            if (unchanged < n) {
                best = value;
                summed_distance_gradient(x, members, y, gradient);
                ++gradients;
                ++iterations;
                double d1 = 0;
                for (std::size_t i = 0; i < n; ++i) {
                    step[i] *= length;
                    change[i] = gradient[i] - change[i];
                    d1 += step[i] * change[i];
                }
                if (d1 > 0) {
                    double d2 = 0;
                    for (std::size_t i = 0; i < n; ++i) {
                        double s = 0;
                        for (std::size_t j = 0; j < n; ++j) s += h(i, j) * change[j];
                        product[i] = s;
                        d2 += s * change[i];
                    }
                    d2 = 1 + d2 / d1;
                    for (std::size_t i = 0; i < n; ++i)
                        for (std::size_t j = 0; j <= i; ++j)
                            h(i, j) += (d2 * step[i] * step[j] - product[i] * step[j] -
                                        step[i] * product[j]) /
                                       d1;
                } else {
                    reset = gradients;
                }
            } else if (reset < gradients) { // no progress: start again from steepest descent
                unchanged = 0;
                reset = gradients;
            }
        } else { // uphill: start again, unless just started
            unchanged = reset == gradients ? n : 0;
            reset = gradients;
        }
        if (iterations >= max_gradients) break;
        if (gradients - reset > 2 * static_cast<int>(n)) reset = gradients; // periodic restart
    } while (unchanged != n || reset != gradients);
    return y;
}

double squared_distance(const double* a, const std::vector<double>& b) {
    double sum = 0;
    for (std::size_t k = 0; k < b.size(); ++k) sum += (a[k] - b[k]) * (a[k] - b[k]);
    return sum;
}

} // namespace

std::vector<double> distances_to_centres(const real_matrix& distances,
                                         std::span<const std::uint32_t> codes, std::uint32_t groups,
                                         dispersion_centre centre) {
    const auto n = static_cast<Eigen::Index>(codes.size());
    if (n == 0) return {};
    const double* d = distances.data();
    // -d^2/2, centred by columns and then by rows.
    Eigen::MatrixXd gower(n, n);
    for (Eigen::Index i = 0; i < n; ++i) {
        gower(i, i) = 0;
        for (Eigen::Index j = i + 1; j < n; ++j) {
            const double v = d[i * n + j];
            gower(i, j) = gower(j, i) = -0.5 * v * v;
        }
    }
    gower.rowwise() -= gower.colwise().mean();
    gower.colwise() -= gower.rowwise().mean();

    std::vector<std::vector<std::size_t>> members(groups);
    for (std::size_t i = 0; i < codes.size(); ++i) members[codes[i]].push_back(i);
    std::vector<double> result(codes.size());
    if (centre == dispersion_centre::centroid) {
        // The centred matrix is the inner products of the principal coordinates, the axes of
        // negative eigenvalue counted negative, so P - Q to a centroid is a quadratic form in
        // it: G_ii - (2/n_g) sum_j G_ij + (1/n_g^2) sum_jk G_jk over the group's taxa, with no
        // eigendecomposition (the axes within the tolerance of 0 add their few ulps).
        for (const auto& group : members) {
            const auto size = static_cast<double>(group.size());
            std::vector<double> to_group(static_cast<std::size_t>(n), 0.0);
            for (Eigen::Index i = 0; i < n; ++i)
                for (const std::size_t j : group)
                    to_group[static_cast<std::size_t>(i)] += gower(i, static_cast<Eigen::Index>(j));
            double within = 0;
            for (const std::size_t j : group) within += to_group[j];
            within /= size * size;
            for (const std::size_t i : group) {
                const auto k = static_cast<Eigen::Index>(i);
                const double excess = gower(k, k) - 2 * to_group[i] / size + within;
                result[i] = excess > 0 ? std::sqrt(excess) : 0.0;
            }
        }
        return result;
    }
    const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> solver(gower);
    const Eigen::VectorXd& values = solver.eigenvalues(); // increasing
    const double tolerance = std::sqrt(std::numeric_limits<double>::epsilon());
    const double cut = std::max(tolerance, tolerance * values(n - 1));

    // Principal coordinates: eigenvectors scaled by sqrt|eigenvalue|, the axes of positive and
    // of negative eigenvalues apart.
    points positive;
    points negative;
    std::vector<Eigen::Index> positive_axes;
    std::vector<Eigen::Index> negative_axes;
    for (Eigen::Index k = n - 1; k >= 0; --k) { // by decreasing eigenvalue
        if (values(k) > cut) positive_axes.push_back(k);
        if (values(k) < -cut) negative_axes.push_back(k);
    }
    const auto place = [&](points& p, const std::vector<Eigen::Index>& axes) {
        p.dims = axes.size();
        p.rows.resize(static_cast<std::size_t>(n) * p.dims);
        for (Eigen::Index i = 0; i < n; ++i)
            for (std::size_t a = 0; a < axes.size(); ++a)
                p.rows[static_cast<std::size_t>(i) * p.dims + a] =
                    solver.eigenvectors()(i, axes[a]) * std::sqrt(std::abs(values(axes[a])));
    };
    place(positive, positive_axes);
    place(negative, negative_axes);

    for (const auto& group : members) {
        const std::vector<double> p = spatial_median(positive, group);
        const std::vector<double> q = spatial_median(negative, group);
        for (const std::size_t i : group) {
            const double excess =
                squared_distance(positive.row(i), p) - squared_distance(negative.row(i), q);
            result[i] = excess > 0 ? std::sqrt(excess) : 0.0;
        }
    }
    return result;
}

} // namespace phylo::distance::detail
