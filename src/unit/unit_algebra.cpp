#include <cmath>
#include <cstddef>
#include <utility>

#include "unit/unit_algebra_internal.hpp"
#include "unit/unit_collection.hpp"
#include "unit/unit_defs/unit_defs.hpp"

namespace tarvel {

namespace {

// One entry of the right operand of a product or quotient. Only the units the right operand holds are
// tested for a zero exponent, so zero-exponent entries that only the left operand holds survive.
template <class Unit>
void merge_entry(UnitMap& map, Unit&& unit, double exponent, bool divide) {
    const std::size_t index = map.find(unit);
    if (index == UnitMap::npos) {
        const double inserted = divide ? -exponent : exponent;
        // A unit that would be inserted with exponent 0 is removed again at once.
        if (inserted != 0.0) map.push_back(std::forward<Unit>(unit), inserted);
        return;
    }
    double& merged = map[index].exponent;
    merged = divide ? merged - exponent : merged + exponent;
    if (merged == 0.0) map.erase_at(index);
}

void merge_aggregates(UnitCollection& result, const Dimensions& dimensions, double factor, bool divide) {
    for (std::size_t i = 0; i < DIMENSION_COUNT; ++i) {
        const double component =
            divide ? result.dimensions[i] - dimensions[i] : result.dimensions[i] + dimensions[i];
        // Adding 0.0 turns a negative zero into a positive one and leaves every other value alone.
        result.dimensions[i] = component + 0.0;
    }
    result.factor = divide ? result.factor / factor : result.factor * factor;
}

UnitCollection combine(const UnitCollection& a, const UnitCollection& b, bool divide) {
    UnitCollection result{a.unit_map, a.dimensions, a.factor};
    for (const UnitEntry& entry : b.unit_map) {
        merge_entry(result.unit_map, entry.unit, entry.exponent, divide);
    }
    merge_aggregates(result, b.dimensions, b.factor, divide);
    return result;
}

// A zero stays zero for every power: 0 * inf would otherwise turn an absent dimension into NaN.
double scale_unless_zero(double value, double power) { return value != 0.0 ? value * power : value; }

}  // namespace

UnitCollection mul(const UnitCollection& a, const UnitCollection& b) { return combine(a, b, false); }

UnitCollection div(const UnitCollection& a, const UnitCollection& b) { return combine(a, b, true); }

UnitCollection pow(const UnitCollection& a, double power) {
    // 1 to any power is exactly 1 (NaN powers included); base units skip the call.
    UnitCollection result{a.unit_map, {}, a.factor == 1.0 ? 1.0 : std::pow(a.factor, power)};
    for (UnitEntry& entry : result.unit_map) entry.exponent = scale_unless_zero(entry.exponent, power);
    for (std::size_t i = 0; i < DIMENSION_COUNT; ++i) {
        result.dimensions[i] = scale_unless_zero(a.dimensions[i], power);
    }
    return result;
}

void multiply_by_unit_power_internal(UnitCollection& accumulator, SingleUnit unit, double exponent,
                                     bool divide) {
    Dimensions powered;
    for (std::size_t i = 0; i < DIMENSION_COUNT; ++i) {
        powered[i] = scale_unless_zero(unit.dimensions()[i], exponent);
    }
    // x to the power 1 is x, and 1 to any power is 1, exactly; skipping the call saves most of the cost
    // of a plain term.
    const double factor =
        exponent == 1.0 || unit.factor() == 1.0 ? unit.factor() : std::pow(unit.factor(), exponent);
    // The power of the single-unit collection: its one exponent 1.0 becomes `exponent` exactly.
    merge_entry(accumulator.unit_map, std::move(unit), exponent, divide);
    merge_aggregates(accumulator, powered, factor, divide);
}

UnitCollection get_base_units(const UnitCollection& a) {
    UnitCollection result;
    result.unit_map.reserve(BASE_UNIT_COUNT);
    for (std::size_t i = 0; i < BASE_UNIT_COUNT; ++i) {
        result.unit_map.push_back(create_from_unit_def_static(BASE_UNITS[i]), a.dimensions[i]);
    }
    result.dimensions = a.dimensions;
    result.factor = 1.0;
    return result;
}

}  // namespace tarvel
