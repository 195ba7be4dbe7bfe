#pragma once
// A unit expression: a product of units raised to real exponents, with its dimension vector and scale
// factor cached beside the map. A value type; no operation changes its operands.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "error/tarvel_error.hpp"
#include "unit/single_unit/single_unit.hpp"
#include "unit/unit_algebra.hpp"
#include "unit/unit_map.hpp"

namespace tarvel {

struct UnitCollection {
    UnitMap unit_map;
    Dimensions dimensions{};
    double factor = 1.0;
    // Every exponent and every dimension of the units is a small whole number and `dimensions` is exactly
    // the sum the map carries: the algebra then keeps the vector exact without checking it. False when
    // not known.
    bool whole_terms = false;

    // No entries, all-zero dimensions, factor 1.
    static UnitCollection empty() {
        UnitCollection result;
        result.whole_terms = true;
        return result;
    }
    // The unit with exponent 1; dimensions and factor copied from it.
    static UnitCollection single(const SingleUnit& unit);
    // Takes the map and computes the aggregates from it (factor with C pow, in map order).
    static UnitCollection from_single_unit_hashmap(UnitMap map);
    // Parses a unit expression such as "kg.m/s2"; nothing when the text is not one.
    static std::optional<UnitCollection> from_unit_name(std::string_view text);
};

// Text forms: "[kg.m/s2]", "\mathrm{\frac{kg~m}{s^2}}", "[kilogram.meter/second2]".
std::string as_string(const UnitCollection& units);
// as_string appended to `out`, without a string of its own.
void append_as_string(std::string& out, const UnitCollection& units);
std::string as_latex(const UnitCollection& units);
std::string as_descriptive_string(const UnitCollection& units);

}  // namespace tarvel
