#include <phylo/taxonomy/group_numbers.hpp>

#include <phylo/sets/taxon_sets.hpp>

#include <phylo/real_chars.hpp>

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace phylo::taxonomy {

namespace {

using real_size_error = real_chars::size_error;

// The position in `labels` of each name of the name row. Every label must occur exactly once,
// so that every element of a result row is written.
std::vector<index_type> label_positions(const taxon_labels& labels, const taxon_labels& names) {
    const auto numbers = sets::to_map(labels, true);
    std::vector<index_type> positions(static_cast<std::size_t>(names.length()));
    std::vector<bool> taken(static_cast<std::size_t>(labels.length()), false);
    for (index_type j = names.first(); j <= names.last(); ++j) {
        const std::string& name = names.unchecked(j);
        const auto found = numbers.find(name);
        if (found == numbers.end())
            throw range_error("taxon name \"" + name + "\" of the name row is not among the labels");
        const auto k = static_cast<std::size_t>(found->second - labels.first());
        if (taken[k])
            throw range_error("taxon name \"" + name + "\" occurs more than once in the name row");
        taken[k] = true;
        positions[static_cast<std::size_t>(j - names.first())] = found->second;
    }
    return positions;
}

} // namespace

count_vector to_group_numbers(const taxon_labels& labels, const group_name_vector& table) {
    if (table.empty()) throw range_error("the classification table has no name row");
    const taxon_labels& names = group_names::row(table, table.first());
    for (index_type i = table.first() + 1; i <= table.last(); ++i)
        if (group_names::row(table, i).length() != names.length())
            throw group_names::size_error("classification row " + std::to_string(i) + " has " +
                                          std::to_string(group_names::row(table, i).length()) +
                                          " names, the name row " + std::to_string(names.length()));
    if (names.length() != labels.length())
        throw group_names::size_error("the name row has " + std::to_string(names.length()) +
                                      " names for " + std::to_string(labels.length()) + " labels");
    for (index_type i = table.first() + 1; i <= table.last(); ++i)
        if (table.unchecked(i)->first() != names.first())
            throw range_error("classification row " + std::to_string(i) + " starts at index " +
                              std::to_string(table.unchecked(i)->first()) + ", the name row at " +
                              std::to_string(names.first()));

    const auto positions = label_positions(labels, names);
    count_vector result(table.first() + 1, table.last());
    for (index_type i = result.first(); i <= result.last(); ++i) {
        const taxon_labels& row = *table.unchecked(i);
        auto numbers = std::make_unique<count_array>(labels.first(), labels.last());
        // One lookup per name: the group is numbered on its first occurrence.
        sets::taxon_numbers groups;
        index_type next = row.first();
        for (index_type j = row.first(); j <= row.last(); ++j) {
            const auto [group, added] = groups.try_emplace(row.unchecked(j), next);
            if (added) ++next;
            numbers->unchecked(positions[static_cast<std::size_t>(j - row.first())]) =
                static_cast<count_element>(group->second);
        }
        result.unchecked(i) = std::move(numbers);
    }
    return result;
}

namespace {

// Maps a distance to an unsigned key in the same order; every not-a-number goes last.
std::uint64_t sort_key(double distance) noexcept {
    if (distance != distance) return std::numeric_limits<std::uint64_t>::max();
    const auto bits = std::bit_cast<std::uint64_t>(distance);
    return (bits >> 63) != 0 ? ~bits : bits | (std::uint64_t{1} << 63);
}

// Least-significant-digit radix sort on the distance key, 11 bits a pass; passes in which
// every record falls into one bucket are skipped. Linear time, one scratch copy.
void radix_sort(std::vector<pairwise_distance>& records) {
    constexpr int digit_bits = 11;
    constexpr int passes = (64 + digit_bits - 1) / digit_bits;
    constexpr std::size_t buckets = std::size_t{1} << digit_bits;
    constexpr std::uint64_t mask = buckets - 1;
    const std::size_t n = records.size();
    if (n < 2) return;

    std::vector<std::array<std::size_t, buckets>> counts(passes);
    for (auto& c : counts) c.fill(0);
    for (const auto& r : records) {
        const auto key = sort_key(r.distance);
        for (int p = 0; p < passes; ++p) ++counts[static_cast<std::size_t>(p)][(key >> (p * digit_bits)) & mask];
    }

    std::vector<pairwise_distance> scratch(n);
    pairwise_distance* from = records.data();
    pairwise_distance* to = scratch.data();
    for (int p = 0; p < passes; ++p) {
        auto& count = counts[static_cast<std::size_t>(p)];
        const int shift = p * digit_bits;
        if (count[(sort_key(from[0].distance) >> shift) & mask] == n) continue;
        std::size_t offset = 0;
        for (auto& c : count) offset += std::exchange(c, offset);
        for (std::size_t k = 0; k < n; ++k) {
            const auto digit = (sort_key(from[k].distance) >> shift) & mask;
            to[count[digit]++] = from[k];
        }
        std::swap(from, to);
    }
    if (from != records.data()) records.swap(scratch);
}

} // namespace

pairwise_distances squared_to_pairwise(const real_matrix& matrix) {
    if (matrix.rows() != matrix.cols())
        throw real_size_error("a " + std::to_string(matrix.rows()) + " x " +
                              std::to_string(matrix.cols()) + " matrix is not square");
    if (matrix.rows() > 0 && matrix.col_first() != matrix.row_first())
        throw range_error("the columns of a distance matrix must have the index range of its rows");
    const index_type n = matrix.rows();
    const index_type count = n * (n - 1) / 2;
    if (count - 1 > max_index)
        throw range_error(std::to_string(n) + " taxa have " + std::to_string(count) +
                          " pairs, more than an array can index");

    std::vector<pairwise_distance> records;
    records.reserve(static_cast<std::size_t>(count));
    for (index_type i = matrix.row_first(); i < matrix.row_last(); ++i) {
        const auto row = matrix.row(i);
        for (index_type j = i + 1; j <= matrix.row_last(); ++j)
            records.push_back({row[static_cast<std::size_t>(j - matrix.row_first())],
                               static_cast<std::int32_t>(i), static_cast<std::int32_t>(j)});
    }
    radix_sort(records);
    return pairwise_distances(0, std::move(records));
}

} // namespace phylo::taxonomy
