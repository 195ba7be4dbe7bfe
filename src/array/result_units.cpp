#include "array/result_units.hpp"

#include <utility>

#include "quantity/operation_plan.hpp"
#include "quantity/temperature.hpp"
#include "unit/simplify.hpp"

namespace tarvel::arrays {

namespace {

using Layout = ResultPlan::Layout;

ResultPart part(UnitCollection units, bool normalise) {
    std::optional<UnitCollection> simple = normalise ? try_simple_simplify(units) : std::nullopt;
    return ResultPart{nullptr, std::move(units), std::move(simple)};
}

// An argument's units, which outlive the plan.
ResultPart borrowed(const UnitCollection& units, bool normalise) {
    std::optional<UnitCollection> simple = normalise ? try_simple_simplify(units) : std::nullopt;
    return ResultPart{&units, UnitCollection{}, std::move(simple)};
}

ResultPlan plain() { return ResultPlan{}; }

ResultPlan every(ResultPart part) {
    ResultPlan plan;
    plan.layout = Layout::Every;
    plan.single = std::move(part);
    return plan;
}

ResultPlan every(UnitCollection units, bool normalise) { return every(part(std::move(units), normalise)); }

// Every(units) for a computed collection, or the computation's error.
Result<ResultPlan> every(Result<UnitCollection>&& units) {
    if (!units) return fail(std::move(units.error()));
    return every(std::move(*units), true);
}

Result<UnitCollection> product(const UnitCollection& a, const UnitCollection& b) {
    return raw_result_units(Operation::Product, a, b);
}
Result<UnitCollection> quotient(const UnitCollection& a, const UnitCollection& b) {
    return raw_result_units(Operation::Quotient, a, b);
}
Result<UnitCollection> power(const UnitCollection& base, double exponent) {
    return raw_result_units(Operation::Power, base, UnitCollection::empty(), exponent);
}

Result<UnitCollection> product_of(std::span<const UnitCollection> factors) {
    UnitCollection units = UnitCollection::empty();
    for (const UnitCollection& factor : factors) {
        Result<UnitCollection> next = product(units, factor);
        if (!next) return next;
        units = std::move(*next);
    }
    return units;
}

bool is_plain_unitless(const UnitCollection& units) noexcept {
    return units.unit_map.size() == 0 && units.factor == 1.0;
}

Result<ResultPlan> per_spacing(const UnitCollection& change, std::span<const UnitCollection> spacings) {
    // One spacing for every axis, one per axis, or none (unit steps).
    if (spacings.empty()) return every(change, true);
    ResultPlan plan;
    plan.layout = Layout::Each;
    for (const UnitCollection& spacing : spacings) {
        Result<UnitCollection> units = quotient(change, spacing);
        if (!units) return fail(std::move(units.error()));
        plan.parts.emplace_back(part(std::move(*units), true));
    }
    return plan;
}

Result<ResultPlan> histogram(const ResultOperands& in, const UnitCollection& value) {
    ResultPlan plan;
    plan.layout = Layout::Fields;
    UnitCollection counts = in.own.empty() ? UnitCollection::empty() : in.own[0];
    if (in.density) {
        Result<UnitCollection> per_value = quotient(counts, value);
        if (!per_value) return fail(std::move(per_value.error()));
        counts = std::move(*per_value);
    }
    if (in.density || !in.own.empty()) {
        plan.parts.emplace_back(part(std::move(counts), true));
    } else {
        plan.parts.emplace_back(std::nullopt);  // plain counts
    }
    plan.parts.emplace_back(part(value, false));
    return plan;
}

Result<ResultPlan> item(std::size_t index, const UnitCollection& units) {
    ResultPlan plan = every(part(units, true));
    plan.layout = Layout::Item;
    plan.index = index;
    return plan;
}

// solve: x = b / a; lstsq adds the residuals in b squared, the rank and a's singular values.
Result<ResultPlan> quotient_own(ResultUnits rule, std::span<const UnitCollection> own) {
    const UnitCollection none = UnitCollection::empty();
    const UnitCollection& a = own.empty() ? none : own[0];
    const UnitCollection& b = own.size() < 2 ? none : own[1];
    Result<UnitCollection> x = quotient(b, a);
    if (!x) return fail(std::move(x.error()));
    if (rule == ResultUnits::QuotientOwn) return every(std::move(*x), true);
    Result<UnitCollection> residuals = product(b, b);
    if (!residuals) return fail(std::move(residuals.error()));
    ResultPlan plan;
    plan.layout = Layout::Fields;
    plan.parts.emplace_back(part(std::move(*x), true));
    plan.parts.emplace_back(part(std::move(*residuals), true));
    plan.parts.emplace_back(std::nullopt);
    plan.parts.emplace_back(part(a, false));
    return plan;
}

// polyfit: coefficient i (highest power first) of degree deg in value / coordinate**(deg - i).
Result<ResultPlan> polynomial(const ResultOperands& in, const UnitCollection& value, const UnitCollection& x) {
    if (in.degree < 0) return plain();
    ResultPlan plan;
    plan.layout = Layout::Sequence;
    for (long long i = 0; i <= in.degree; ++i) {
        Result<UnitCollection> powered = power(x, static_cast<double>(in.degree - i));
        Result<UnitCollection> units = powered ? quotient(value, *powered) : std::move(powered);
        if (!units) return fail(std::move(units.error()));
        plan.parts.emplace_back(part(std::move(*units), true));
    }
    return plan;
}

}  // namespace

UnitCollection interval_of(const UnitCollection& units) {
    std::optional<SharedUnits> interval = temperature_interval_units(SharedUnits(units));
    return interval ? UnitCollection(interval->get()) : units;
}

Result<ResultPlan> result_plan(ResultUnits rule, const ResultOperands& in) {
    const UnitCollection none = UnitCollection::empty();
    const UnitCollection& value = in.value ? *in.value : none;
    const UnitCollection& coordinate = in.coordinate ? *in.coordinate : none;
    switch (rule) {
        case ResultUnits::Plain: return plain();
        case ResultUnits::Value:
            // np.where(condition) alone: indices.
            return in.value ? every(borrowed(*in.value, false)) : plain();
        case ResultUnits::ValueSquared: return every(product(value, value));
        case ResultUnits::Product: return every(product_of(in.own));
        case ResultUnits::ValueTimesCoordinate: return every(product(value, coordinate));
        case ResultUnits::ValuePerSpacing: return per_spacing(value, in.own);
        case ResultUnits::IntervalPerSpacing: return per_spacing(interval_of(value), in.own);
        case ResultUnits::Histogram: return histogram(in, value);
        case ResultUnits::FirstValue: return item(0, value);
        case ResultUnits::SecondValue: return item(1, value);
        case ResultUnits::Interval: return every(interval_of(value), false);
        case ResultUnits::IntervalSquared: {
            const UnitCollection interval = interval_of(value);
            return every(product(interval, interval));
        }
        case ResultUnits::PowerOfCount:
            if (in.where_given && in.value && !is_plain_unitless(*in.value)) {
                return fail(TarvelError::unsupported_numpy(
                    std::string(in.function),
                    "where= makes the number of factors, and so the units, differ between elements"));
            }
            return every(power(value, in.count));
        case ResultUnits::PowerOfLastAxis:
        case ResultUnits::MatrixPower: return every(power(value, in.count));
        case ResultUnits::Reciprocal: return every(quotient(none, value));
        case ResultUnits::SquareRoot: return every(power(value, 0.5));
        case ResultUnits::QuotientOwn:
        case ResultUnits::LeastSquares: return quotient_own(rule, in.own);
        case ResultUnits::Norm:
            if (in.counts_nonzero) return plain();
            return in.value ? every(borrowed(*in.value, false)) : every(value, false);
        case ResultUnits::ReciprocalOwn: return in.own.empty() ? plain() : every(quotient(none, in.own[0]));
        case ResultUnits::Polynomial: return polynomial(in, value, coordinate);
        case ResultUnits::PolynomialValue: return in.value ? every(borrowed(*in.value, true)) : every(value, true);
        case ResultUnits::EachOwn: {
            if (in.own.empty()) return plain();
            ResultPlan plan;
            plan.layout = Layout::Each;
            for (const UnitCollection& units : in.own) plan.parts.emplace_back(borrowed(units, false));
            return plan;
        }
    }
    throw InternalError("unknown result rule in the array function table");
}

std::optional<double> factors_reduced(std::span<const std::ptrdiff_t> shape,
                                      std::optional<std::span<const long long>> axes, bool reduce_default,
                                      long long& bad_axis) {
    if (!axes && reduce_default && !shape.empty()) return static_cast<double>(shape.front());
    double count = 1.0;
    if (!axes) {
        for (const std::ptrdiff_t size : shape) count *= static_cast<double>(size);
        return count;
    }
    const auto rank = static_cast<long long>(shape.size());
    for (long long index : *axes) {
        if (index < 0) index += rank;
        if (index < 0 || index >= rank) {
            bad_axis = index;
            return std::nullopt;
        }
        count *= static_cast<double>(shape[static_cast<std::size_t>(index)]);
    }
    return count;
}

Result<std::vector<UnitCollection>> polynomial_coefficient_units(const UnitCollection& constant,
                                                                 const UnitCollection& x, std::size_t size) {
    std::vector<UnitCollection> targets;
    targets.reserve(size);
    for (std::size_t i = 0; i < size; ++i) {
        Result<UnitCollection> powered = power(x, static_cast<double>(size - 1 - i));
        Result<UnitCollection> target = powered ? quotient(constant, *powered) : std::move(powered);
        if (!target) return fail(std::move(target.error()));
        std::optional<UnitCollection> simple = try_simple_simplify(*target);
        targets.push_back(simple ? std::move(*simple) : std::move(*target));
    }
    return targets;
}

}  // namespace tarvel::arrays
