#pragma once
// The names a custom unit may take: none that the catalogue already reads as a unit.

#include <string_view>

#include "error/tarvel_error.hpp"

namespace tarvel {

// An error naming the clash when `name` or `symbol` already names a catalogue unit (a prefixed one
// included: "km", "kilometer"); a second unit spelt the same would print like the first and never
// convert to it.
Result<void> check_custom_unit_names(std::string_view name, std::string_view symbol);

}  // namespace tarvel
