#pragma once
// What real-valued characters offer beyond the generic family: sums, the summary statistics
// of one array, the broken-stick expectation, the eight transformations of a character
// matrix held as a row vector (rows = taxa, positions = characters), the standardisation of a
// square similarity matrix, and the elementary functions of the element type.

#include <phylo/core.hpp>
#include <phylo/real_chars.hpp>

#include <generics/generic_array_functions.hpp>

namespace phylo::real_chars {

enum class transformation {
    ROW_FRACTIONS,    // x / sum of its row
    COLUMN_FRACTIONS, // x / sum of its column; 0 where that sum is 0
    FOR_CHI,          // x / row sum * sqrt(characters / column sum); 0 where the column sum is 0
    RANGING,          // x / column maximum; unchanged where the maximum is 0
    FULL_RANGING,     // (x - column minimum) / column range; 0.5 where the range is 0
                      // (both take the extremes of max and min: a column holding a
                      // not-a-number has a nan maximum and range, and becomes all nan,
                      // as a nan does to the sums, means and sds of the other kinds)
    Z_SCORES,         // x / column sd (not centred); unchanged where the sd is 0
    FULL_Z_SCORES,    // (x - column mean) / column sd; 0 where the sd is 0
    RANKS,            // position of x in its sorted row, counted from the row's first index
};

struct parametric_result {
    real_element mean;
    real_element sd; // divisor n, not n - 1
};

struct nonparametric_result {
    real_element min;
    real_element median;
    real_element max;
};

// Sums fold from the first element: an empty operand is the range error, not 0, and so is a
// null row.
[[nodiscard]] real_element sum(const real_array& a);
[[nodiscard]] real_element sum(const real_matrix& m);
// One sum per row, over the vector's range.
[[nodiscard]] real_array sum(const real_vector& v, generics::per_row_t);
// The sum of the row sums.
[[nodiscard]] real_element sum(const real_vector& v);

// Mean and standard deviation. Both are not-a-number for an empty array. The deviations are
// summed around a mean computed first, so constant data has an sd of exactly 0 and the
// variance is never negative.
[[nodiscard]] parametric_result parametric(const real_array& a);
// Smallest, median (mean of the two middle values for an even count) and largest value, in
// linear time; `a` is not changed. An empty array is the range error. Not-a-number values
// order after every number.
[[nodiscard]] nonparametric_result nonparametric(const real_array& a);
// Overwrites `a` with the expected relative sizes of as many pieces of a randomly broken stick
// (largest first; they sum to 1).
void broken_stick(real_array& a);

// Transforms every element in place; all statistics are taken before any element changes.
// Rows of different lengths are the size_error of `basic` and change nothing; an empty vector,
// a null row, or a row whose bounds differ from the first row's is the range error.
// Divisions without a listed zero case follow IEEE arithmetic. RANKS gives tied values
// distinct consecutive ranks in no particular order.
void transform_matrix(real_vector& v, transformation kind);

// Makes a square similarity matrix symmetric and scaled by its diagonal: m(i, j) and m(j, i)
// become (m(i, j) + m(j, i)) / (m(i, i) + m(j, j)) with the old diagonal, then the diagonal
// becomes 1. A non-square matrix is the size_error of `basic`; an empty one, or one whose column
// bounds differ from its row bounds, is the range error.
void standardize(real_matrix& m);

// Elementary functions. Arguments outside the domain are the argument error; poles (log 0,
// cot 0, coth 0, atanh ±1, acoth ±1, 0 to a negative power) are the range error. Overflow
// gives an infinity.
[[nodiscard]] real_element sqrt(real_element x);
[[nodiscard]] real_element log(real_element x); // natural
[[nodiscard]] real_element log(real_element x, real_element base);
[[nodiscard]] real_element exp(real_element x);
// x to the power y for x >= 0 (0 to the power 0 is the argument error).
[[nodiscard]] real_element pow(real_element x, real_element y);
[[nodiscard]] real_element sin(real_element x);
[[nodiscard]] real_element cos(real_element x);
[[nodiscard]] real_element tan(real_element x);
[[nodiscard]] real_element cot(real_element x);
[[nodiscard]] real_element asin(real_element x);
[[nodiscard]] real_element acos(real_element x);
// The angle of the point (x, y), in -pi .. pi; both 0 is the argument error.
[[nodiscard]] real_element atan(real_element y, real_element x = 1.0);
// The angle of the point (x, y) measured for the cotangent, in 0 .. pi at y = 1.
[[nodiscard]] real_element acot(real_element x, real_element y = 1.0);
[[nodiscard]] real_element sinh(real_element x);
[[nodiscard]] real_element cosh(real_element x);
[[nodiscard]] real_element tanh(real_element x);
[[nodiscard]] real_element coth(real_element x);
[[nodiscard]] real_element asinh(real_element x);
[[nodiscard]] real_element acosh(real_element x);
[[nodiscard]] real_element atanh(real_element x);
[[nodiscard]] real_element acoth(real_element x);

} // namespace phylo::real_chars
