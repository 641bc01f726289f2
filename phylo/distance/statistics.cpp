#include <phylo/distance/statistics.hpp>

namespace phylo::distance {

double permanova(const real_matrix& distances, const count_array& groups) {
    return permanova_null(distances, groups).observed();
}

double permanova_r2(const real_matrix& distances, const count_array& groups) {
    return permanova_null(distances, groups).observed_r2();
}

double anosim(const real_matrix& distances, const count_array& groups) {
    return anosim_null(distances, groups).observed();
}

double permdisp(const real_matrix& distances, const count_array& groups) {
    return permdisp_null(distances, groups, dispersion_centre::spatial_median).observed();
}

double permdisp_centroid(const real_matrix& distances, const count_array& groups) {
    return permdisp_null(distances, groups, dispersion_centre::centroid).observed();
}

double mantel(const real_matrix& first, const real_matrix& second) {
    return mantel_null(first, second, correlation::pearson).observed();
}

double mantel_spearman(const real_matrix& first, const real_matrix& second) {
    return mantel_null(first, second, correlation::spearman).observed();
}

} // namespace phylo::distance
