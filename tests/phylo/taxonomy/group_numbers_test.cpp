#include <phylo/taxonomy/group_numbers.hpp>
#include <phylo/taxonomy/label_numbers.hpp>

#include <phylo/real_chars.hpp>

#include "../../test_support.hpp"

#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <random>
#include <vector>

using namespace phylo;
using namespace phylo::taxonomy;

namespace {

using test_support::expect_error;

using names = std::vector<std::string>;

// A column-wise table: the name row, then one row per classification, all from `first`.
group_name_vector table_from(index_type table_first, index_type first,
                             const std::vector<names>& rows) {
    group_name_vector table(table_first, table_first + static_cast<index_type>(rows.size()) - 1);
    for (std::size_t i = 0; i < rows.size(); ++i)
        table[table_first + static_cast<index_type>(i)] =
            std::make_unique<taxon_labels>(first, rows[i]);
    return table;
}

std::vector<count_element> values(const count_array& a) { return {a.begin(), a.end()}; }

} // namespace

TEST(LabelNumbers, NumbersInOrderOfFirstAppearanceAndHandsOverTheText) {
    label_numbers table('|');
    // 1000 labels, three times over: enough to grow the slots several times.
    for (int k = 0; k < 3000; ++k) ASSERT_EQ(table.add(std::to_string(k % 1000)), k % 1000) << k;
    ASSERT_EQ(table.size(), 1000u);
    for (std::uint32_t n = 0; n < table.size(); ++n)
        ASSERT_EQ(table.find(table.label(n), label_numbers::hash(table.label(n))), n);
    EXPECT_EQ(table.find("x", label_numbers::hash("x")), std::nullopt);
    EXPECT_EQ(table.try_add("", label_numbers::hash("")), std::pair(1000u, true));
    EXPECT_EQ(table.try_add("", label_numbers::hash("")), std::pair(1000u, false));
    const auto starts = table.starts();
    const std::string text = table.take_text(4);
    EXPECT_EQ(text.substr(0, 4), "0|1|");
    EXPECT_EQ(text.substr(starts[1000] - 4), "999||" + std::string(4, '\0'));
}

TEST(ToGroupNumbers, NumbersFollowFirstOccurrenceAlongTheRow) {
    // Numbered along the name row, given in label order. Names are exact: "B" is not "b", "x "
    // is not "x", and the empty name is a group.
    const auto table =
        table_from(0, 0, {{"a", "b", "c", "d"}, {"x", "y", "x", "x "}, {"B", "b", "b", ""}});
    const auto numbers = to_group_numbers(taxon_labels(0, names{"d", "c", "b", "a"}), table);
    ASSERT_TRUE(numbers.first() == 1 && numbers.last() == 2);
    EXPECT_EQ(values(*numbers[1]), (std::vector<count_element>{2, 0, 1, 0}));
    EXPECT_EQ(values(*numbers[2]), (std::vector<count_element>{2, 1, 1, 0}));
    // Labels over 10 .. 12, table rows over 4 .. 6, the table itself from 2: groups from 4.
    const auto shifted = to_group_numbers(taxon_labels(10, names{"t1", "t2", "t3"}),
                                          table_from(2, 4, {{"t3", "t1", "t2"}, {"g", "h", "g"}}));
    ASSERT_TRUE(shifted.first() == 3 && shifted[3]->first() == 10);
    EXPECT_EQ(values(*shifted[3]), (std::vector<count_element>{5, 4, 4}));
    EXPECT_TRUE(to_group_numbers(taxon_labels(0, names{"a"}), table_from(0, 0, {{"a"}})).empty());
}

TEST(ToGroupNumbers, ShuffledNamesAgreeWithAMap) {
    std::mt19937 random(7);
    const int n = 5000; // enough to make the hash tables grow
    names labels, order, groups;
    for (int k = 0; k < n; ++k) labels.push_back("taxon" + std::to_string(k));
    order = labels;
    std::shuffle(order.begin(), order.end(), random);
    for (int k = 0; k < n; ++k)
        groups.push_back(std::string("g").append(std::to_string(random() % 1500)));
    const auto numbers =
        to_group_numbers(taxon_labels(0, labels), table_from(0, 0, {order, groups}));
    std::map<std::string, count_element> expected;
    for (const auto& g : groups)
        expected.try_emplace(g, static_cast<count_element>(expected.size()));
    for (std::size_t j = 0; j < order.size(); ++j)
        ASSERT_EQ((*numbers[1])[std::stoi(order[j].substr(5))], expected[groups[j]]) << j;
}

