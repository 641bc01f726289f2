#include <phylo/permutation/distance_family.hpp>

#include <gtest/gtest.h>
