#include <phylo/count_chars.hpp>
#include <phylo/taxonomy/group_names.hpp>
#include <phylo/taxonomy/table.hpp>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

using namespace phylo;
using phylo::taxonomy::group_name_matrix;
using phylo::taxonomy::group_name_vector;
using phylo::taxonomy::group_names;

namespace {

group_name_vector read(const std::string& text) {
    std::istringstream in(text);
    return taxonomy::get(in, '\t', "test table");
}

std::vector<std::string> fields(const taxon_labels& row) { return {row.begin(), row.end()}; }

taxon_labels labels(index_type first, std::vector<std::string> names) {
    return taxon_labels(first, std::move(names));
}

} // namespace

TEST(GroupNameTables, TransposeGivesOneRowPerClassification) {
    const auto table = read("x\tA\ny\tB\nz\tA\n");
    const auto by_field = group_names::transpose(table);
    ASSERT_EQ(by_field.first(), 0);
    ASSERT_EQ(by_field.last(), 1);
    EXPECT_EQ(fields(*by_field[0]), (std::vector<std::string>{"x", "y", "z"}));
    EXPECT_EQ(fields(*by_field[1]), (std::vector<std::string>{"A", "B", "A"}));
    EXPECT_EQ(by_field[1]->first(), 0);
    EXPECT_EQ(by_field[1]->last(), 2);

    const auto back = group_names::transpose(by_field);
    for (index_type i = 0; i <= 2; ++i) EXPECT_EQ(*back[i], *table[i]);
}

TEST(GroupNameTables, ExtractTakesOneFieldOfEveryRow) {
    const auto table = read("x\t1\ny\t2\n");
    EXPECT_EQ(group_names::extract(table, 0), labels(0, {"x", "y"}));
    EXPECT_EQ(group_names::extract(table, 1), labels(0, {"1", "2"}));
    EXPECT_THROW(group_names::extract(table, 2), range_error);
    EXPECT_TRUE(group_names::extract(read("\n\n"), 0).empty());
}

TEST(GroupNameTables, MatrixFormRoundTripsAndCopiesStrings) {
    const auto table = read("a\tb\tc\nd\te\tf\n");
    auto m = group_names::arrays_to_matrix(table);
    EXPECT_EQ(m.rows(), 2);
    EXPECT_EQ(m(1, 2), "f");
    m(1, 2) = "changed"; // the matrix holds its own copies
    EXPECT_EQ((*table[1])[2], "f");
    EXPECT_EQ(group_names::extract(m, 1, group_names::direction::COLUMN), labels(0, {"b", "e"}));
    const auto rows = group_names::matrix_to_arrays(m);
    EXPECT_EQ(fields(*rows[1]), (std::vector<std::string>{"d", "e", "changed"}));
}

TEST(GroupNameTables, CountingAndDistanceAreCaseSensitive) {
    const auto row = labels(0, {"A", "a", "A"});
    EXPECT_EQ(group_names::how_many(row, "A"), 2);
    EXPECT_FALSE(group_names::contains(row, "b"));
    EXPECT_EQ(group_names::abs_dist(labels(0, {"A", "B", "C"}), labels(0, {"A", "b", "C"})), 1);
}

TEST(GroupNameTables, UnequalRowsRaiseTheGroupNameSizeError) {
    group_name_vector table(0, 1);
    table[0] = std::make_unique<taxon_labels>(labels(0, {"a", "b"}));
    table[1] = std::make_unique<taxon_labels>(labels(0, {"c"}));
    EXPECT_FALSE(group_names::is_aligned(table));
    try {
        group_names::arrays_to_matrix(table);
        ADD_FAILURE() << "no size_error";
    } catch (const count_chars::size_error&) {
        ADD_FAILURE() << "caught by the count form's size_error";
    } catch (const group_names::size_error& e) {
        EXPECT_STREQ(e.name(), "size error");
    }
}

TEST(GroupNameTables, ApplyOnStrings) {
    auto table = read("x\tA\ny\tB\n");
    group_names::apply(table, [](const std::string& s) { return s + "!"; });
    EXPECT_EQ(fields(*table[1]), (std::vector<std::string>{"y!", "B!"}));
    const auto joined = group_names::apply(*table[0], [](const std::string& a, const std::string& b) {
        return a + "," + b;
    });
    EXPECT_EQ(joined, "x!,A!");
    const auto same = group_names::apply(
        table, [](const std::string& a, const std::string& b) { return a == b ? std::string("1") : std::string("0"); },
        [](const std::string& a, const std::string& b) { return a + b; }, false);
    EXPECT_EQ(same(0, 0), "11");
    EXPECT_EQ(same(0, 1), "00");
    EXPECT_EQ(same(1, 0), "00");
}
