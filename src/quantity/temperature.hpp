#pragma once
// Absolute temperatures and their intervals. A one-unit collection of exponent 1 in a unit with an
// offset (°C, °F) is an absolute temperature: 20 °C is 293.15 K. The difference of two of them, and any
// spread or change of them, is an interval, which carries no offset: 25 °C - 20 °C is 5 K, not 5 °C
// (which would read as 278.15 K).

#include <optional>

#include "unit/shared_units.hpp"

namespace tarvel {

// Whether `units` is an absolute temperature: one unit, exponent exactly 1, with a non-zero offset.
bool is_absolute_temperature(const UnitCollection& units) noexcept;

// The units of an interval between two absolute temperatures in `units`: the offset-free catalogue unit
// of the same degree size (K for °C, °R for °F). Nothing when `units` is not an absolute temperature.
std::optional<SharedUnits> temperature_interval_units(const SharedUnits& units);

}  // namespace tarvel
