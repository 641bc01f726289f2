#include <phylo/taxonomy/partitions.hpp>

#include <gtest/gtest.h>
