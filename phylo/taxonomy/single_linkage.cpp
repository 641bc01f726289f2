#include <phylo/taxonomy/single_linkage.hpp>

#include <phylo/taxonomy/slc_series.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>
#include <string>
#include <utility>

namespace phylo::taxonomy {

namespace {

count_vector series_rows(index_type first, index_type last, index_type count) {
    if (last < first) throw range_error("single linkage needs at least one taxon");
    if (count < 1)
        throw range_error("a series of " + std::to_string(count) + " thresholds has no rows");
    count_vector series(0, count - 1);
    for (auto& row : series) row = std::make_unique<count_array>(first, last);
    return series;
}

std::string taxon_name(const taxon_labels* labels, index_type i) {
    if (labels == nullptr || !labels->contains(i)) return "taxon " + std::to_string(i);
    return "\"" + (*labels)[i] + "\"";
}

std::string image(double d) {
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, d).ptr);
}

} // namespace

void check_distances(const real_matrix& distances, const taxon_labels* labels) {
    constexpr double tolerance = 1e-9;
    if (distances.rows() != distances.cols() || distances.row_first() != distances.col_first())
        throw range_error("a distance matrix must be square over one index range");
    const index_type lo = distances.row_first();
    for (index_type i = lo; i <= distances.row_last(); ++i)
        for (index_type j = i; j <= distances.row_last(); ++j) {
            const double a = distances.unchecked(i, j);
            const double b = distances.unchecked(j, i);
            if (std::isnan(a) || std::isnan(b))
                throw range_error("the distance between " + taxon_name(labels, i) + " and " +
                                  taxon_name(labels, j) + " is not a number");
            if (a != b && !(std::abs(a - b) <= tolerance * std::max(std::abs(a), std::abs(b))))
                throw range_error("the matrix is not symmetric: from " + taxon_name(labels, i) +
                                  " to " + taxon_name(labels, j) + " is " + image(a) +
                                  ", back is " + image(b));
        }
}

count_array single_linkage(const pairwise_distances& pairs, index_type first, index_type last,
                           double threshold) {
    auto series = series_rows(first, last, 1);
    slc_series(pairs, threshold, 0.0, series);
    return std::move(*series.unchecked(0));
}

count_array single_linkage(const real_matrix& distances, double threshold) {
    const auto pairs = squared_to_pairwise(distances); // the size_error of a non-square matrix
    check_distances(distances);
    return single_linkage(pairs, distances.row_first(), distances.row_last(), threshold);
}

count_vector single_linkage_series(const real_matrix& distances, double start, double step,
                                   index_type count) {
    const auto pairs = squared_to_pairwise(distances);
    check_distances(distances);
    auto series = series_rows(distances.row_first(), distances.row_last(), count);
    slc_series(pairs, start, step, series);
    return series;
}

} // namespace phylo::taxonomy
