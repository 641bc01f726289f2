#include <phylo/permutation/enumeration.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <vector>

using namespace phylo::permutation;

// Within each stratum every distinct order of its codes once, as brute force over all orders
// finds them; seek(r) lands where r steps of next() do, and the count is the formula's.
TEST(Enumeration, AssignmentsAreEachDistinctArrangementOnceAndSeekAgreesWithNext) {
    const std::vector<std::uint32_t> codes = {1, 0, 1, 2, 0, 5, 5, 4};
    const std::vector<std::uint32_t> strata = {0, 0, 0, 0, 1, 1, 1, 1};
    // Brute force: all 8! orders of the positions, kept when each stratum keeps its codes.
    std::set<std::vector<std::uint32_t>> distinct;
    std::vector<std::uint32_t> order = {0, 1, 2, 3, 4, 5, 6, 7};
    do {
        if (std::all_of(order.begin(), order.end(),
                        [&](auto p) { return strata[p] == strata[order[p]]; })) {
            std::vector<std::uint32_t> a;
            for (const auto p : order) a.push_back(codes[p]);
            distinct.insert(a);
        }
    } while (std::next_permutation(order.begin(), order.end()));
    assignment_walker walk(codes, strata);
    ASSERT_EQ(walk.count(), distinct.size()); // 4!/2! * 4!/2! = 144
    EXPECT_EQ(assignment_count(codes, strata, 1000), distinct.size());
    EXPECT_EQ(assignment_count(codes, strata, 143), std::nullopt);
    EXPECT_NEAR(assignment_count_log10(codes, strata), std::log10(144.0), 1e-12);
    std::set<std::vector<std::uint32_t>> walked;
    assignment_walker seeker(codes, strata);
    walk.seek(0);
    for (std::uint64_t r = 0; r < walk.count(); ++r, walk.next()) {
        const std::vector<std::uint32_t> a(walk.codes().begin(), walk.codes().end());
        walked.insert(a);
        seeker.seek(r);
        EXPECT_TRUE(std::equal(a.begin(), a.end(), seeker.codes().begin())) << r;
    }
    EXPECT_EQ(walked, distinct);
    EXPECT_THROW(walk.seek(144), std::exception);
}

// Every table with the margins once, with the share of all n! orders of the column labels
// that give it.
TEST(Enumeration, TablesAndTheirProbabilitiesAreThoseOfAllLabelOrders) {
    const std::vector<std::int64_t> rows = {3, 2, 4}, columns = {4, 1, 4};
    std::vector<std::uint32_t> row = {0, 0, 0, 1, 1, 2, 2, 2, 2};
    std::vector<std::uint32_t> labels = {0, 0, 0, 0, 1, 2, 2, 2, 2};
    std::map<std::vector<std::uint32_t>, double> brute;
    double orders = 0;
    std::sort(labels.begin(), labels.end());
    std::vector<std::uint32_t> position = {0, 1, 2, 3, 4, 5, 6, 7, 8};
    do {
        std::vector<std::uint32_t> cells(9, 0);
        for (std::size_t i = 0; i < 9; ++i) ++cells[row[i] * 3 + labels[position[i]]];
        brute[cells] += 1;
        orders += 1;
    } while (std::next_permutation(position.begin(), position.end()));
    std::map<std::vector<std::uint32_t>, double> walked;
    for_each_table(rows, columns, [&](std::span<const std::uint32_t> cells, double log) {
        walked[std::vector<std::uint32_t>(cells.begin(), cells.end())] += std::exp(log);
    });
    ASSERT_EQ(walked.size(), brute.size());
    for (const auto& [cells, count] : brute) EXPECT_NEAR(walked[cells], count / orders, 1e-14);
    EXPECT_EQ(table_count(rows, columns, 100), brute.size());
    EXPECT_EQ(table_count(rows, columns, brute.size() - 1), std::nullopt);
}
