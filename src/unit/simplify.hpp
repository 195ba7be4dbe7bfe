#pragma once
// Rewriting a unit collection into an equivalent one with fewer units. Both operations keep the dimension
// vector and never touch magnitudes: a caller holding a magnitude converts it to the result itself.
// Broken invariants of the input throw InternalError.

#include <optional>

#include "unit/unit_collection.hpp"

namespace tarvel {

// Pairwise cancellation of units of equal or opposite dimensions.
UnitCollection simple_simplify(const UnitCollection& units);
// simple_simplify's result when some pair cancels; nothing when none does (simple_simplify then returns
// its input as it is), so a caller that owns the input can keep it without a copy.
std::optional<UnitCollection> try_simple_simplify(const UnitCollection& units);

// simple_simplify, then a search for a shortest product of the collection's own units with the same
// dimension vector.
UnitCollection simplify(const UnitCollection& units);
// simplify's result when it differs from the input; nothing when simplify returns its input as it is.
std::optional<UnitCollection> try_simplify(const UnitCollection& units);
// try_simplify of a collection that the pairwise cancellation leaves as it is (try_simple_simplify
// answered nothing for it): only the search step runs.
std::optional<UnitCollection> try_simplify_uncancelled(const UnitCollection& units);

}  // namespace tarvel
