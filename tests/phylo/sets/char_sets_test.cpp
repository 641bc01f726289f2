#include <phylo/sets/char_sets.hpp>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

using namespace phylo;
using namespace phylo::sets;

namespace {

std::size_t string_hash(std::string_view s) { return std::hash<std::string_view>{}(s); }

// A squared over first .. first + n - 1 with the given labels and x(i, j) = 10 * i + j.
squared numbered(index_type first, const std::vector<std::string>& names) {
    const auto n = static_cast<index_type>(names.size());
    squared x(first, first + n - 1);
    for (index_type i = 0; i < n; ++i) {
        x.labels[first + i] = names[static_cast<std::size_t>(i)];
        for (index_type j = 0; j < n; ++j) x.matrix(first + i, first + j) = double(10 * i + j);
    }
    return x;
}

std::vector<std::string> labels_of(const squared& x) { return {x.labels.begin(), x.labels.end()}; }

template <class E, class F>
void expect_error(F&& f, const std::string& message) {
    try {
        f();
        ADD_FAILURE() << "nothing thrown, expected: " << message;
    } catch (const E& e) {
        EXPECT_EQ(std::string(e.what()), message);
    }
}

} // namespace

TEST(CSetHash, HashesTheMembersInAscendingUnsignedOrder) {
    const c_set_hash hash;
    EXPECT_EQ(hash(character_set("ga")), string_hash("ag"));
    EXPECT_EQ(hash(character_set("ggaga")), string_hash("ag"));
    EXPECT_EQ(hash(character_set()), string_hash(""));
    // Codes above 127 come after the letters whatever the signedness of char; NUL counts.
    character_set odd(std::string_view("\xE9" "b\0", 3));
    EXPECT_EQ(hash(odd), string_hash(std::string_view("\0b\xE9", 3)));

    c_set table;
    EXPECT_TRUE(table.emplace(character_set("xy"), 'z').second);
    EXPECT_FALSE(table.emplace(character_set("yx"), 'w').second);
    EXPECT_EQ(table.at(character_set("yyx")), 'z');
}

TEST(Submatrix, KeepsTheSelectedTaxaInTheOrderOfTheMatrix) {
    const squared x = numbered(0, {"a", "b", "c"});
    const squared s = submatrix(x, hashed_taxa{"c", "a", "zebra"});
    EXPECT_EQ(s.last, 1);
    EXPECT_EQ(labels_of(s), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(std::vector<double>(s.matrix.data(), s.matrix.data() + 4), (std::vector<double>{0, 2, 20, 22}));

    const squared repeated = numbered(4, {"a", "b", "a", "d"});
    const squared all = submatrix(repeated, hashed_taxa{"a", "b", "d"});
    EXPECT_EQ(all.labels, repeated.labels);
    EXPECT_EQ(all.matrix, repeated.matrix);
    const squared twice = submatrix(repeated, hashed_taxa{"a"});
    EXPECT_EQ(labels_of(twice), (std::vector<std::string>{"a", "a"}));
    EXPECT_EQ(twice.matrix(5, 4), 20.0);
}

// Nothing selected is an empty result whatever the first index, 0 included.
TEST(Submatrix, NoTaxonSelectedIsEmpty) {
    for (index_type first : {0, 5}) {
        const squared s = submatrix(numbered(first, {"a", "b"}), hashed_taxa{"A", "b "});
        EXPECT_EQ(s.first, first);
        EXPECT_EQ(s.last, first - 1);
        EXPECT_TRUE(s.labels.empty() && s.matrix.empty());
    }
}

TEST(Submatrix, InconsistentShapesAreRejected) {
    using size_error = real_chars::basic::size_error;
    squared x = numbered(0, {"a", "b"});
    x.matrix = real_matrix(0, 1, 0, 2);
    expect_error<size_error>([&] { (void)submatrix(x, hashed_taxa{"a"}); },
                             "submatrix: the matrix is 2 x 3, not square");
    x.matrix = real_matrix(0, 0, 0, 0);
    expect_error<size_error>([&] { (void)submatrix(x, hashed_taxa{"a"}); }, "submatrix: 1 matrix rows for 2 taxa");
    x.matrix = real_matrix(1, 2, 1, 2);
    expect_error<range_error>([&] { (void)submatrix(x, hashed_taxa{"a"}); },
                              "submatrix: matrix bounds 1 .. 2, 1 .. 2 for the taxa 0 .. 1");
    x.matrix = real_matrix(0, 1, 0, 1);
    x.labels = taxon_labels(1, 2);
    expect_error<range_error>([&] { (void)submatrix(x, hashed_taxa{"a"}); },
                              "submatrix: labels 1 .. 2 for the taxa 0 .. 1");
}
