#include <phylo/sets/char_sets.hpp>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>
#include <string_view>

using namespace phylo;
using namespace phylo::sets;

namespace {

std::size_t string_hash(std::string_view s) { return std::hash<std::string_view>{}(s); }

} // namespace

TEST(CSetHash, HashesTheMembersInAscendingOrder) {
    const c_set_hash hash;
    EXPECT_EQ(hash(character_set("ga")), hash(character_set("ag")));
    EXPECT_EQ(hash(character_set("ga")), string_hash("ag"));
    EXPECT_EQ(hash(character_set("ggaga")), string_hash("ag"));
    EXPECT_EQ(hash(character_set()), string_hash(""));
    EXPECT_EQ(hash(character_set("t-ca")), string_hash("-act"));
}

TEST(CSetHash, OrdersByUnsignedCodeAndKeepsTheNulCharacter) {
    const c_set_hash hash;
    // Codes above 127 come after the letters, whatever the signedness of char.
    const char high = static_cast<char>(0xE9);
    EXPECT_EQ(hash(character_set(std::string_view("\xE9" "a", 2))),
              string_hash(std::string_view("a\xE9", 2)));
    character_set with_nul;
    with_nul.insert('\0');
    with_nul.insert('b');
    with_nul.insert(high);
    EXPECT_EQ(hash(with_nul), string_hash(std::string_view("\0b\xE9", 3)));
    EXPECT_NE(hash(with_nul), hash(character_set("b")));
}

TEST(CSet, LooksUpBySetEquality) {
    c_set table;
    EXPECT_TRUE(table.emplace(character_set("xy"), 'z').second);
    EXPECT_FALSE(table.emplace(character_set("yx"), 'w').second);
    EXPECT_EQ(table.at(character_set("yyx")), 'z');
    EXPECT_EQ(table.count(character_set("x")), 0u);
}

// ---- Sub-matrices -------------------------------------------------------------------------------

namespace {

// A squared over first .. first + n - 1 with the given labels and x(i, j) = 10 * i + j.
squared numbered(index_type first, std::vector<std::string> names) {
    const auto n = static_cast<index_type>(names.size());
    squared x(first, first + n - 1);
    for (index_type i = 0; i < n; ++i) {
        x.labels[first + i] = names[static_cast<std::size_t>(i)];
        for (index_type j = 0; j < n; ++j) x.matrix(first + i, first + j) = static_cast<double>(10 * i + j);
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

TEST(Submatrix, KeepsTheSelectedTaxaInTheOrderOfTheMatrix) {
    const squared x = numbered(0, {"a", "b", "c"});
    const hashed_taxa taxa{"c", "a", "zebra"};
    const squared s = submatrix(x, taxa);
    EXPECT_EQ(s.first, 0);
    EXPECT_EQ(s.last, 1);
    EXPECT_EQ(labels_of(s), (std::vector<std::string>{"a", "c"}));
    ASSERT_EQ(s.matrix.rows(), 2);
    EXPECT_EQ(s.matrix(0, 0), 0.0);
    EXPECT_EQ(s.matrix(0, 1), 2.0);
    EXPECT_EQ(s.matrix(1, 0), 20.0);
    EXPECT_EQ(s.matrix(1, 1), 22.0);
    EXPECT_EQ(taxa.size(), 3u);
    EXPECT_EQ(labels_of(x), (std::vector<std::string>{"a", "b", "c"}));
}

TEST(Submatrix, AllTaxaGiveACopyAndRepeatedLabelsAreKeptTwice) {
    const squared x = numbered(4, {"a", "b", "a", "d"});
    const squared all = submatrix(x, hashed_taxa{"a", "b", "d"});
    EXPECT_EQ(all.first, 4);
    EXPECT_EQ(all.last, 7);
    EXPECT_EQ(all.labels, x.labels);
    EXPECT_EQ(all.matrix, x.matrix);

    const squared twice = submatrix(x, hashed_taxa{"a"});
    EXPECT_EQ(labels_of(twice), (std::vector<std::string>{"a", "a"}));
    EXPECT_EQ(twice.matrix(4, 5), 2.0);
    EXPECT_EQ(twice.matrix(5, 4), 20.0);
    EXPECT_EQ(twice.matrix(5, 5), 22.0);
}

// Nothing selected is an empty result whatever the first index, 0 included.
TEST(Submatrix, NoTaxonSelectedIsEmpty) {
    for (index_type first : {0, 1, 5}) {
        const squared s = submatrix(numbered(first, {"a", "b"}), hashed_taxa{"A", "b "});
        EXPECT_EQ(s.first, first);
        EXPECT_EQ(s.last, first - 1);
        EXPECT_TRUE(s.labels.empty());
        EXPECT_TRUE(s.matrix.empty());
    }
    const squared none = submatrix(squared(0, -1), hashed_taxa{"a"});
    EXPECT_EQ(none.last, -1);
}

TEST(Submatrix, AgreesWithDirectSelectionOnARandomSubset) {
    std::vector<std::string> names;
    for (int k = 0; k < 60; ++k) names.push_back("t" + std::to_string(k));
    const squared x = numbered(2, names);
    hashed_taxa taxa;
    std::vector<index_type> chosen;
    for (int k = 0; k < 60; ++k)
        if ((k * 7919) % 5 < 2) {
            taxa.insert(names[static_cast<std::size_t>(k)]);
            chosen.push_back(k);
        }
    const squared s = submatrix(x, taxa);
    ASSERT_EQ(s.labels.length(), static_cast<index_type>(chosen.size()));
    for (std::size_t r = 0; r < chosen.size(); ++r) {
        const index_type i = 2 + static_cast<index_type>(r);
        EXPECT_EQ(s.labels[i], names[static_cast<std::size_t>(chosen[r])]);
        for (std::size_t c = 0; c < chosen.size(); ++c)
            EXPECT_EQ(s.matrix(i, 2 + static_cast<index_type>(c)),
                      static_cast<double>(10 * chosen[r] + chosen[c]));
    }
}

TEST(Submatrix, InconsistentShapesAreRejected) {
    using size_error = real_chars::basic::size_error;
    squared wide = numbered(0, {"a", "b"});
    wide.matrix = real_matrix(0, 1, 0, 2);
    expect_error<size_error>([&] { (void)submatrix(wide, hashed_taxa{"a"}); },
                             "submatrix: the matrix is 2 x 3, not square");
    squared small = numbered(0, {"a", "b"});
    small.matrix = real_matrix(0, 0, 0, 0);
    expect_error<size_error>([&] { (void)submatrix(small, hashed_taxa{"a"}); },
                             "submatrix: 1 matrix rows for 2 taxa");
    squared shifted = numbered(0, {"a", "b"});
    shifted.matrix = real_matrix(1, 2, 1, 2);
    expect_error<range_error>([&] { (void)submatrix(shifted, hashed_taxa{"a"}); },
                              "submatrix: matrix bounds 1 .. 2, 1 .. 2 for the taxa 0 .. 1");
    squared relabelled = numbered(0, {"a", "b"});
    relabelled.labels = taxon_labels(1, 2);
    expect_error<range_error>([&] { (void)submatrix(relabelled, hashed_taxa{"a"}); },
                              "submatrix: labels 1 .. 2 for the taxa 0 .. 1");
}
