#include <phylo/sets/taxon_sets.hpp>

#include <string>

namespace phylo::sets {

namespace {

void check_first(const taxon_labels& labels) {
    if (labels.first() < 0)
        throw range_error("taxon labels start at " + std::to_string(labels.first()) +
                          "; taxon numbers are natural numbers");
}

} // namespace

taxon_numbers to_map(const taxon_labels& labels, bool unique) {
    check_first(labels);
    taxon_numbers result;
    result.reserve(static_cast<std::size_t>(labels.length()));
    // The result is the numbering table: one try_emplace finds a label and, when it is new,
    // gives it the next number. A table of its own would keep a second copy of every label
    // only to insert each one here afterwards.
    index_type next = labels.first();
    for (index_type i = labels.first(); i <= labels.last(); ++i) {
        if (unique) {
            if (!result.try_emplace(labels.unchecked(i), i).second)
                throw range_error("attempt to insert key already in map");
        } else if (result.try_emplace(labels.unchecked(i), next).second) {
            ++next;
        }
    }
    return result;
}

hashed_taxa to_set(const taxon_labels& labels, bool unique) {
    check_first(labels);
    hashed_taxa result;
    result.reserve(static_cast<std::size_t>(labels.length()));
    for (const auto& label : labels)
        if (!result.insert(label).second && unique)
            throw range_error("attempt to insert element already in set");
    return result;
}

void union_with(hashed_taxa& target, const hashed_taxa& source) {
    if (&target == &source) return;
    target.insert(source.begin(), source.end());
}

void intersection_with(hashed_taxa& target, const hashed_taxa& source) {
    if (&target == &source) return;
    std::erase_if(target, [&](const std::string& label) { return !source.contains(label); });
}

void difference_with(hashed_taxa& target, const hashed_taxa& source) {
    if (&target == &source) {
        target.clear();
        return;
    }
    if (source.size() < target.size())
        for (const auto& label : source) target.erase(label);
    else
        std::erase_if(target, [&](const std::string& label) { return source.contains(label); });
}

void symmetric_difference_with(hashed_taxa& target, const hashed_taxa& source) {
    if (&target == &source) {
        target.clear();
        return;
    }
    for (const auto& label : source)
        if (!target.erase(label)) target.insert(label);
}

hashed_taxa union_of(const hashed_taxa& left, const hashed_taxa& right) {
    hashed_taxa result = left;
    union_with(result, right);
    return result;
}

hashed_taxa intersection_of(const hashed_taxa& left, const hashed_taxa& right) {
    const hashed_taxa& small = left.size() <= right.size() ? left : right;
    const hashed_taxa& large = left.size() <= right.size() ? right : left;
    hashed_taxa result;
    for (const auto& label : small)
        if (large.contains(label)) result.insert(label);
    return result;
}

hashed_taxa difference_of(const hashed_taxa& left, const hashed_taxa& right) {
    hashed_taxa result;
    for (const auto& label : left)
        if (!right.contains(label)) result.insert(label);
    return result;
}

hashed_taxa symmetric_difference_of(const hashed_taxa& left, const hashed_taxa& right) {
    hashed_taxa result = difference_of(left, right);
    for (const auto& label : right)
        if (!left.contains(label)) result.insert(label);
    return result;
}

bool is_subset(const hashed_taxa& subset, const hashed_taxa& of) {
    if (subset.size() > of.size()) return false;
    for (const auto& label : subset)
        if (!of.contains(label)) return false;
    return true;
}

bool overlap(const hashed_taxa& left, const hashed_taxa& right) {
    const hashed_taxa& small = left.size() <= right.size() ? left : right;
    const hashed_taxa& large = left.size() <= right.size() ? right : left;
    for (const auto& label : small)
        if (large.contains(label)) return true;
    return false;
}

} // namespace phylo::sets
