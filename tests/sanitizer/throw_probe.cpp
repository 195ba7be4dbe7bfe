#include <limits>

#include "unit/simplify.hpp"

// An internal error thrown and caught inside the core, as the extension would.
extern "C" int tarvel_throw_probe() {
    tarvel::UnitCollection broken = *tarvel::UnitCollection::from_unit_name("m/ft");
    broken.dimensions[0] = std::numeric_limits<double>::quiet_NaN();
    try {
        tarvel::simple_simplify(broken);
    } catch (const tarvel::InternalError&) {
        return 1;
    }
    return 0;
}
