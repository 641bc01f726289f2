#include "../test_support.hpp"

#include <generics/generic_enum_translation.hpp>

#include <cstdint>

namespace {
enum class colour : std::uint8_t { RED, GREEN, BLUE };
} // namespace

// Sources other than characters: enumerations by their values, integers below zero.
TEST(GenericEnumTranslation, EnumerationAndIntegerSources) {
    using generics::bounded_array;
    using by_colour = generics::generic_enum_translation<colour, char>;
    by_colour::table table(colour::GREEN, colour::BLUE);
    table[colour::GREEN] = 'g';
    table[colour::BLUE] = 'b';
    EXPECT_EQ(by_colour::translate(bounded_array<colour>(1, {colour::BLUE, colour::GREEN}), table),
              bounded_array<char>(1, {'b', 'g'}));
    test_support::expect_error<generics::range_error>(
        [&] { (void)by_colour::translate(bounded_array<colour>(0, {colour::RED}), table); },
        "state 0 at index 0 is outside the translation table (1 .. 2)");

    using by_int = generics::generic_enum_translation<int, double>;
    by_int::table offsets(-2, 1, 0.5);
    offsets[-2] = -1.0;
    EXPECT_EQ(by_int::translate(bounded_array<int>(0, {-2, 1}), offsets),
              bounded_array<double>(0, {-1.0, 0.5}));
    EXPECT_THROW((void)by_int::translate(bounded_array<int>(0, {1, -3}), offsets),
                 generics::range_error);
}
