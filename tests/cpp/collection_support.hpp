#pragma once
// Helpers shared by the tests of unit collections.

#include <string>
#include <utility>
#include <vector>

#include "unit/unit_collection.hpp"

namespace test_support {

// A collection's map as (unit name, exponent) pairs, in map order.
using Entries = std::vector<std::pair<std::string, double>>;

inline Entries entries_of(const tarvel::UnitCollection& units) {
    Entries out;
    for (const auto& entry : units.unit_map) out.emplace_back(entry.unit.name(), entry.exponent);
    return out;
}

}  // namespace test_support
