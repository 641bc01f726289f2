#pragma once
// The principal-coordinates part of PERMDISP, kept apart because it is the only code of the
// library that needs an eigensolver (Eigen 3, a private build requirement: no installed header
// includes this one).

#include <phylo/core.hpp>
#include <phylo/distance/null_values.hpp>

#include <cstdint>
#include <span>
#include <vector>

namespace phylo::distance::detail {

// Each taxon's distance to the centre of its group (codes 0 .. groups - 1, one per row of the
// square `distances`, whose upper triangle is read), as permdisp_null defines it.
[[nodiscard]] std::vector<double> distances_to_centres(const real_matrix& distances,
                                                       std::span<const std::uint32_t> codes,
                                                       std::uint32_t groups,
                                                       dispersion_centre centre);

} // namespace phylo::distance::detail
