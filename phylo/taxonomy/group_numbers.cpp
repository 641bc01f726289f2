#include <phylo/taxonomy/group_numbers.hpp>

#include <phylo/real_chars.hpp>
#include <phylo/taxonomy/label_numbers.hpp>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace phylo::taxonomy {

namespace {

using real_size_error = real_chars::size_error;

// The name at a position: names(position) is a const std::string&.
template <class Names>
concept name_source = requires(const Names& names, std::uint32_t position) {
    { names(position) } -> std::convertible_to<const std::string&>;
};

// Names in one array.
struct names_in_array {
    const std::string* names;
    const std::string& operator()(std::uint32_t position) const noexcept { return names[position]; }
};

// Calls visit(j, hash of names[j]) for j = 0 .. n - 1 in order, loading the table slot of each
// name a few names ahead, so that the cache misses of a large table overlap.
template <class Table, name_source Names, class Visit>
void visit_hashed(const Table& table, const Names& names, std::size_t n, Visit visit) {
    constexpr std::size_t ahead = 8;
    std::array<std::size_t, ahead> hashes{};
    for (std::size_t j = 0; j < std::min(ahead, n); ++j) {
        hashes[j] = Table::hash(names(static_cast<std::uint32_t>(j)));
        table.prefetch(hashes[j]);
    }
    for (std::size_t j = 0; j < n; ++j) {
        const std::size_t hash = hashes[j % ahead];
        if (j + ahead < n) {
            hashes[j % ahead] = Table::hash(names(static_cast<std::uint32_t>(j + ahead)));
            table.prefetch(hashes[j % ahead]);
        }
        visit(j, hash);
    }
}

// The offset in `labels` of each name of the name row. Every label must occur exactly once,
// so that every element of a result row is written.
std::vector<std::uint32_t> label_positions(const taxon_labels& labels, const taxon_labels& names) {
    if (labels.first() < 0)
        throw range_error("taxon labels start at " + std::to_string(labels.first()) +
                          "; taxon numbers are natural numbers");
    const auto n = static_cast<std::size_t>(labels.length());
    std::vector<std::uint32_t> positions(n);
    // The usual table lists its taxa in the order of the labels: then no lookup is needed.
    bool same_order = true;
    for (std::size_t k = 0; k < n && same_order; ++k)
        same_order = labels.data()[k] == names.data()[k];
    // Distinct labels are numbered in order, so each label's number is its offset.
    const names_in_array label_names{labels.data()};
    std::size_t bytes = 0;
    for (const std::string& label : labels) bytes += label.size();
    label_numbers numbers('\0', n, bytes);
    visit_hashed(numbers, label_names, n, [&](std::size_t k, std::size_t hash) {
        if (!numbers.try_add(labels.data()[k], hash).second)
            throw range_error("attempt to insert key already in map");
    });
    if (same_order) {
        for (std::size_t k = 0; k < n; ++k) positions[k] = static_cast<std::uint32_t>(k);
        return positions;
    }
    std::vector<bool> taken(n, false);
    visit_hashed(numbers, names_in_array{names.data()}, n, [&](std::size_t j, std::size_t hash) {
        const std::string& name = names.data()[j];
        const auto found = numbers.find(name, hash);
        if (!found)
            throw range_error("taxon name \"" + name +
                              "\" of the name row is not among the labels");
        if (taken[*found])
            throw range_error("taxon name \"" + name + "\" occurs more than once in the name row");
        taken[*found] = true;
        positions[j] = *found;
    });
    return positions;
}

// Calls number(j, group) for j = 0 .. n - 1 in order, groups numbered from 0 in order of first
// occurrence: one lookup per name.
template <name_source Names, class Number>
void number_groups(const Names& names, std::size_t n, Number number) {
    label_numbers groups('\0');
    visit_hashed(groups, names, n, [&](std::size_t j, std::size_t hash) {
        number(j, groups.try_add(names(static_cast<std::uint32_t>(j)), hash).first);
    });
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
        count_element* out = numbers->data();
        number_groups(names_in_array{row.data()}, positions.size(),
                      [&](std::size_t j, std::uint32_t group) {
                          out[positions[j]] = static_cast<count_element>(row.first() + group);
                      });
        result.unchecked(i) = std::move(numbers);
    }
    return result;
}

