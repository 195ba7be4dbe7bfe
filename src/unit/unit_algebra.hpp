#pragma once
// The algebra of unit collections: products, quotients and powers, plain and checked, and the checks
// that keep a collection's cached dimension vector in agreement with its map.

#include <cstddef>

#include "error/tarvel_error.hpp"
#include "unit/single_unit/single_unit.hpp"
#include "unit/unit_map.hpp"

namespace tarvel {

struct UnitCollection;

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

// accumulator = mul(accumulator, pow(UnitCollection::single(unit), exponent)), or div when `divide`,
// with the same result bit for bit but without the temporary collections: for code that builds a
// collection term by term.
void multiply_by_unit_power_internal(UnitCollection& accumulator, SingleUnit unit, double exponent,
                                     bool divide);

}  // namespace tarvel
