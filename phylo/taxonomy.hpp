#pragma once
// phylo::taxonomy: group-name tables (reading, writing, the group-name form of the generic
// operations), group numbers and sorted taxon pairs, partition comparison measures and
// single-linkage cluster series.

#include <phylo/taxonomy/group_names.hpp>
#include <phylo/taxonomy/group_numbers.hpp>
#include <phylo/taxonomy/partitions.hpp>
#include <phylo/taxonomy/slc_series.hpp>
#include <phylo/taxonomy/table.hpp>
