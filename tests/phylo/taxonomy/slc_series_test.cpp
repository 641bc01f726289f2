#include <phylo/taxonomy/slc_series.hpp>

#include <gtest/gtest.h>
