#pragma once
// Maps keyed by a set of character states, and the square sub-matrix of a labelled distance
// matrix that keeps the taxa named in a set of labels.

#include <phylo/core.hpp>
#include <phylo/real_chars.hpp>
#include <phylo/sets/taxon_sets.hpp>

#include <textutils/charset.hpp>

#include <cstddef>
#include <unordered_map>

namespace phylo::sets {

// A set of 8-bit characters, compared by membership.
using character_set = textutils::character_set;

// Hash of a character set: the standard string hash of its members written once each in
// ascending character code, so equal sets hash equally whatever order they were built in and
// the empty set hashes like the empty string.
struct c_set_hash {
    [[nodiscard]] std::size_t operator()(const character_set& set) const noexcept;
};

// A table looked up by an unordered collection of character states.
using c_set = std::unordered_map<character_set, char, c_set_hash>;

// The taxa of `x` whose labels are in `taxa`, in the order of `x`, with the rows and columns
// between them; labels of `taxa` absent from `x` are ignored and a label that `x` holds twice
// is kept twice. The result starts at x.first; with no taxon selected it is empty. A matrix
// that is not square or not one row per label is the size_error of `real_chars::basic`;
// labels or a matrix whose bounds differ from x.first .. x.last are the range error.
[[nodiscard]] squared submatrix(const squared& x, const hashed_taxa& taxa);

} // namespace phylo::sets
