#pragma once
// Nucleotide ambiguity codes: the one character that stands for a set of states seen at one
// position of a DNA alignment.

#include <phylo/sets/char_sets.hpp>

namespace phylo::sets {

// A new table from every non-empty subset of the lower-case bases a, c, g, t and the gap '-'
// (31 keys) to its lower-case IUPAC code: single bases to themselves, the gap alone to '-',
// any mixture of the gap with bases to '?'. Other characters, upper-case bases included, are
// not keys.
[[nodiscard]] c_set ambiguity_code();

} // namespace phylo::sets
