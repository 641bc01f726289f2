#include <phylo/taxonomy/single_linkage.hpp>

#include <phylo/taxonomy/slc_series.hpp>

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

} // namespace

count_array single_linkage(const pairwise_distances& pairs, index_type first, index_type last,
                           double threshold) {
    auto series = series_rows(first, last, 1);
    slc_series(pairs, threshold, 0.0, series);
    return std::move(*series.unchecked(0));
}

count_array single_linkage(const real_matrix& distances, double threshold) {
    const auto pairs = squared_to_pairwise(distances);
    return single_linkage(pairs, distances.row_first(), distances.row_last(), threshold);
}

count_vector single_linkage_series(const real_matrix& distances, double start, double step,
                                   index_type count) {
    const auto pairs = squared_to_pairwise(distances);
    auto series = series_rows(distances.row_first(), distances.row_last(), count);
    slc_series(pairs, start, step, series);
    return series;
}

} // namespace phylo::taxonomy
