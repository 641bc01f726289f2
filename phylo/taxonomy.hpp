#pragma once
// phylo::taxonomy: group-name tables (reading, writing, the group-name form of the generic
// operations), group numbers and sorted taxon pairs, partition measures, the one-call
// comparison of two partitions, and single-linkage groups and series.

#include <phylo/taxonomy/comparison.hpp>
#include <phylo/taxonomy/group_names.hpp>
#include <phylo/taxonomy/group_numbers.hpp>
#include <phylo/taxonomy/partitions.hpp>
#include <phylo/taxonomy/random_table.hpp>
#include <phylo/taxonomy/single_linkage.hpp>
#include <phylo/taxonomy/slc_series.hpp>
#include <phylo/taxonomy/table.hpp>
