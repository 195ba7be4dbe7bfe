#pragma once
// Absolute temperatures and their intervals. A one-unit collection with exponent 1 in a unit with an
// offset (°C, °F) is an absolute temperature; a difference or spread of such values is an interval,
// expressed in the offset-free catalogue unit of the same degree size (K for °C, °R for °F).

#include <optional>

#include "unit/shared_units.hpp"

namespace tarvel {

// The interval units for absolute-temperature units, or nothing when `units` is not one.
std::optional<SharedUnits> temperature_interval_units(const SharedUnits& units);

}  // namespace tarvel
