#include <generics/generic_enum_translation.hpp>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

// The unit instantiated for sources other than characters.

namespace {

enum class colour : std::uint8_t { RED, GREEN, BLUE };

} // namespace

TEST(GenericEnumTranslation, EnumerationSourceIndexedByItsValues) {
    using translation = generics::generic_enum_translation<colour, char>;
    translation::table table(colour::GREEN, colour::BLUE);
    table[colour::GREEN] = 'g';
    table[colour::BLUE] = 'b';
    const generics::bounded_array<colour> a(1, std::vector<colour>{colour::BLUE, colour::GREEN});
    EXPECT_EQ(translation::translate(a, table), generics::bounded_array<char>(1, std::vector<char>{'b', 'g'}));
    const generics::bounded_array<colour> red(0, std::vector<colour>{colour::RED});
    try {
        (void)translation::translate(red, table);
        ADD_FAILURE() << "no range error";
    } catch (const generics::range_error& e) {
        EXPECT_EQ(std::string(e.what()), "state 0 at index 0 is outside the translation table (1 .. 2)");
    }
}

TEST(GenericEnumTranslation, IntegerSourceMayStartBelowZero) {
    using translation = generics::generic_enum_translation<int, double>;
    translation::table table(-2, 1, 0.5);
    table[-2] = -1.0;
    EXPECT_EQ(table.length(), 4);
    const generics::bounded_array<int> a(0, std::vector<int>{-2, 1, 0});
    EXPECT_EQ(translation::translate(a, table), generics::bounded_array<double>(0, std::vector<double>{-1.0, 0.5, 0.5}));
    EXPECT_FALSE(table.contains(-3));
    EXPECT_FALSE(table.contains(2));
}
