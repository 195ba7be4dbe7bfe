#pragma once
// Readable forms of a quantity, asked for explicitly (printing never applies them): a prefix that puts
// the magnitude between 1 and 1000, and a short product of units the caller prefers. Both are exact
// conversions (as_unit_internal) into the units they choose.

#include <span>

#include "error/tarvel_error.hpp"
#include "quantity/quantity.hpp"
#include "unit/unit_collection.hpp"

namespace tarvel {

// The first unit of q's collection re-prefixed (powers of 1000, or none) so that |magnitude| lies in
// [1, 1000^|exponent|) where a prefix can bring it there. Unchanged for the empty collection, a first unit
// that takes no prefix (not a power of ten of its root, or with an offset), and a magnitude of 0, inf or
// NaN.
Result<Quantity> to_compact(const Quantity& q);

// q in the product of `preferred` units (each raised to a whole power) with the fewest unit powers that
// has q's dimensions; ties go to fewer distinct units, then to earlier units in the list.
// NoPreferredProduct when there is none within the search's bound.
Result<Quantity> as_preferred(const Quantity& q, std::span<const UnitCollection> preferred);

}  // namespace tarvel