TEST(ToGroupNumbers, Errors) {
    const taxon_labels abc(0, names{"a", "b", "c"});
    const auto uneven = table_from(0, 0, {{"a", "b", "c"}, {"x", "y"}});
    expect_error<group_names::size_error>([&] { (void)to_group_numbers(abc, uneven); },
                                          "classification row 1 has 2 names, the name row 3");
    auto null_row = table_from(0, 0, {{"a", "b", "c"}, {"x", "y", "x"}});
    null_row[1].reset();
    const std::pair<group_name_vector, const char*> range_errors[] = {
        {group_name_vector(0, -1), "the classification table has no name row"},
        {std::move(null_row), "row 1 is null"},
        {table_from(0, 0, {{"a", "b", "d"}}),
         "taxon name \"d\" of the name row is not among the labels"},
        // A repeated name would leave a label's position unwritten: refused.
        {table_from(0, 0, {{"a", "b", "a"}}),
         "taxon name \"a\" occurs more than once in the name row"},
    };
    for (const auto& c : range_errors)
        expect_error<range_error>([&] { (void)to_group_numbers(abc, c.first); }, c.second);
}

TEST(SquaredToPairwise, OnlyTheUpperTriangle) {
    real_matrix three(4, 6, 4, 6);
    three(4, 5) = 5;
    three(4, 6) = 2;
    three(5, 6) = 3;
    three(5, 4) = three(6, 6) = -100; // the lower triangle and the diagonal are not read
    std::vector<std::vector<double>> pairs;
    for (const auto& p : squared_to_pairwise(three))
        pairs.push_back({p.distance, double(p.first_taxon), double(p.second_taxon)});
    EXPECT_EQ(pairs, (std::vector<std::vector<double>>{{2, 4, 6}, {3, 5, 6}, {5, 4, 5}}));
    EXPECT_TRUE(squared_to_pairwise(real_matrix(0, 0, 0, 0)).empty());
    EXPECT_TRUE(squared_to_pairwise(real_matrix(0, -1, 0, -1)).empty());
    expect_error<real_chars::size_error>([] { (void)squared_to_pairwise(real_matrix(0, 1, 0, 2)); },
                                         "a 2 x 3 matrix is not square");
    expect_error<range_error>(
        [] { (void)squared_to_pairwise(real_matrix(0, 2, 1, 3)); },
        "the columns of a distance matrix must have the index range of its rows");
}

TEST(SquaredToPairwise, SortsEveryDistribution) {
    const index_type n = 300;
    std::mt19937_64 random(8);
    std::uniform_real_distribution<double> uniform(0, 1);
    constexpr double inf = std::numeric_limits<double>::infinity();
    const std::function<double(index_type, index_type)> distributions[] = {
        // Ties, signed zeros, negative values, wide exponents, infinities and not-a-number.
        [&](index_type i, index_type j) {
            if (i == 3 && j == 9) return inf;
            if (i == 4 && j == 8) return -inf;
            if (i == 0 && j == 5) return std::nan("");
            if ((i + j) % 7 == 0) return i % 2 ? -0.0 : 0.0;
            return (uniform(random) - 0.5) * std::pow(10.0, static_cast<double>((i + j) % 40) - 20);
        },
        [](index_type i, index_type j) { return (i + j) % 2 ? 1.0 : 3.0; },
        // A tight clump with far outliers in rows that a sample of rows would skip.
        [&](index_type i, index_type j) {
            return i == 1 && j == 7 ? -1e9 : i == 2 && j == 5 ? 1e9 : 1.0 + 1e-9 * uniform(random);
        },
        // Most pairs in one value bucket, spread thinly inside it.
        [&](index_type i, index_type j) {
            return (i * j) % 97 == 0 ? 1000.0 * uniform(random) : uniform(random) * 1e-3;
        }};
    for (const auto& value : distributions) {
        real_matrix m(0, n - 1, 0, n - 1);
        for (index_type i = 0; i < n; ++i)
            for (index_type j = 0; j < n; ++j) m(i, j) = value(i, j);
        // Sorted, not-a-number last, each pair of the upper triangle exactly once with its own
        // value.
        const auto pairs = squared_to_pairwise(m);
        ASSERT_EQ(pairs.length(), n * (n - 1) / 2);
        std::vector<bool> seen(static_cast<std::size_t>(n * n), false);
        for (index_type k = 0; k < pairs.length(); ++k) {
            const auto& p = pairs[k];
            const auto at = static_cast<std::size_t>(p.first_taxon * n + p.second_taxon);
            ASSERT_TRUE(p.first_taxon < p.second_taxon && !seen[at]);
            seen[at] = true;
            ASSERT_EQ(std::bit_cast<std::uint64_t>(p.distance),
                      std::bit_cast<std::uint64_t>(m(p.first_taxon, p.second_taxon)));
            const double before = k > 0 ? pairs[k - 1].distance : -inf;
            ASSERT_FALSE(p.distance < before || (std::isnan(before) && !std::isnan(p.distance)))
                << k;
        }
    }
}
