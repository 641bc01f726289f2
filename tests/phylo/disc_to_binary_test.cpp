#include <phylo/disc_to_binary.hpp>

#include <gtest/gtest.h>

#include <string>

using namespace phylo;
using phylo::disc_to_binary::binary_translator;
using phylo::disc_to_binary::translate;

namespace {

constexpr binary P = binary::PRESENCE;
constexpr binary A = binary::ABSENCE;
constexpr binary U = binary::UNKNOWN;

binary_translator zero_one() {
    binary_translator table('0', '1');
    table['0'] = A;
    table['1'] = P;
    return table;
}

disc_array chars(index_type first, const std::string& s) { return disc_array(first, {s.begin(), s.end()}); }
binary_array bins(index_type first, std::vector<binary> b) { return binary_array(first, std::move(b)); }

template <class F>
void expect_range_error(F&& f, const std::string& message) {
    try {
        f();
        ADD_FAILURE() << "no range error";
    } catch (const range_error& e) {
        EXPECT_EQ(std::string(e.what()), message);
    }
}

} // namespace

TEST(DiscToBinary, ArraysAndMatricesKeepTheirBounds) {
    EXPECT_EQ(translate(chars(3, "101"), zero_one()), bins(3, {P, A, P}));
    disc_matrix m(1, 2, 4, 5);
    m(1, 4) = '0', m(1, 5) = '1', m(2, 4) = '1', m(2, 5) = '1';
    const auto result = translate(m, zero_one());
    EXPECT_EQ(result.row_first(), 1);
    EXPECT_EQ(result.col_first(), 4);
    EXPECT_EQ(result(1, 4), A);
    EXPECT_EQ(result(2, 5), P);
    EXPECT_TRUE(translate(disc_array(4, 3), zero_one()).empty());
    EXPECT_EQ(translate(disc_matrix(2, 1, 0, 5), zero_one()).cols(), 6);
    EXPECT_EQ(translate(disc_vector(3, 2), zero_one()).first(), 3);
}

TEST(DiscToBinary, StateOutsideTheTableIsARangeError) {
    const auto table = zero_one();
    expect_range_error([&] { (void)translate(chars(0, "10?"), table); },
                       "state '?' at index 2 is outside the translation table ('0' .. '1')");
    disc_matrix m(2, 3, 1, 2);
    m(2, 1) = m(2, 2) = m(3, 1) = '0';
    m(3, 2) = '2';
    expect_range_error([&] { (void)translate(m, table); },
                       "state '2' at (3, 2) is outside the translation table ('0' .. '1')");
    expect_range_error([&] { (void)translate(chars(0, " "), table); },
                       "state code 32 at index 0 is outside the translation table ('0' .. '1')");
    EXPECT_THROW((void)translate(chars(0, "/"), table), range_error); // just below
    EXPECT_THROW(binary_translator('b', 'a')['a'], range_error);      // an empty table
}

// A table has no default entries: a state whose entry was never set is not translated.
TEST(DiscToBinary, UnsetEntryIsARangeError) {
    binary_translator table('0', '2');
    table['0'] = A;
    table['2'] = P;
    EXPECT_TRUE(table.has_entry('2'));
    EXPECT_FALSE(table.has_entry('1'));
    EXPECT_TRUE(table.contains('1'));
    expect_range_error([&] { (void)translate(chars(0, "021"), table); },
                       "state '1' at index 2 has no entry in the translation table ('0' .. '2')");
    const binary_translator& fixed = table;
    EXPECT_THROW((void)fixed['1'], range_error);
    table['1'] = U;
    EXPECT_EQ(translate(chars(0, "021"), table), bins(0, {A, P, U}));
}

// Codes above 127 order after the ASCII letters even where char is signed.
TEST(DiscToBinary, TableOverAnyCharacterRange) {
    binary_translator table('-', static_cast<char>(0xFF), U);
    table['a'] = P;
    table['-'] = A;
    table[static_cast<char>(0xE9)] = P;
    EXPECT_EQ(table.length(), 0xFF - '-' + 1);
    EXPECT_EQ(translate(chars(0, "a-?\xE9z"), table), bins(0, {P, A, U, P, U}));
    EXPECT_FALSE(table.contains(','));
}

TEST(DiscToBinary, VectorsGetNewRowsWithTheirOwnBounds) {
    disc_vector v(5, 7);
    v[5] = std::make_unique<disc_array>(chars(0, "10"));
    v[6] = std::make_unique<disc_array>(chars(3, "011"));
    v[7] = std::make_unique<disc_array>(chars(9, ""));
    const auto result = translate(v, zero_one());
    ASSERT_EQ(result.first(), 5);
    EXPECT_EQ(*result[5], bins(0, {P, A}));
    EXPECT_EQ(*result[6], bins(3, {A, P, P}));
    EXPECT_EQ(result[7]->first(), 9);
    EXPECT_EQ(*v[6], chars(3, "011"));

    v[6].reset();
    expect_range_error([&] { (void)translate(v, zero_one()); }, "row 6 is null");
    v[6] = std::make_unique<disc_array>(chars(0, "1x"));
    expect_range_error([&] { (void)translate(v, zero_one()); },
                       "state 'x' at (6, 1) is outside the translation table ('0' .. '1')");
}
