#pragma once
// phylo::sets: taxon numbering and taxon sets, maps keyed by sets of character states,
// sub-matrices of distance matrices, and the nucleotide ambiguity codes.

#include <phylo/sets/ambiguity.hpp>
#include <phylo/sets/char_sets.hpp>
#include <phylo/sets/taxon_sets.hpp>
