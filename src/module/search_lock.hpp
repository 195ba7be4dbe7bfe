#pragma once
// The interpreter lock is released while a long simplification search runs, so that other threads make
// progress. The search then works on a snapshot of the quantity taken while access to the instance was
// held; access is released during the search (another thread using the same quantity is never refused)
// and taken again only to store a result.

#include "quantity/quantity.hpp"
#include "unit/search.hpp"

namespace tarvel::py {

// Hooks that save the thread state (releasing the lock) and restore it.
const SearchPauseHooks& interpreter_pause_hooks() noexcept;

// Whether a search over q's units can be long enough to be worth a snapshot: collections of two units or
// fewer are settled in well under the release threshold.
inline bool may_search_long(const Quantity& q) noexcept { return q.units->unit_map.size() > 2; }

// Bit-for-bit the same value and the same unit entries: nothing changed the quantity in between.
bool same_quantity(const Quantity& a, const Quantity& b) noexcept;

}  // namespace tarvel::py
