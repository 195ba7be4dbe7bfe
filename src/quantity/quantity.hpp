#pragma once
// A physical quantity: a magnitude in a unit collection, and every operation on it. Operations take their
// operands by const reference and return new quantities, except the *_in_place ones, which change only
// the quantity they are given (and leave it unchanged when they fail).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "error/tarvel_error.hpp"
#include "quantity/magnitude_plan.hpp"
#include "unit/shared_units.hpp"
#include "unit/unit_collection.hpp"

namespace tarvel {

// The units are shared: copies of a quantity (and results in the same units) hold the same collection.
struct Quantity {
    SharedUnits units;
    double value = 1.0;
};

// --- Construction -------------------------------------------------------------------------------
Result<Quantity> quantity_from_unit_text(std::string_view text);  // value 1; UnitNotFound with the text
Result<Quantity> quantity_from_constant(std::string_view name);   // ConstantNotFound with the name
Quantity unitless_quantity(double value);                         // the empty collection
// One of a new unit named `name` with symbol `abbr`, defined as `definition` (offsets dropped).
Quantity custom_quantity(std::string name, std::string abbr, const Quantity& definition);

// --- Conversion and rounding ----------------------------------------------------------------------
// q re-expressed in `target`; IncompatibleUnits (q's text first) when the dimensions differ.
Result<Quantity> as_unit_internal(const Quantity& q, const UnitCollection& target);
// The same into a shared collection, which the result then shares.
Result<Quantity> as_unit_internal(const Quantity& q, const SharedUnits& target);
// Quick simplification of q in place; q unchanged on error.
Result<void> ss_inpl_internal(Quantity& q);
// N(x): the quick simplification of a freshly computed quantity.
Result<Quantity> normalise(const Quantity& x);

Result<double> as_unitless(const Quantity& q);
Result<Quantity> as_base_units(const Quantity& q);
Result<Quantity> simplified(const Quantity& q);      // full simplification, as a new quantity
Result<void> simplify_in_place(Quantity& q);          // full simplification of q itself
// round(): quick-simplifies q in place, then rounds (halves away from zero).
Result<Quantity> round_in_place(Quantity& q, std::optional<std::int32_t> ndigits);
Result<Quantity> round_sfig_in_place(Quantity& q, std::int32_t n_sig_figs);

// 10.0 raised to an integer power by repeated squaring (a negative power takes the reciprocal).
double power_of_ten(std::int32_t exponent);
// x rounded to `ndigits` decimal places (a whole number without), halves away from zero.
double round_to_digits(double x, std::optional<std::int32_t> ndigits);
// x rounded to `n_sig_figs` significant figures, halves away from zero; 0, inf and NaN unchanged.
double round_to_significant_figures(double x, std::int32_t n_sig_figs);

// --- Arithmetic -----------------------------------------------------------------------------------
Result<Quantity> add(const Quantity& s, const Quantity& o);
Result<Quantity> subtract(const Quantity& s, const Quantity& o);       // s - o
Result<Quantity> subtract_from(const Quantity& s, const Quantity& o);  // o - s, in s's units
Result<Quantity> multiply(const Quantity& s, const Quantity& o);
Result<Quantity> divide(const Quantity& s, const Quantity& o);       // s / o
Result<Quantity> divide_into(const Quantity& s, const Quantity& o);  // o / s
Result<Quantity> power(const Quantity& s, const Quantity& exponent);  // s ** exponent
Result<Quantity> power_of(const Quantity& s, const Quantity& base);   // base ** s
Result<Quantity> negate(const Quantity& s);
Result<Quantity> positive(const Quantity& s);
Quantity absolute(const Quantity& s);

// --- Comparison -----------------------------------------------------------------------------------
enum class CompareOp : unsigned char { Less, LessEqual, Equal, NotEqual, Greater, GreaterEqual };
bool compare_values(double left, double right, CompareOp op);
// s op o, with o converted into s's units first.
Result<bool> compare(const Quantity& s, const Quantity& o, CompareOp op);

// --- Units and plans of the operations ---------------------------------------------------------------
// What an operation does to units, apart from the magnitudes: an element loop computes these once and
// applies the plan to each element, exactly as the scalar operation does to its one magnitude.
struct UnitsAndPlan {
    UnitCollection units;
    MagnitudePlan plan;
};
// False for the empty collection and anything that acts as it (no exponent, no dimension).
bool has_units(const UnitCollection& units) noexcept;
// The units of base ** p; InvalidPower when the units cannot take that power.
Result<UnitCollection> power_units(const UnitCollection& base, double p);
// N(x) on units: the collection a freshly computed magnitude in `units` ends in, and its conversion.
Result<UnitsAndPlan> normalisation_plan(UnitCollection units);
// The same for a product, quotient or power that may have been refused.
Result<UnitsAndPlan> normalisation_plan(Result<UnitCollection> units);
// conversion_plan with the IncompatibleUnits error (from's text first).
Result<MagnitudePlan> conversion_plan_or_error(const UnitCollection& from, const UnitCollection& to);
// The addend plan of s + o (o into s's factors); IncompatibleUnits (s first) when the dimensions differ.
Result<MagnitudePlan> addition_plan(const UnitCollection& s, const UnitCollection& o);
// The plain ratio of a magnitude in `units`, as as_unitless; IncompatibleUnits when not dimensionless.
Result<MagnitudePlan> dimensionless_plan(const UnitCollection& units);

// --- exp / log ------------------------------------------------------------------------------------
Result<double> quantity_exp(const Quantity& s);
Result<double> quantity_log(const Quantity& s);
Result<double> quantity_log10(const Quantity& s);

// --- Text -----------------------------------------------------------------------------------------
// The display form of q ("1 [km/hr]"), with the full simplification applied to a copy; q unchanged.
Result<std::string> display(const Quantity& q);
// str()/repr(): quick-simplify q in place, then display.
Result<std::string> display_in_place(Quantity& q);
Result<std::string> latex_in_place(Quantity& q);
Result<std::string> descriptive_in_place(Quantity& q);

}  // namespace tarvel
