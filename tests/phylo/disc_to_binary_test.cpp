#include <phylo/disc_to_binary.hpp>

#include "../test_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

using namespace phylo;
using phylo::disc_to_binary::binary_translator;
using phylo::disc_to_binary::translate;
using test_support::expect_error;

constexpr binary P = binary::PRESENCE, A = binary::ABSENCE, U = binary::UNKNOWN;

disc_array chars(index_type first, const std::string& s) {
    return disc_array(first, {s.begin(), s.end()});
}

// Results keep the bounds of their sources; a state outside the table is a range error saying
// where.
TEST(DiscToBinary, ArraysMatricesAndVectors) {
    binary_translator table('0', '1');
    table['0'] = A;
    table['1'] = P;
    const std::string outside = " is outside the translation table ('0' .. '1')";
    EXPECT_EQ(translate(chars(3, "101"), table), binary_array(3, {P, A, P}));
    expect_error<range_error>([&] { (void)translate(chars(0, "10?"), table); },
                              "state '?' at index 2" + outside);
    expect_error<range_error>([&] { (void)translate(chars(0, " "), table); },
                              "state code 32 at index 0" + outside);
    EXPECT_THROW((void)translate(chars(0, "/"), table), range_error); // just below the range

    disc_matrix m(2, 3, 1, 2);
    std::fill_n(m.data(), 4, '1');
    m(2, 1) = '0';
    binary_matrix expected(2, 3, 1, 2);
    std::fill_n(expected.data(), 4, P);
    expected(2, 1) = A;
    EXPECT_EQ(translate(m, table), expected);
    m(3, 2) = '2';
    expect_error<range_error>([&] { (void)translate(m, table); }, "state '2' at (3, 2)" + outside);

    disc_vector v(5, 6);
    v[5] = std::make_unique<disc_array>(chars(0, "10"));
    v[6] = std::make_unique<disc_array>(chars(3, "011"));
    const auto rows = translate(v, table);
    ASSERT_EQ(rows.first(), 5);
    EXPECT_EQ(*rows[5], binary_array(0, {P, A}));
    EXPECT_EQ(*rows[6], binary_array(3, {A, P, P}));
    v[6].reset();
    expect_error<range_error>([&] { (void)translate(v, table); }, "row 6 is null");
    v[6] = std::make_unique<disc_array>(chars(0, "1x"));
    expect_error<range_error>([&] { (void)translate(v, table); }, "state 'x' at (6, 1)" + outside);
}

// A table has no default entries: a state whose entry was never set is not translated.
TEST(DiscToBinary, UnsetEntryIsARangeError) {
    binary_translator table('0', '2');
    table['0'] = A;
    table['2'] = P;
    expect_error<range_error>(
        [&] { (void)translate(chars(0, "021"), table); },
        "state '1' at index 2 has no entry in the translation table ('0' .. '2')");
    table['1'] = U;
    EXPECT_EQ(translate(chars(0, "021"), table), binary_array(0, {A, P, U}));
}

// Codes above 127 order after the ASCII letters even where char is signed.
TEST(DiscToBinary, TableOverAnyCharacterRange) {
    binary_translator table('-', static_cast<char>(0xFF), U);
    table['a'] = P;
    table['-'] = A;
    table[static_cast<char>(0xE9)] = P;
    EXPECT_EQ(translate(chars(0, "a-?\xE9z"), table), binary_array(0, {P, A, U, P, U}));
}

} // namespace
