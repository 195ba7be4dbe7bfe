#pragma once
// Memos of the unit work of the scalar operations. Programs combine the same few collections over and
// over: a product, quotient or sum between two given collections always normalises to the same units by
// the same plan, and a unit text always parses to the same collection. Each thread keeps its own small
// direct-mapped tables, so no lock is taken; entries are keyed by collection identity and hold their
// keys, so an address is never reused while an entry names it.

#include <cstddef>
#include <string_view>

#include "error/tarvel_error.hpp"
#include "quantity/magnitude_plan.hpp"
#include "unit/shared_units.hpp"

namespace tarvel {

enum class MemoOperation : unsigned char { Multiply, Divide, Additive, Power };

// What an operation between two collections does to units: the normalised result units and the plan
// that takes the raw magnitude into them; for Additive also the plan that takes the right operand's
// magnitude into the left one's units.
struct OperationUnits {
    SharedUnits units;
    MagnitudePlan plan;
    MagnitudePlan addend;
};

// The unit work of left op right, computed on the first call for a pair and remembered. Errors are
// returned as the operation without the memo would return them, and are not remembered.
Result<const OperationUnits*> operation_units(const SharedUnits& left, const SharedUnits& right,
                                              MemoOperation op);

// The unit work of a magnitude in `base` raised to `power`, remembered in the same way.
Result<const OperationUnits*> power_operation_units(const SharedUnits& base, double power);

// The collection a unit text parses to, shared between the calls with the same text; nothing when the
// text is no unit expression.
std::optional<SharedUnits> shared_units_from_text(std::string_view text);

// N(x) of a magnitude in `units`: the collection it ends in (`units` itself when nothing cancels) and
// its plan.
Result<OperationUnits> normalised_units(const SharedUnits& units);

}  // namespace tarvel
