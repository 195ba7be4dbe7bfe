#include "quantity/quantity.hpp"

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <utility>

#include "constant/constants.hpp"
#include "quantity/decimal_rounding.hpp"
#include "quantity/magnitude_plan.hpp"
#include "quantity/operation_plan.hpp"
#include "unit/number_format.hpp"
#include "unit/simplify.hpp"

namespace tarvel {

namespace {

// `value` in `from` re-expressed in `to`; nothing when the dimensions differ.
std::optional<double> convert_magnitude(const UnitCollection& from, double value,
                                        const UnitCollection& to) noexcept {
    const std::optional<MagnitudePlan> plan = conversion_plan(from, to);
    if (!plan) return std::nullopt;
    return plan->apply(value);
}

TarvelError incompatible(const UnitCollection& first, const UnitCollection& second) {
    return TarvelError::incompatible_units(as_string(first), as_string(second));
}

// q's magnitude as a plain number; the empty target never brings offsets into play.
Result<double> dimensionless_value(const Quantity& q) {
    if (!dimensions_equal(q.units->dimensions, NO_DIMENSIONS)) {
        return fail(incompatible(q.units, UnitCollection::empty()));
    }
    return q.value * q.units->factor;
}



// N(x) for a quantity given by its parts: `units` is copied only when it is kept, and a fresh collection
// (a product, a quotient, a power) is kept without a copy. Most of them cancel nothing; the conversion
// into the same collection still runs, since it decides the value (it is value itself for every
// finite, non-NaN factor).
template <class Units>
Result<Quantity> normalise_parts(Units&& units, double value) {
    std::optional<UnitCollection> cancelled = try_simple_simplify(units);
    // The result is built in place: a Quantity returned by value would be moved once more.
    if (!cancelled) {
        const std::optional<double> converted = convert_magnitude(units, value, units);
        if (!converted) return fail(incompatible(units, units));
        return Result<Quantity>(std::in_place, std::forward<Units>(units), *converted);
    }
    const std::optional<double> converted = convert_magnitude(units, value, *cancelled);
    if (!converted) return fail(incompatible(units, *cancelled));
    return Result<Quantity>(std::in_place, std::move(*cancelled), *converted);
}

// Whether two collections hold the same units with the same exponents, in any order. The simplification
// can rebuild such a collection with a recomputed factor, which may differ in the last bit; the magnitude
// is then carried over untouched, as between equal factors.
bool same_entries(const UnitCollection& a, const UnitCollection& b) noexcept {
    if (a.unit_map.size() != b.unit_map.size() || !dimensions_equal(a.dimensions, b.dimensions)) return false;
    for (const UnitEntry& entry : a.unit_map) {
        const std::size_t index = b.unit_map.find(entry.unit);
        if (index == UnitMap::npos || b.unit_map[index].exponent != entry.exponent) return false;
    }
    return true;
}

Result<Quantity> converted_into(const Quantity& q, UnitCollection&& target) {
    const std::optional<double> converted = convert_magnitude(q.units, q.value, target);
    if (!converted) return fail(incompatible(q.units, target));
    return Quantity{std::move(target), *converted};
}

// round(x * scale) / scale. Where that formula breaks down it returns what the rounding means: x itself
// when x has no digits at that scale (the scale or the scaled value overflows), a signed zero when the
// scale underflows to 0.
double round_scaled(double x, double scale) noexcept {
    if (!std::isfinite(x)) return x;
    if (scale == 0.0) return std::copysign(0.0, x);
    const double scaled = x * scale;
    if (!std::isfinite(scaled)) return x;
    return std::round(scaled) / scale;
}

std::int32_t saturate_int32(std::int64_t n) noexcept {
    if (n > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    if (n < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(n);
}

bool has_non_zero_exponent(const UnitCollection& units) noexcept {
    for (const UnitEntry& entry : units.unit_map) {
        if (entry.exponent != 0.0) return true;
    }
    return false;
}

bool all_finite(const UnitCollection& units) noexcept {
    for (const UnitEntry& entry : units.unit_map) {
        if (!std::isfinite(entry.exponent)) return false;
    }
    for (double component : units.dimensions) {
        if (!std::isfinite(component)) return false;
    }
    return true;
}

// base ** p.
Result<Quantity> raise(const Quantity& base, double p) {
    Result<const OperationPlan*> plan = plan_power(base.units, p);
    if (!plan) return fail(std::move(plan.error()));
    return Quantity{(*plan)->units, (*plan)->result.apply(std::pow(base.value, p))};
}

}  // namespace

// --- Construction -------------------------------------------------------------------------------

Result<Quantity> quantity_from_unit_text(std::string_view text) {
    std::optional<SharedUnits> units = shared_units_from_text(text);
    if (!units) return fail(TarvelError::unit_not_found(std::string(text)));
    return Quantity{std::move(*units), 1.0};
}

Result<Quantity> quantity_from_constant(std::string_view name) {
    const Constant* constant = search_for_constant_name(name);
    if (constant == nullptr) return fail(TarvelError::constant_not_found(std::string(name)));
    std::optional<SharedUnits> units = shared_units_from_text(constant->unit);
    if (!units) return fail(TarvelError::unit_not_found(std::string(constant->unit)));
    return Quantity{std::move(*units), constant->value};
}

Quantity unitless_quantity(double value) { return Quantity{SharedUnits(), value}; }

Quantity custom_quantity(std::string name, std::string abbr, const Quantity& definition) {
    SingleUnit unit = SingleUnit::make(std::move(name), std::move(abbr), 0.0,
                                       definition.units->factor * definition.value,
                                       definition.units->dimensions);
    UnitCollection units;
    units.factor = unit.factor();
    units.dimensions = definition.units->dimensions;
    units.unit_map.push_back(std::move(unit), 1.0);
    return Quantity{std::move(units), 1.0};
}

// --- Conversion and rounding ----------------------------------------------------------------------

Result<Quantity> as_unit_internal(const Quantity& q, const UnitCollection& target) {
    const std::optional<double> converted = convert_magnitude(q.units, q.value, target);
    if (!converted) return fail(incompatible(q.units, target));
    return Quantity{target, *converted};
}

Result<Quantity> as_unit_internal(const Quantity& q, const SharedUnits& target) {
    Result<const OperationPlan*> plan = plan_operation(Operation::Conversion, q.units, target);
    if (!plan) return fail(std::move(plan.error()));
    return Quantity{target, (*plan)->result.apply(q.value)};
}

Result<Quantity> normalise(const Quantity& x) { return normalise_parts(x.units, x.value); }

Result<void> ss_inpl_internal(Quantity& q) {
    Result<Quantity> simplified_q = normalise(q);
    if (!simplified_q) return fail(std::move(simplified_q.error()));
    q = std::move(*simplified_q);
    return {};
}

Result<double> as_unitless(const Quantity& q) { return dimensionless_value(q); }

Result<Quantity> as_base_units(const Quantity& q) { return converted_into(q, get_base_units(q.units)); }

Result<Quantity> simplified(const Quantity& q) {
    UnitCollection target = simplify(q.units);
    if (same_entries(q.units, target)) return Quantity{std::move(target), q.value};
    return converted_into(q, std::move(target));
}

Result<void> simplify_in_place(Quantity& q) {
    Result<Quantity> result = simplified(q);
    if (!result) return fail(std::move(result.error()));
    q = std::move(*result);
    return {};
}

double round_to_digits(double x, std::optional<std::int32_t> ndigits) {
    if (!ndigits) return std::round(x);
    const double scale = power_of_ten(*ndigits);
    // Past 10^308 the scale is no double: the places are counted in the decimal expansion instead.
    if (std::isinf(scale)) return round_decimal_places(x, *ndigits);
    return round_scaled(x, scale);
}

double round_to_significant_figures(double x, std::int32_t n_sig_figs) {
    if (x == 0.0 || !std::isfinite(x)) return x;
    const auto magnitude = static_cast<std::int64_t>(std::floor(std::log10(std::fabs(x))));
    const double scale = power_of_ten(saturate_int32(std::int64_t{n_sig_figs} - 1 - magnitude));
    if (std::isinf(scale)) return round_significant_figures(x, n_sig_figs);
    return round_scaled(x, scale);
}

// The in-place roundings build their result from the simplified copy before committing it to q, so q is
// untouched by anything that fails.
Result<Quantity> round_in_place(Quantity& q, std::optional<std::int32_t> ndigits) {
    Result<Quantity> simple = normalise(q);
    if (!simple) return simple;
    Quantity result{simple->units, round_to_digits(simple->value, ndigits)};
    q = std::move(*simple);
    return result;
}

Result<Quantity> round_sfig_in_place(Quantity& q, std::int32_t n_sig_figs) {
    Result<Quantity> simple = normalise(q);
    if (!simple) return simple;
    Quantity result{simple->units, round_to_significant_figures(simple->value, n_sig_figs)};
    q = std::move(*simple);
    return result;
}

double power_of_ten(std::int32_t exponent) {
    // Widened so that the magnitude of INT32_MIN is representable.
    std::int64_t n = exponent;
    const bool negative = n < 0;
    std::uint64_t remaining = static_cast<std::uint64_t>(negative ? -n : n);
    double result = 1.0;
    double square = 10.0;
    while (remaining != 0) {
        if (remaining & 1u) result *= square;
        remaining >>= 1;
        if (remaining != 0) square *= square;
    }
    return negative ? 1.0 / result : result;
}

// --- Arithmetic -----------------------------------------------------------------------------------

// The binary operations between quantities take their unit work from the planner: the same two
// collections give the same units and plans every time, so only the magnitudes are computed here.
namespace {

template <class Formula>
Result<Quantity> planned(Operation op, const SharedUnits& a, double x, const SharedUnits& b, double y,
                         Formula formula) {
    Result<const OperationPlan*> plan = plan_operation(op, a, b);
    if (!plan) return fail(std::move(plan.error()));
    return Quantity{(*plan)->units, (*plan)->apply(formula, x, y)};
}

constexpr auto PLUS = [](double a, double b) noexcept { return a + b; };
constexpr auto MINUS = [](double a, double b) noexcept { return a - b; };
constexpr auto MINUS_REVERSED = [](double a, double b) noexcept { return b - a; };
constexpr auto TIMES = [](double a, double b) noexcept { return a * b; };
constexpr auto OVER = [](double a, double b) noexcept { return a / b; };

}  // namespace

Result<Quantity> add(const Quantity& s, const Quantity& o) {
    return planned(Operation::Sum, s.units, s.value, o.units, o.value, PLUS);
}

Result<Quantity> subtract(const Quantity& s, const Quantity& o) {
    return planned(Operation::Difference, s.units, s.value, o.units, o.value, MINUS);
}

Result<Quantity> subtract_from(const Quantity& s, const Quantity& o) {
    return planned(Operation::Difference, s.units, s.value, o.units, o.value, MINUS_REVERSED);
}

Result<Quantity> multiply(const Quantity& s, const Quantity& o) {
    return planned(Operation::Product, s.units, s.value, o.units, o.value, TIMES);
}

Result<Quantity> divide(const Quantity& s, const Quantity& o) {
    return planned(Operation::Quotient, s.units, s.value, o.units, o.value, OVER);
}

Result<Quantity> divide_into(const Quantity& s, const Quantity& o) {
    return planned(Operation::Quotient, o.units, o.value, s.units, s.value, OVER);
}

Result<Quantity> power(const Quantity& s, const Quantity& exponent) {
    const Result<double> p = dimensionless_value(exponent);
    if (!p) return fail(p.error());
    return raise(s, *p);
}

Result<Quantity> power_of(const Quantity& s, const Quantity& base) {
    const Result<double> p = dimensionless_value(s);
    if (!p) return fail(p.error());
    return raise(base, *p);
}

Result<Quantity> negate(const Quantity& s) { return normalise_parts(s.units, -s.value); }

Result<Quantity> positive(const Quantity& s) { return normalise_parts(s.units, s.value); }

Quantity absolute(const Quantity& s) { return Quantity{s.units, std::fabs(s.value)}; }

// --- Comparison -----------------------------------------------------------------------------------

bool compare_values(double left, double right, CompareOp op) {
    switch (op) {
        case CompareOp::Less: return left < right;
        case CompareOp::LessEqual: return left <= right;
        case CompareOp::Equal: return left == right;
        case CompareOp::NotEqual: return left != right;
        case CompareOp::Greater: return left > right;
        case CompareOp::GreaterEqual: return left >= right;
    }
    throw InternalError("unknown comparison operator");
}

Result<bool> compare(const Quantity& s, const Quantity& o, CompareOp op) {
    Result<const OperationPlan*> plan = plan_operation(Operation::Comparison, s.units, o.units);
    if (!plan) return fail(std::move(plan.error()));
    return compare_values(s.value, (*plan)->right.apply(o.value), op);
}

// --- Units and plans of the operations ---------------------------------------------------------------

// Units can only be raised to powers that keep every exponent finite; a unitless base takes any power.
// Dimensions count even without an exponent to show for them (a tiny exponent absorbed by a unit that
// has since cancelled): a non-finite power would make them non-finite.
bool has_units(const UnitCollection& units) noexcept {
    return has_non_zero_exponent(units) || !dimensions_equal(units.dimensions, NO_DIMENSIONS);
}

Result<UnitCollection> power_units(const UnitCollection& base, double p) {
    const bool with_units = has_units(base);
    if (with_units && !std::isfinite(p)) {
        return fail(TarvelError::invalid_power(as_string(base), format_number(p)));
    }
    Result<UnitCollection> units = checked_pow(base, p);
    if (!units) return fail(std::move(units.error()));
    if (with_units && !all_finite(*units)) {
        return fail(TarvelError::invalid_power(as_string(base), format_number(p)));
    }
    return units;
}

Result<UnitsAndPlan> normalisation_plan(UnitCollection units) {
    std::optional<UnitCollection> cancelled = try_simple_simplify(units);
    const UnitCollection& target = cancelled ? *cancelled : units;
    const std::optional<MagnitudePlan> plan = conversion_plan(units, target);
    if (!plan) return fail(incompatible(units, target));
    if (cancelled) return UnitsAndPlan{std::move(*cancelled), *plan};
    return UnitsAndPlan{std::move(units), *plan};
}

Result<UnitsAndPlan> normalisation_plan(Result<UnitCollection> units) {
    if (!units) return fail(std::move(units.error()));
    return normalisation_plan(std::move(*units));
}

Result<MagnitudePlan> conversion_plan_or_error(const UnitCollection& from, const UnitCollection& to) {
    const std::optional<MagnitudePlan> plan = conversion_plan(from, to);
    if (!plan) return fail(incompatible(from, to));
    return *plan;
}

Result<MagnitudePlan> addition_plan(const UnitCollection& s, const UnitCollection& o) {
    if (!dimensions_equal(s.dimensions, o.dimensions)) return fail(incompatible(s, o));
    return addend_plan(o, s);
}

Result<MagnitudePlan> dimensionless_plan(const UnitCollection& units) {
    if (!dimensions_equal(units.dimensions, NO_DIMENSIONS)) {
        return fail(incompatible(units, UnitCollection::empty()));
    }
    // v * factor, as dimensionless_value computes it: the division by 1 is exact.
    return MagnitudePlan{MagnitudePlan::Kind::Scale, units.factor, 1.0, 0.0, 0.0};
}

// --- exp / log ------------------------------------------------------------------------------------

namespace {

template <double (*F)(double)>
Result<double> apply_to_plain_value(const Quantity& s) {
    const Result<double> v = dimensionless_value(s);
    if (!v) return v;
    return F(*v);
}

double c_exp(double v) { return std::exp(v); }
double c_log(double v) { return std::log(v); }
double c_log10(double v) { return std::log10(v); }

}  // namespace

Result<double> quantity_exp(const Quantity& s) { return apply_to_plain_value<c_exp>(s); }
Result<double> quantity_log(const Quantity& s) { return apply_to_plain_value<c_log>(s); }
Result<double> quantity_log10(const Quantity& s) { return apply_to_plain_value<c_log10>(s); }

// --- Text -----------------------------------------------------------------------------------------

namespace {

// The display form of `value` in `units`, given the full simplification of `units` (nothing when that is
// `units` itself: most collections are printed without a copy).
Result<std::string> display_as(const UnitCollection& units, double value,
                               const std::optional<UnitCollection>& simpler) {
    const UnitCollection& target = simpler ? *simpler : units;
    const std::optional<double> converted =
        same_entries(units, target) ? std::optional<double>(value) : convert_magnitude(units, value, target);
    if (!converted) return fail(incompatible(units, target));
    std::string out;
    append_number(out, *converted);
    out += ' ';
    append_as_string(out, target);
    return out;
}

}  // namespace

Result<std::string> display(const Quantity& q) {
    return display_as(q.units, q.value, try_simplify(q.units));
}

// normalise() and display() as one step, with q's collection kept in place when nothing cancels.
Result<std::string> display_in_place(Quantity& q) {
    std::optional<UnitCollection> cancelled = try_simple_simplify(q.units);
    const UnitCollection& simple_units = cancelled ? *cancelled : q.units.get();
    const std::optional<double> simple_value = convert_magnitude(q.units, q.value, simple_units);
    if (!simple_value) return fail(incompatible(q.units, simple_units));
    // A collection that cancels nothing needs only the search step of the full simplification.
    const std::optional<UnitCollection> simpler =
        cancelled ? try_simplify(simple_units) : try_simplify_uncancelled(simple_units);
    Result<std::string> text = display_as(simple_units, *simple_value, simpler);
    if (text) {
        if (cancelled) q.units = std::move(*cancelled);
        q.value = *simple_value;
    }
    return text;
}

Result<std::string> latex_in_place(Quantity& q) {
    Result<Quantity> simple = normalise(q);
    if (!simple) return fail(std::move(simple.error()));
    std::string out;
    append_number(out, simple->value);
    out += '~';
    out += as_latex(simple->units);
    q = std::move(*simple);
    return out;
}

Result<std::string> descriptive_in_place(Quantity& q) {
    Result<Quantity> simple = normalise(q);
    if (!simple) return fail(std::move(simple.error()));
    std::string out;
    append_number(out, simple->value);
    out += ' ';
    out += as_descriptive_string(simple->units);
    q = std::move(*simple);
    return out;
}

}  // namespace tarvel
