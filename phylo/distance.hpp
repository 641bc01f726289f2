#pragma once
// phylo::distance: the statistics of distance-based tests of association (PERMANOVA, ANOSIM,
// PERMDISP, Mantel), observed and under many reshuffles at once; distance matrix files of any
// layout and the checks of a matrix to test with.

#include <phylo/distance/matrix_file.hpp>
#include <phylo/distance/null_values.hpp>
#include <phylo/distance/statistics.hpp>
