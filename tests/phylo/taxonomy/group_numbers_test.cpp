#include <phylo/taxonomy/group_numbers.hpp>

#include <gtest/gtest.h>
