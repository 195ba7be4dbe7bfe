#pragma once
// In-place steps of the unit algebra for code that builds a collection term by term.

#include "unit/unit_collection.hpp"

namespace tarvel {

// accumulator = mul(accumulator, pow(UnitCollection::single(unit), exponent)), or div when `divide`,
// with the same result bit for bit but without the temporary collections.
void multiply_by_unit_power_internal(UnitCollection& accumulator, SingleUnit unit, double exponent,
                                     bool divide);

}  // namespace tarvel
