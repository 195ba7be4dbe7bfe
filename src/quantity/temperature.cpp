#include "quantity/temperature.hpp"

#include <string>

#include "unit/unit_defs/unit_defs.hpp"

namespace tarvel {

std::optional<SharedUnits> temperature_interval_units(const SharedUnits& units) {
    const UnitMap& map = units->unit_map;
    if (map.size() != 1) return std::nullopt;
    const UnitEntry& entry = *map.begin();
    if (entry.exponent != 1.0 || entry.unit.offset() == 0.0) return std::nullopt;
    for (const UnitDefinition& row : UNITS) {
        if (row.offset == 0.0 && row.factor == entry.unit.factor() && row.dimensions == entry.unit.dimensions()) {
            std::optional<UnitCollection> found = UnitCollection::from_unit_name(std::string(row.symbol));
            if (found) return SharedUnits(std::move(*found));
        }
    }
    return std::nullopt;
}

}  // namespace tarvel