count_array group_numbers(const taxon_labels& names) {
    count_array numbers(names.first(), names.last());
    count_element* out = numbers.data();
    number_groups(
        names_in_array{names.data()}, static_cast<std::size_t>(names.length()),
        [out](std::size_t j, std::uint32_t group) { out[j] = static_cast<count_element>(group); });
    return numbers;
}

count_array column_groups(const group_name_vector& table, index_type column) {
    const index_type first = table.first();
    for (index_type i = first; i <= table.last(); ++i) {
        const auto& row = table.unchecked(i);
        if (!row) throw range_error("row " + std::to_string(i) + " of the table is null");
        if (column < row->first() || column > row->last())
            throw range_error("field " + std::to_string(column) + " is beyond row " +
                              std::to_string(i) + ", whose fields are " +
                              std::to_string(row->first()) + " .. " + std::to_string(row->last()));
    }
    const auto field = [&table, first, column](std::uint32_t k) -> const std::string& {
        return table.unchecked(first + static_cast<index_type>(k))->unchecked(column);
    };
    count_array numbers(first, table.last());
    count_element* out = numbers.data();
    number_groups(
        field, static_cast<std::size_t>(table.length()),
        [out](std::size_t j, std::uint32_t group) { out[j] = static_cast<count_element>(group); });
    return numbers;
}

