#pragma once
// Maps keyed by a set of character states, and the square sub-matrix of a labelled distance
// matrix that keeps the taxa named in a set of labels.

#include <phylo/core.hpp>

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

} // namespace phylo::sets
