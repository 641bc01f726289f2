#pragma once
// phylo::distance: the statistics of distance-based tests of association (PERMANOVA, ANOSIM,
// PERMDISP, Mantel), observed and under many reshuffles at once.

#include <phylo/distance/null_values.hpp>
#include <phylo/distance/statistics.hpp>
