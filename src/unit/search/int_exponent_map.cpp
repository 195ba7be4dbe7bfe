#include "unit/search/int_exponent_map.hpp"

#include <cmath>
#include <limits>
#include <utility>

#include "error/tarvel_error.hpp"

namespace tarvel {

IntExponentMap::IntExponentMap(std::shared_ptr<const Units> units, std::vector<std::int32_t> exponents)
    : units_(std::move(units)), exponents_(std::move(exponents)) {
    if (!units_ || units_->size() != exponents_.size()) {
        throw InternalError("integer exponent map: the number of exponents differs from the number of units");
    }
}

IntExponentMap IntExponentMap::from_unit_map(const UnitMap& map) {
    Units units;
    units.reserve(map.size());
    std::vector<std::int32_t> exponents;
    exponents.reserve(map.size());
    for (const UnitEntry& entry : map) {
        units.push_back(entry.unit);
        exponents.push_back(to_int_exponent(entry.exponent));
    }
    return IntExponentMap(std::make_shared<const Units>(std::move(units)), std::move(exponents));
}

bool IntExponentMap::same_units(const IntExponentMap& other) const noexcept {
    if (units_ == other.units_) return true;
    if (units_->size() != other.units_->size()) return false;
    for (std::size_t i = 0; i < units_->size(); ++i) {
        if (!((*units_)[i] == (*other.units_)[i])) return false;
    }
    return true;
}

IntExponentMap IntExponentMap::with_exponents(std::vector<std::int32_t> exponents) const {
    return IntExponentMap(units_, std::move(exponents));
}

UnitMap IntExponentMap::to_unit_map() const {
    UnitMap map;
    map.reserve(size());
    for (std::size_t i = 0; i < size(); ++i) map.push_back(unit(i), static_cast<double>(exponents_[i]));
    return map;
}

std::int32_t to_int_exponent(double exponent) noexcept {
    constexpr auto lowest = std::numeric_limits<std::int32_t>::min();
    constexpr auto highest = std::numeric_limits<std::int32_t>::max();
    if (std::isnan(exponent)) return 0;
    if (exponent <= static_cast<double>(lowest)) return lowest;
    if (exponent >= static_cast<double>(highest)) return highest;
    return static_cast<std::int32_t>(exponent);
}

}  // namespace tarvel
