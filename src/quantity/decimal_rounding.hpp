#pragma once
// Rounding through the exact decimal expansion of a double, for the scales where a power of ten is not a
// double (10^309 and beyond overflow): tiny magnitudes rounded to many places or figures.

#include <cstdint>

namespace tarvel {

// x rounded to `ndigits` places after the decimal point, correctly (as Python's round of a float).
double round_decimal_places(double x, std::int32_t ndigits);
// x rounded to `figures` (at least 1) significant figures, correctly.
double round_significant_figures(double x, std::int32_t figures);

}  // namespace tarvel
