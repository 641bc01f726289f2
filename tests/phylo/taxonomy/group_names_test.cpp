#include <phylo/count_chars.hpp>
#include <phylo/taxonomy/group_names.hpp>
#include <phylo/taxonomy/table.hpp>

#include "../../test_support.hpp"

#include <vector>

using namespace phylo;
using phylo::taxonomy::group_name_vector;
using phylo::taxonomy::group_names;

namespace {

group_name_vector read(const std::string& text) {
    std::istringstream in(text);
    return taxonomy::get(in, '\t', "test table");
}

taxon_labels labels(std::vector<std::string> names) { return taxon_labels(0, std::move(names)); }

} // namespace

TEST(GroupNameTables, TransposeExtractAndMatrixForm) {
    const auto table = read("x\tA\ny\tB\nz\tA\n");
    const auto by_field = group_names::transpose(table);
    ASSERT_TRUE(by_field.first() == 0 && by_field.last() == 1);
    EXPECT_EQ(*by_field[1], labels({"A", "B", "A"}));
    const auto back = group_names::transpose(by_field);
    for (index_type i = 0; i <= 2; ++i) EXPECT_EQ(*back[i], *table[i]);
    EXPECT_EQ(group_names::extract(table, 1), labels({"A", "B", "A"}));
    test_support::expect_error<range_error>([&] { (void)group_names::extract(table, 2); },
                                            "index 2 outside the bounds 0 .. 1");
    auto m = group_names::arrays_to_matrix(table);
    m(2, 1) = "changed"; // the matrix holds its own copies
    EXPECT_EQ((*table[2])[1], "A");
    EXPECT_EQ(group_names::extract(m, 0, group_names::direction::COLUMN), labels({"x", "y", "z"}));
    EXPECT_EQ(*group_names::matrix_to_arrays(m)[2], labels({"z", "changed"}));
}

TEST(GroupNameTables, GenericOperationsOnStrings) {
    const auto row = labels({"A", "a", "A"});
    EXPECT_EQ(group_names::how_many(row, "A"), 2); // case-sensitive
    EXPECT_EQ(group_names::abs_dist(labels({"A", "B", "C"}), labels({"A", "b", "C"})), 1);
    auto table = read("x\tA\ny\tB\n");
    group_names::apply(table, [](const std::string& s) { return s + "!"; });
    EXPECT_EQ(group_names::apply(*table[1], [](const std::string& a,
                                               const std::string& b) { return a + "," + b; }),
              "y!,B!");
    const auto same = group_names::apply(
        table,
        [](const std::string& a, const std::string& b) {
            return a == b ? std::string("1") : std::string("0");
        },
        [](const std::string& a, const std::string& b) { return a + b; }, false);
    EXPECT_TRUE(same(0, 0) == "11" && same(0, 1) == "00" && same(1, 0) == "00");
}

TEST(GroupNameTables, UnequalRowsRaiseTheGroupNameSizeError) {
    group_name_vector table(0, 1);
    table[0] = std::make_unique<taxon_labels>(labels({"a", "b"}));
    table[1] = std::make_unique<taxon_labels>(labels({"c"}));
    EXPECT_FALSE(group_names::is_aligned(table));
    // The group-name form's own size_error, not the count form's (a sibling type).
    static_assert(!std::is_base_of_v<count_chars::size_error, group_names::size_error>);
    EXPECT_THROW((void)group_names::arrays_to_matrix(table), group_names::size_error);
    EXPECT_STREQ(group_names::size_error("x").name(), "size error");
}