namespace {

// Maps a distance to an unsigned key in the same order; every not-a-number goes last.
std::uint64_t sort_key(double distance) noexcept {
    if (distance != distance) return std::numeric_limits<std::uint64_t>::max();
    const auto bits = std::bit_cast<std::uint64_t>(distance);
    return (bits >> 63) != 0 ? ~bits : bits | (std::uint64_t{1} << 63);
}

// Asks the kernel to back a large, not yet touched block with huge pages: the pair list of a
// few thousand taxa is tens of megabytes, and faulting it in 4 KiB at a time costs as much as
// sorting it. Only a hint; nothing depends on it.
void advise_huge_pages([[maybe_unused]] void* block, [[maybe_unused]] std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t huge = std::uintptr_t{1} << 21;
    const auto begin = (reinterpret_cast<std::uintptr_t>(block) + huge - 1) & ~(huge - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(block) + bytes) & ~(huge - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#endif
}

// Sorts records by increasing sort_key: exact, not stable.
void sort_by_key(pairwise_distance* first, pairwise_distance* last) {
    const auto less = [](const pairwise_distance& a, const pairwise_distance& b) {
        return sort_key(a.distance) < sort_key(b.distance);
    };
    if (last - first <= 16) {
        for (pairwise_distance* i = first + std::min<std::ptrdiff_t>(1, last - first); i < last;
             ++i) {
            const pairwise_distance moving = *i;
            pairwise_distance* j = i;
            for (; j > first && less(moving, *(j - 1)); --j) *j = *(j - 1);
            *j = moving;
        }
    } else {
        std::sort(first, last, less);
    }
}

// Maps finite values of lowest .. highest onto buckets 0 .. count - 1 by value, in order:
// subtraction, multiplication and truncation are all monotone, so a <= b never puts a in a
// later bucket than b. Values below lowest go to the first bucket, the rest (infinity, not a
// number) to the last; a span that does not give a finite scale puts everything in one bucket.
class value_buckets {
public:
    value_buckets(double lowest, double highest, std::size_t count)
        : lowest_(lowest), last_(count - 1) {
        const double span = highest - lowest;
        scale_ = span > 0 && std::isfinite(span) ? static_cast<double>(count) / span : 0.0;
        if (!std::isfinite(scale_)) scale_ = 0.0;
    }
    std::size_t operator()(double value) const noexcept {
        const double x = (value - lowest_) * scale_;
        if (!(x >= 0)) return value < lowest_ ? 0 : last_; // below, or not a number
        return x < static_cast<double>(last_) ? static_cast<std::size_t>(x) : last_;
    }

private:
    double lowest_;
    double scale_;
    std::size_t last_;
};

// Sorts one bucket that fits in cache: a second split by value into about one sub-bucket per
// record, through `scratch`, leaves sub-buckets of one or a few records to finish by comparison.
void sort_bucket(pairwise_distance* records, std::size_t n, std::vector<pairwise_distance>& scratch,
                 std::vector<std::size_t>& start) {
    if (n <= 64) {
        sort_by_key(records, records + n);
        return;
    }
    double lowest = std::numeric_limits<double>::infinity();
    double highest = -lowest;
    for (std::size_t k = 0; k < n; ++k) {
        lowest = std::min(lowest, records[k].distance);
        highest = std::max(highest, records[k].distance);
    }
    const value_buckets sub(lowest, highest, n);
    start.assign(n + 1, 0);
    for (std::size_t k = 0; k < n; ++k) ++start[sub(records[k].distance) + 1];
    if (start[sub(records[0].distance) + 1] == n) { // no spread by value (infinities, equal values)
        sort_by_key(records, records + n);
        return;
    }
    for (std::size_t d = 1; d <= n; ++d) start[d] += start[d - 1];
    if (scratch.size() < n) scratch.resize(n);
    for (std::size_t k = 0; k < n; ++k) scratch[start[sub(records[k].distance)]++] = records[k];
    // start[d] now ends sub-bucket d.
    std::size_t begin = 0;
    for (std::size_t d = 0; d < n; ++d) {
        const std::size_t end = start[d];
        std::copy(scratch.begin() + static_cast<std::ptrdiff_t>(begin),
                  scratch.begin() + static_cast<std::ptrdiff_t>(end), records + begin);
        if (end - begin > 1) sort_by_key(records + begin, records + end);
        begin = end;
    }
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

    // Bucket sort by value: 2048 buckets over the range of the finite distances, filled as the
    // records are made, then each bucket is sorted in cache. Linear for spread-out distances;
    // heavy ties or clumps fall back to comparison sorting within their bucket. The range is
    // taken from about a hundred rows, which saves a pass over the matrix: values outside it
    // only land in the first or the last bucket.
    const index_type lo = matrix.row_first();
    const index_type hi = matrix.row_last();
    double lowest = std::numeric_limits<double>::infinity();
    double highest = -lowest;
    const index_type stride = std::max<index_type>(1, n / 128);
    for (index_type i = lo; i < hi; i += stride)
        for (const double d : matrix.row(i).subspan(static_cast<std::size_t>(i + 1 - lo)))
            if (std::isfinite(d)) {
                lowest = std::min(lowest, d);
                highest = std::max(highest, d);
            }
    constexpr std::size_t buckets = 2048;
    const value_buckets bucket(lowest, highest, buckets);

    std::vector<std::size_t> start(buckets + 1, 0);
    for (index_type i = lo; i < hi; ++i)
        for (const double d : matrix.row(i).subspan(static_cast<std::size_t>(i + 1 - lo)))
            ++start[bucket(d) + 1];
    for (std::size_t b = 1; b <= buckets; ++b) start[b] += start[b - 1];

    std::vector<pairwise_distance> records;
    records.reserve(static_cast<std::size_t>(count));
    advise_huge_pages(records.data(), records.capacity() * sizeof(pairwise_distance));
    records.resize(static_cast<std::size_t>(count));
    std::vector<std::size_t> next(start.begin(), start.end() - 1);
    for (index_type i = lo; i < hi; ++i) {
        const auto row = matrix.row(i);
        for (index_type j = i + 1; j <= hi; ++j) {
            const double d = row[static_cast<std::size_t>(j - lo)];
            records[next[bucket(d)]++] = {d, static_cast<std::int32_t>(i),
                                          static_cast<std::int32_t>(j)};
        }
    }
    std::vector<pairwise_distance> scratch;
    std::vector<std::size_t> sub_start;
    for (std::size_t b = 0; b < buckets; ++b)
        sort_bucket(records.data() + start[b], start[b + 1] - start[b], scratch, sub_start);
    return pairwise_distances(0, std::move(records));
}

} // namespace phylo::taxonomy
