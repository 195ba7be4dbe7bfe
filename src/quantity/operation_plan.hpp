#pragma once
// The operation planner: the one place that says what an operation does to units. Given the operation and
// its operands' collections it returns the result's units and the plans its magnitudes go through; the
// scalar classes, the array element loops and the lazy arrays all apply the same plan, so an element is
// bit for bit the scalar result. Programs combine the same few collections over and over, so plans are
// remembered: each thread keeps a small direct-mapped table (no lock), keyed by collection identity, whose
// entries hold their keys so that an address is never reused while an entry names it.

#include <cstddef>
#include <optional>
#include <string_view>

#include "error/tarvel_error.hpp"
#include "quantity/magnitude_plan.hpp"
#include "unit/shared_units.hpp"

namespace tarvel {

// What each operation computes, with a the left operand (the instance) and b the right one. Every plan is
// applied as   result( formula( left(a), right(b) ) ).
enum class Operation : unsigned char {
    Product,     // a * b; normalised
    Quotient,    // a / b; normalised
    Power,       // a ** p (plan_power); normalised
    Sum,         // a + b: b into a's units by factors (an addend has no offset); normalised
    Difference,  // a - b as Sum, except between two absolute temperatures: an interval (temperature.hpp)
    Conversion,  // a's magnitudes into b (offsets where both are absolute temperatures); units b
    Comparison,  // b converted into a's units as a conversion does, to compare with a
    Extremum,    // maximum / minimum: b converted as for a comparison; units a
    Tolerance,   // b is an interval (an absolute tolerance): into a's units by factors alone; units a
    Normalise,   // N(x) of a freshly computed magnitude in a (negation, unary plus)
    Ratio,       // a as a plain number (a must be dimensionless); no units
};

struct OperationPlan {
    SharedUnits units;     // the result's units
    MagnitudePlan left;    // the left operand's magnitude before the formula
    MagnitudePlan right;   // the right operand's magnitude before the formula
    MagnitudePlan result;  // the formula's raw result into `units`

    // The plan applied to a binary formula on one pair of magnitudes.
    template <class Formula>
    double apply(Formula formula, double a, double b) const noexcept {
        return result.apply(formula(left.apply(a), right.apply(b)));
    }
};

// The plan of `op` between `left` and `right` (ignored by the one-operand operations), computed on the
// first call for the pair and remembered. Errors are the scalar operation's (IncompatibleUnits, an
// exponent that cannot be represented, ...) and are not remembered. The plan stays valid until the next
// call on the same thread: copy what is needed before planning again.
Result<const OperationPlan*> plan_operation(Operation op, const SharedUnits& left,
                                            const SharedUnits& right = SharedUnits());

// The plan a one-operand operation (Conversion into `right`, Ratio, Normalise) applies to a magnitude.
Result<MagnitudePlan> planned_magnitudes(Operation op, const SharedUnits& left,
                                         const SharedUnits& right = SharedUnits());

// The plan of a magnitude in `base` raised to `power`, remembered in the same way.
Result<const OperationPlan*> plan_power(const SharedUnits& base, double power);

// The units of the raw result of a Product, Quotient or Power (power read for Power only) before the
// normalisation: for results computed elsewhere (by NumPy) that the caller normalises itself.
Result<UnitCollection> raw_result_units(Operation op, const UnitCollection& left, const UnitCollection& right,
                                        double power = 1.0);

// The collection a unit text parses to, shared between the calls with the same text; nothing when the
// text is no unit expression.
std::optional<SharedUnits> shared_units_from_text(std::string_view text);

}  // namespace tarvel
