#include <phylo/taxonomy/partitions.hpp>

#include <phylo/count_chars.hpp>
#include <phylo/taxonomy/detail/counting.hpp>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace phylo::taxonomy {

namespace {

using count_size_error = count_chars::size_error;
using detail::entropy_sum;
using detail::pairs_in;
using detail::table_fits;
using detail::walk_cells;

void check_not_empty(const count_array& partition) {
    if (partition.empty()) throw range_error("an empty partition has no measures");
}

void check_groups(const count_array& partition, std::int32_t groups, const char* which) {
    for (index_type k = partition.first(); k <= partition.last(); ++k) {
        const count_element g = partition.unchecked(k);
        if (g < 0 || g >= groups)
            throw range_error(std::string("group number ") + std::to_string(g) + " of taxon " +
                              std::to_string(k) + " in the " + which +
                              " partition is outside 0 .. " + std::to_string(groups - 1));
    }
}

// Every partition of `set` is present, has `bounds`' bounds, and the set is not empty.
void check_set(const count_vector& set, const count_array* bounds, const char* which) {
    if (set.empty()) throw range_error(std::string("the ") + which + " partition set is empty");
    for (index_type i = set.first(); i <= set.last(); ++i) {
        const auto& p = set.unchecked(i);
        if (!p)
            throw range_error(std::string("partition ") + std::to_string(i) + " of the " + which +
                              " set is null");
        if (bounds == nullptr) bounds = p.get();
        if (p->length() != bounds->length())
            throw count_size_error(std::string("partition ") + std::to_string(i) + " of the " +
                                   which + " set has " + std::to_string(p->length()) +
                                   " taxa, not " + std::to_string(bounds->length()));
    }
    for (index_type i = set.first(); i <= set.last(); ++i)
        if (!set.unchecked(i)->empty() && set.unchecked(i)->first() != bounds->first())
            throw range_error(std::string("partition ") + std::to_string(i) + " of the " + which +
                              " set starts at index " + std::to_string(set.unchecked(i)->first()) +
                              ", not " + std::to_string(bounds->first()));
}

} // namespace

single_measures partition_measures(const count_array& partition) {
    check_not_empty(partition);
    const std::int64_t n = partition.length();
    const auto [low, high] = std::minmax_element(partition.begin(), partition.end());
    const std::int64_t lowest = *low;
    const std::int64_t range = std::int64_t{*high} - lowest + 1;

    single_measures result{0, 0, 0.0};
    entropy_sum entropy(n);
    const auto add_group = [&](std::int64_t c) {
        ++result.groups;
        result.pairs += pairs_in(c);
        entropy.add(c);
    };
    if (table_fits(range, n)) {
        std::vector<std::uint32_t> counts(static_cast<std::size_t>(range), 0);
        for (const auto g : partition) ++counts[static_cast<std::size_t>(g - lowest)];
        for (const auto c : counts)
            if (c != 0) add_group(c);
    } else {
        // Sparse group numbers: sort a copy and count the runs.
        count_array sorted = partition;
        count_chars::array_sort(sorted);
        const auto values = sorted.span();
        std::size_t run = 0;
        for (std::size_t r = 1; r <= values.size(); ++r)
            if (r == values.size() || values[r] != values[run]) {
                add_group(static_cast<std::int64_t>(r - run));
                run = r;
            }
    }
    result.entropy = entropy.value();
    return result;
}

joint_measures partitions_measures(const count_array& first, const count_array& second,
                                   std::int32_t first_groups, std::int32_t second_groups) {
    if (first.length() != second.length())
        throw count_size_error("partitions of " + std::to_string(first.length()) + " and " +
                               std::to_string(second.length()) + " taxa cannot be compared");
    check_not_empty(first);
    if (first.first() != second.first())
        throw range_error("the partitions start at indices " + std::to_string(first.first()) +
                          " and " + std::to_string(second.first()));
    check_groups(first, first_groups, "first");
    check_groups(second, second_groups, "second");

    const std::int64_t n = first.length();
    joint_measures result{0, 0.0};
    entropy_sum entropy(n);
    walk_cells(first.data(), second.data(), n, first_groups, second_groups,
               [&](std::int64_t, std::int64_t, std::int64_t c) {
                   result.pairs += pairs_in(c);
                   entropy.add(c);
               });
    result.entropy = entropy.value();
    return result;
}

real_vector partition_similarities(const count_vector& first, const count_vector& second) {
    check_set(first, nullptr, "first");
    const count_array& model = *first.unchecked(first.first());
    check_set(second, &model, "second");
    check_not_empty(model);
    const std::int64_t n = model.length();
    if (n < 2) throw range_error("a single taxon has no pairs to compare partitions by");

    std::vector<single_measures> first_measures;
    std::vector<single_measures> second_measures;
    for (const auto& p : first) first_measures.push_back(partition_measures(*p));
    for (const auto& p : second) second_measures.push_back(partition_measures(*p));

    const index_type m = second.length();
    real_vector result(first.first(), first.last());
    for (index_type i = first.first(); i <= first.last(); ++i) {
        const auto& a = first_measures[static_cast<std::size_t>(i - first.first())];
        auto row = std::make_unique<real_array>(0, 3 * m - 1);
        for (index_type j = 0; j < m; ++j) {
            const auto& b = second_measures[static_cast<std::size_t>(j)];
            const auto joint = partitions_measures(
                *first.unchecked(i), *second.unchecked(second.first() + j), a.groups, b.groups);
            const auto rand = detail::rand_from_pairs(n, a.pairs, b.pairs, joint.pairs);
            row->unchecked(3 * j) = (a.entropy + b.entropy - joint.entropy) / joint.entropy;
            row->unchecked(3 * j + 1) = rand.rand;
            row->unchecked(3 * j + 2) = rand.adjusted;
        }
        result.unchecked(i) = std::move(row);
    }
    return result;
}

} // namespace phylo::taxonomy
