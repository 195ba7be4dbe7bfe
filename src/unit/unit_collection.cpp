#include "unit/unit_collection.hpp"

#include <cmath>
#include <cstddef>
#include <utility>

#include "unit/unit_defs/unit_defs.hpp"
#include "unit/white_space.hpp"

namespace tarvel {

UnitCollection UnitCollection::single(const SingleUnit& unit) {
    UnitCollection result;
    result.unit_map.push_back(unit, 1.0);
    result.dimensions = unit.dimensions();
    result.factor = unit.factor();
    result.whole_terms = has_small_whole_dimensions(unit);
    return result;
}

namespace {

// A factor that overflowed in one unit and underflowed in another (0 x inf): the product of positive
// finite factors is taken through their logarithms instead. `fallback` when a factor is not positive
// and finite.
double factor_through_logarithms(const UnitMap& map, double fallback) noexcept {
    // Scaled down by a power of two, so that terms near the largest double (1e308 x log 3600) cannot
    // overflow into inf - inf.
    constexpr int SHIFT = 64;
    double logarithm = 0.0;
    for (const UnitEntry& entry : map) {
        const double f = entry.unit.factor();
        if (!(f > 0.0) || !std::isfinite(f)) return fallback;
        if (f != 1.0) logarithm += std::ldexp(entry.exponent, -SHIFT) * std::log(f);
    }
    return std::isnan(logarithm) ? fallback : std::exp(std::ldexp(logarithm, SHIFT));
}

}  // namespace

UnitCollection UnitCollection::from_single_unit_hashmap(UnitMap map) {
    UnitCollection result;
    result.whole_terms = true;
    for (const UnitEntry& entry : map) {
        result.whole_terms = result.whole_terms && is_small_whole_exponent(entry.exponent) &&
                             has_small_whole_dimensions(entry.unit);
        const Dimensions& unit_dimensions = entry.unit.dimensions();
        for (std::size_t i = 0; i < DIMENSION_COUNT; ++i) {
            result.dimensions[i] += entry.exponent * unit_dimensions[i];
        }
        result.factor *= std::pow(entry.unit.factor(), entry.exponent);
    }
    if (std::isnan(result.factor)) result.factor = factor_through_logarithms(map, result.factor);
    result.unit_map = std::move(map);
    return result;
}

namespace {

bool is_ascii_digit(char c) noexcept { return c >= '0' && c <= '9'; }

// Reads the terms of one side of the expression into the accumulator. False when a term is not a unit
// with an exponent: an unreadable term makes the whole expression invalid instead of being dropped.
//
// The exponent text runs from the last numeric character of the term to its end and has to be a
// number, so only a final ASCII digit can be an exponent; without a digit the exponent is 1, and a digit
// followed by anything else is unreadable. No unit name contains a numeric character, so other numeric
// characters (such as "²") never resolve and need no test of their own.
bool read_side(std::string_view side, bool denominator, UnitCollection& accumulator) {
    while (true) {
        const std::size_t dot = side.find('.');
        std::string_view term = side.substr(0, dot);
        if (!term.empty() && term != "1") {
            double exponent = 1.0;
            if (is_ascii_digit(term.back())) {
                exponent = term.back() - '0';
                term.remove_suffix(1);
            } else {
                for (char c : term) {
                    if (is_ascii_digit(c)) return false;
                }
            }
            if (term.empty()) return false;
            std::optional<SingleUnit> unit = search_for_unit_name(term);
            if (!unit) return false;
            multiply_by_unit_power_internal(accumulator, std::move(*unit), exponent, denominator);
        }
        if (dot == std::string_view::npos) return true;
        side.remove_prefix(dot + 1);
    }
}

}  // namespace

std::optional<UnitCollection> UnitCollection::from_unit_name(std::string_view text) {
    if (std::optional<SingleUnit> unit = search_for_unit_name(text)) return single(*unit);

    const std::string_view trimmed = trim_white_space(text);
    const std::size_t slash = trimmed.find('/');
    std::string_view numerator = trimmed;
    std::string_view denominator;
    if (slash != std::string_view::npos) {
        numerator = trimmed.substr(0, slash);
        denominator = trimmed.substr(slash + 1);
        if (denominator.find('/') != std::string_view::npos) return std::nullopt;
    }

    // Built in place in the result, so returning it moves nothing.
    std::optional<UnitCollection> result(std::in_place);
    result->whole_terms = true;
    if (!read_side(numerator, false, *result) || !read_side(denominator, true, *result) ||
        result->unit_map.empty()) {
        result.reset();
    }
    return result;
}

}  // namespace tarvel
