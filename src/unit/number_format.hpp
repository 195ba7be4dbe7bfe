#pragma once
// Numbers in text output: the shortest digits that read back to the same double (as Python's repr
// chooses them), laid out without exponent notation: 1e21 -> "1000000000000000000000",
// 1e-7 -> "0.0000001", 2.0 -> "2", -0.0 -> "-0", NaN -> "NaN", infinities "inf" / "-inf".

#include <string>

#include "unit/single_unit/single_unit.hpp"

namespace tarvel {

void append_number(std::string& out, double value);
std::string format_number(double value);

// "[0.0, 0.0, 0.0, 0.0, 1.0, 1.0, 0.0, -2.0]": each component as above, with ".0" on whole numbers.
std::string format_dimensions(const Dimensions& dimensions);

}  // namespace tarvel
