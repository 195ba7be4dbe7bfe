#include "quantity/magnitude_plan.hpp"

namespace tarvel {

bool is_single_absolute(const UnitCollection& units) noexcept {
    return units.unit_map.size() == 1 && units.unit_map[0].exponent == 1.0;
}

std::optional<MagnitudePlan> conversion_plan(const UnitCollection& from, const UnitCollection& to) noexcept {
    if (!dimensions_equal(from.dimensions, to.dimensions)) return std::nullopt;
    const double fs = from.factor;
    const double ft = to.factor;
    if (is_single_absolute(from) && is_single_absolute(to)) {
        const double os = from.unit_map[0].unit.offset();
        const double ot = to.unit_map[0].unit.offset();
        if (fs == ft && os == ot) return MagnitudePlan{};
        return MagnitudePlan{MagnitudePlan::Kind::Offset, fs, ft, os, ot};
    }
    if (fs == ft) return MagnitudePlan{};
    return MagnitudePlan{MagnitudePlan::Kind::Scale, fs, ft, 0.0, 0.0};
}

MagnitudePlan addend_plan(const UnitCollection& from, const UnitCollection& to) noexcept {
    if (from.factor == to.factor) return MagnitudePlan{};
    return MagnitudePlan{MagnitudePlan::Kind::Scale, from.factor, to.factor, 0.0, 0.0};
}

}  // namespace tarvel
