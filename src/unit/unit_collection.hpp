#pragma once
// A unit expression: a product of units raised to real exponents, with its dimension vector and scale
// factor cached beside the map. A value type; no operation changes its operands.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "error/tarvel_error.hpp"
#include "unit/single_unit/single_unit.hpp"
#include "unit/unit_map.hpp"

namespace tarvel {

struct UnitCollection {
    UnitMap unit_map;
    Dimensions dimensions{};
    double factor = 1.0;
    // Every exponent and every dimension of the units is a small whole number and `dimensions` is exactly
    // the sum the map carries: the algebra then keeps the vector exact without checking it. False when
    // not known.
    bool whole_terms = false;

    // No entries, all-zero dimensions, factor 1.
    static UnitCollection empty() {
        UnitCollection result;
        result.whole_terms = true;
        return result;
    }
    // The unit with exponent 1; dimensions and factor copied from it.
    static UnitCollection single(const SingleUnit& unit);
    // Takes the map and computes the aggregates from it (factor with C pow, in map order).
    static UnitCollection from_single_unit_hashmap(UnitMap map);
    // Parses a unit expression such as "kg.m/s2"; nothing when the text is not one.
    static std::optional<UnitCollection> from_unit_name(std::string_view text);
};

// Unit algebra. The product and the quotient remove an entry of the right operand's units when its
// merged exponent becomes exactly 0.0; pow removes nothing.
UnitCollection mul(const UnitCollection& a, const UnitCollection& b);
UnitCollection div(const UnitCollection& a, const UnitCollection& b);
UnitCollection pow(const UnitCollection& a, double power);
// The same operations for quantities: an error instead of a collection whose exponents cannot represent
// the operands' (an exponent lost in rounding, 1 + 1e-300 == 1; or one that overflows or, for pow,
// underflows to 0), so that a collection's dimension vector always agrees with its map.
Result<UnitCollection> checked_mul(const UnitCollection& a, const UnitCollection& b);
Result<UnitCollection> checked_div(const UnitCollection& a, const UnitCollection& b);
Result<UnitCollection> checked_pow(const UnitCollection& a, double power);

// Component k of the dimension vector a map carries: the sum of exponent times the unit's dimension over
// its entries, computed exactly and rounded once.
double carried_dimension(const UnitMap& map, std::size_t k) noexcept;
// Whether x is a whole number within the bound below which exponents and dimensions count as small.
bool is_small_whole_exponent(double x) noexcept;
bool has_small_whole_dimensions(const SingleUnit& unit) noexcept;

// How far a cached dimension component may be from what the map carries, relative to that: the rounding
// of sums taken in another order, far below any real mismatch.
inline constexpr double DIMENSION_ROUNDING = 1e-13;
bool dimension_agrees(double cached, double carried) noexcept;
// The first component of `cached` that disagrees with what `map` carries; DIMENSION_COUNT when none.
std::size_t first_inconsistent_dimension(const UnitMap& map, const Dimensions& cached) noexcept;

// The eight base units with a's dimension components as exponents (zeros included), factor 1.
UnitCollection get_base_units(const UnitCollection& a);

// Text forms: "[kg.m/s2]", "\mathrm{\frac{kg~m}{s^2}}", "[kilogram.meter/second2]".
std::string as_string(const UnitCollection& units);
// as_string appended to `out`, without a string of its own.
void append_as_string(std::string& out, const UnitCollection& units);
std::string as_latex(const UnitCollection& units);
std::string as_descriptive_string(const UnitCollection& units);

}  // namespace tarvel
