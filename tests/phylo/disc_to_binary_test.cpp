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

disc_array chars(index_type first, const std::string& s) {
    return disc_array(first, std::vector<char>(s.begin(), s.end()));
}

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

TEST(DiscToBinary, ArraysKeepTheirBounds) {
    const auto result = translate(chars(3, "101"), zero_one());
    EXPECT_EQ(result, binary_array(3, std::vector<binary>{P, A, P}));
    EXPECT_EQ(result.first(), 3);
}

TEST(DiscToBinary, StateOutsideTheTableIsARangeError) {
    const auto table = zero_one();
    expect_range_error([&] { (void)translate(chars(0, "10?"), table); },
                       "state '?' at index 2 is outside the translation table ('0' .. '1')");
    disc_matrix m(2, 3, 1, 2);
    m(2, 1) = '0';
    m(2, 2) = '1';
    m(3, 1) = '1';
    m(3, 2) = '2';
    expect_range_error([&] { (void)translate(m, table); },
                       "state '2' at (3, 2) is outside the translation table ('0' .. '1')");
    expect_range_error([&] { (void)translate(chars(0, " "), table); },
                       "state code 32 at index 0 is outside the translation table ('0' .. '1')");
    // Just below and just above the range.
    EXPECT_THROW((void)translate(chars(0, "/"), table), range_error);
    EXPECT_THROW((void)translate(chars(0, "2"), table), range_error);
}

TEST(DiscToBinary, TableCoversAnyCharacterRange) {
    binary_translator table('-', 'z', U);
    table['a'] = P;
    table['-'] = A;
    EXPECT_EQ(translate(chars(0, "a-?zA"), table), binary_array(0, std::vector<binary>{P, A, U, U, U}));
    EXPECT_TRUE(table.contains('z'));
    EXPECT_FALSE(table.contains('{'));
    EXPECT_THROW(table['{'] = P, range_error);

    // Codes above 127 order after the ASCII letters even where char is signed.
    const char e_acute = static_cast<char>(0xE9);
    binary_translator high('a', static_cast<char>(0xFF), A);
    high[e_acute] = P;
    EXPECT_EQ(high.length(), 0xFF - 'a' + 1);
    EXPECT_EQ(translate(chars(0, std::string{'b', e_acute}), high),
              binary_array(0, std::vector<binary>{A, P}));

    const binary_translator none('b', 'a');
    EXPECT_EQ(none.length(), 0);
    expect_range_error([&] { (void)translate(chars(0, "a"), none); },
                       "state 'a' at index 0 is outside the translation table (empty)");
}

TEST(DiscToBinary, MatricesKeepTheirBounds) {
    disc_matrix m(1, 2, 4, 6);
    const std::string text = "011100";
    for (index_type i = 1; i <= 2; ++i)
        for (index_type j = 4; j <= 6; ++j) m(i, j) = text[static_cast<std::size_t>((i - 1) * 3 + j - 4)];
    const auto result = translate(m, zero_one());
    EXPECT_EQ(result.row_first(), 1);
    EXPECT_EQ(result.col_first(), 4);
    for (index_type i = 1; i <= 2; ++i)
        for (index_type j = 4; j <= 6; ++j) EXPECT_EQ(result(i, j), m(i, j) == '1' ? P : A);
}

TEST(DiscToBinary, VectorsGetNewRowsWithTheirOwnBounds) {
    disc_vector v(5, 7);
    v[5] = std::make_unique<disc_array>(chars(0, "10"));
    v[6] = std::make_unique<disc_array>(chars(3, "011"));
    v[7] = std::make_unique<disc_array>(chars(9, ""));
    const auto result = translate(v, zero_one());
    ASSERT_EQ(result.first(), 5);
    ASSERT_EQ(result.last(), 7);
    EXPECT_EQ(*result[5], binary_array(0, std::vector<binary>{P, A}));
    EXPECT_EQ(*result[6], binary_array(3, std::vector<binary>{A, P, P}));
    EXPECT_EQ(result[7]->first(), 9);
    EXPECT_TRUE(result[7]->empty());
    // The source keeps its rows.
    EXPECT_EQ(*v[6], chars(3, "011"));
}

TEST(DiscToBinary, NullRowOrBadStateInALaterRow) {
    disc_vector v(0, 2);
    v[0] = std::make_unique<disc_array>(chars(0, "1"));
    v[2] = std::make_unique<disc_array>(chars(0, "0"));
    expect_range_error([&] { (void)translate(v, zero_one()); }, "row 1 is null");
    v[1] = std::make_unique<disc_array>(chars(0, "1x"));
    expect_range_error([&] { (void)translate(v, zero_one()); },
                       "state 'x' at (1, 1) is outside the translation table ('0' .. '1')");
}

TEST(DiscToBinary, EmptyOperandsGiveEmptyResults) {
    const auto table = zero_one();
    const auto a = translate(disc_array(4, 3), table);
    EXPECT_TRUE(a.empty());
    EXPECT_EQ(a.first(), 4);
    const auto m = translate(disc_matrix(2, 1, 0, 5), table);
    EXPECT_EQ(m.rows(), 0);
    EXPECT_EQ(m.row_first(), 2);
    EXPECT_EQ(m.cols(), 6);
    const auto v = translate(disc_vector(3, 2), table);
    EXPECT_TRUE(v.empty());
    EXPECT_EQ(v.first(), 3);
}
