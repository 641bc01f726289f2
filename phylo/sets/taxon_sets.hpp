#pragma once
// Taxa identified by name: a map from taxon label to taxon number and a set of labels, both
// hashed on the exact label text (case-sensitive, blanks significant), and the operations
// that build them from a `taxon_labels` array.
//
// Both containers are the standard hashed containers with a transparent hash, so callers
// may look labels up by `std::string_view` without building a string. The set operations
// come in two forms: `*_with` changes its target, `*_of` returns a new set.

#include <phylo/core.hpp>

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace phylo::sets {

// The standard string hash, usable on both std::string and std::string_view keys. Deliberately
// not noexcept: libstdc++ then stores each element's hash beside it instead of rehashing
// labels while it walks a bucket, which matters for sets of a million labels.
struct label_hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view label) const {
        return std::hash<std::string_view>{}(label);
    }
};

// Taxon label to taxon number; each label is a key at most once.
using taxon_numbers = std::unordered_map<std::string, index_type, label_hash, std::equal_to<>>;
// A set of taxon labels.
using hashed_taxa = std::unordered_set<std::string, label_hash, std::equal_to<>>;

// Maps every label to a number counted from labels.first(). With `unique`, each label maps to
// its own index and a repeated label is the range error "attempt to insert key already in
// map"; without it, repeated labels share the number of their first occurrence and the
// distinct labels are numbered consecutively in order of first appearance.
// A negative labels.first() is the range error.
[[nodiscard]] taxon_numbers to_map(const taxon_labels& labels, bool unique);

// The set of the labels. With `unique`, a repeated label is the range error "attempt to insert
// element already in set"; without it, repeats are ignored.
// A negative labels.first() is the range error.
[[nodiscard]] hashed_taxa to_set(const taxon_labels& labels, bool unique);

// Set algebra.
void union_with(hashed_taxa& target, const hashed_taxa& source);
void intersection_with(hashed_taxa& target, const hashed_taxa& source);
void difference_with(hashed_taxa& target, const hashed_taxa& source);
void symmetric_difference_with(hashed_taxa& target, const hashed_taxa& source);
[[nodiscard]] hashed_taxa union_of(const hashed_taxa& left, const hashed_taxa& right);
[[nodiscard]] hashed_taxa intersection_of(const hashed_taxa& left, const hashed_taxa& right);
[[nodiscard]] hashed_taxa difference_of(const hashed_taxa& left, const hashed_taxa& right);
[[nodiscard]] hashed_taxa symmetric_difference_of(const hashed_taxa& left,
                                                  const hashed_taxa& right);

// True when every element of `subset` is in `of`.
[[nodiscard]] bool is_subset(const hashed_taxa& subset, const hashed_taxa& of);
// True when the two sets share at least one element.
[[nodiscard]] bool overlap(const hashed_taxa& left, const hashed_taxa& right);

} // namespace phylo::sets
