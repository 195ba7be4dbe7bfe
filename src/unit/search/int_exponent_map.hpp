#pragma once
// Exponent maps of the simplification search: a collection's units with whole exponents.

#include <cstdint>
#include <memory>
#include <vector>

#include "unit/single_unit/single_unit.hpp"
#include "unit/unit_map.hpp"

namespace tarvel {

// Units with 32-bit exponents. The maps of one search all hold the same units in the same order, so the
// units are shared: copying a map copies a pointer and the exponents.
class IntExponentMap {
public:
    using Units = std::vector<SingleUnit>;

    IntExponentMap() : units_(std::make_shared<const Units>()) {}
    // Throws InternalError when the two sizes differ.
    IntExponentMap(std::shared_ptr<const Units> units, std::vector<std::int32_t> exponents);

    // The units of `map` in its order, with its exponents converted by to_int_exponent.
    static IntExponentMap from_unit_map(const UnitMap& map);

    std::size_t size() const noexcept { return exponents_.size(); }
    const SingleUnit& unit(std::size_t i) const noexcept { return (*units_)[i]; }
    std::int32_t exponent(std::size_t i) const noexcept { return exponents_[i]; }
    void set_exponent(std::size_t i, std::int32_t exponent) noexcept { exponents_[i] = exponent; }
    const std::vector<std::int32_t>& exponents() const noexcept { return exponents_; }
    const std::shared_ptr<const Units>& shared_units() const noexcept { return units_; }

    // Same units in the same order (the same shared list, or equal units one by one).
    bool same_units(const IntExponentMap& other) const noexcept;
    // The same units with these exponents. Throws InternalError when the size differs.
    IntExponentMap with_exponents(std::vector<std::int32_t> exponents) const;
    // Back to a unit map; every entry is kept, zero exponents included.
    UnitMap to_unit_map() const;

    friend bool operator==(const IntExponentMap& a, const IntExponentMap& b) noexcept {
        return a.exponents_ == b.exponents_ && a.same_units(b);
    }

private:
    std::shared_ptr<const Units> units_;
    std::vector<std::int32_t> exponents_;
};

// Truncates toward zero and saturates at the 32-bit limits; NaN gives 0.
std::int32_t to_int_exponent(double exponent) noexcept;

}  // namespace tarvel
