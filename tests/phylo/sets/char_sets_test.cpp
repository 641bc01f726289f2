#include <phylo/sets/char_sets.hpp>

#include "../../test_support.hpp"

#include <functional>
#include <string_view>
#include <vector>

using namespace phylo;
using namespace phylo::sets;

namespace {

using test_support::expect_error;

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

} // namespace

TEST(CSetHash, HashesTheMembersInAscendingUnsignedOrder) {
    const auto hash_of = [](std::string_view s) { return std::hash<std::string_view>{}(s); };
    EXPECT_EQ(c_set_hash{}(character_set("ggaga")), hash_of("ag"));
    // Codes above 127 come after the letters whatever the signedness of char; NUL counts.
    const std::string_view mixed("\351b\0", 3), sorted("\0b\351", 3); // \351 is 0xE9
    EXPECT_EQ(c_set_hash{}(character_set(mixed)), hash_of(sorted));
}

TEST(Submatrix, SelectedTaxaInTheOrderOfTheMatrix) {
    const squared s = submatrix(numbered(0, {"a", "b", "c"}), hashed_taxa{"c", "a", "zebra"});
    EXPECT_EQ(s.labels, taxon_labels(0, {"a", "c"}));
    EXPECT_EQ(std::vector<double>(s.matrix.data(), s.matrix.data() + 4),
              (std::vector<double>{0, 2, 20, 22}));
    // A repeated label selects every taxon that bears it.
    const squared twice = submatrix(numbered(4, {"a", "b", "a", "d"}), hashed_taxa{"a"});
    EXPECT_EQ(twice.labels, taxon_labels(4, {"a", "a"}));
    EXPECT_EQ(twice.matrix(5, 4), 20.0);
    // Nothing selected is an empty result whatever the first index, 0 included.
    for (index_type first : {0, 5}) {
        const squared none = submatrix(numbered(first, {"a", "b"}), hashed_taxa{"A", "b "});
        EXPECT_TRUE(none.first == first && none.last == first - 1 && none.labels.empty() &&
                    none.matrix.empty());
    }
}

TEST(Submatrix, InconsistentShapesAreRejected) {
    using size_error = real_chars::basic::size_error;
    squared x = numbered(0, {"a", "b"});
    const auto call = [&] { (void)submatrix(x, hashed_taxa{"a"}); };
    x.matrix = real_matrix(0, 1, 0, 2);
    expect_error<size_error>(call, "submatrix: the matrix is 2 x 3, not square");
    x.matrix = real_matrix(0, 0, 0, 0);
    expect_error<size_error>(call, "submatrix: 1 matrix rows for 2 taxa");
    x.matrix = real_matrix(1, 2, 1, 2);
    expect_error<range_error>(call, "submatrix: matrix bounds 1 .. 2, 1 .. 2 for the taxa 0 .. 1");
    x.matrix = real_matrix(0, 1, 0, 1);
    x.labels = taxon_labels(1, 2);
    expect_error<range_error>(call, "submatrix: labels 1 .. 2 for the taxa 0 .. 1");
}
