// Logic the extension module delegates to the core: a pickled state's checks, the ufunc rows'
// conversions, the lazy arrays' binary formulas and the text forms.

#include <doctest/doctest.h>

#include <cmath>
#include <string>
#include <vector>

#include "array/ufunc_rules.hpp"
#include "quantity/quantity_state.hpp"
#include "quantity/quantity_text.hpp"

namespace {

using namespace tarvel;
using namespace tarvel::arrays;

SharedUnits parsed(const char* text) {
    std::optional<SharedUnits> units = shared_units_from_text(text);
    const std::string shown(text);
    CAPTURE(shown);
    REQUIRE(units);
    return *units;
}

TEST_CASE("a state's cached dimensions and factor are checked against its units") {
    for (const char* text : {"km/s", "kg.m2/s3", "ft3/min"}) {
        const UnitCollection& units = parsed(text).get();
        CHECK(restored_collection(units.unit_map, units.dimensions, units.factor).has_value());
        auto factor = restored_collection(units.unit_map, units.dimensions, units.factor * (1 + 1e-6));
        REQUIRE_FALSE(factor.has_value());
        CHECK(factor.error().kind == StateFault::Kind::Factor);
        Dimensions wrong = units.dimensions;
        wrong[5] += 1.0;
        auto dimension = restored_collection(units.unit_map, wrong, units.factor);
        REQUIRE_FALSE(dimension.has_value());
        CHECK(dimension.error().kind == StateFault::Kind::Dimension);
        CHECK(dimension.error().dimension == 5);
    }
    // A factor that overflowed along the way is consistent with units whose product overflows.
    UnitMap huge;
    REQUIRE(add_state_unit(huge, parsed("km").get().unit_map[0].unit, 200.0));
    CHECK(state_factor_consistent(huge, INFINITY));
    CHECK_FALSE(state_factor_consistent(huge, 1e300));
}

TEST_CASE("a state's units come back as the catalogue's records, each once") {
    const SingleUnit& metre = parsed("m").get().unit_map[0].unit;
    const SingleUnit back = restored_unit(metre.name(), metre.symbol(), metre.offset(), metre.factor(), metre.dimensions());
    CHECK(back.record() == metre.record());
    const SingleUnit own = restored_unit(metre.name(), metre.symbol(), 0.0, 2.0, metre.dimensions());
    CHECK(own.record() != metre.record());
    UnitMap map;
    CHECK(add_state_unit(map, back, 1.0));
    CHECK_FALSE(add_state_unit(map, back, 2.0));
    CHECK(map.size() == 1);
    CHECK(restored_log_quantity("decibel", 3.0).has_value());
    CHECK_FALSE(restored_log_quantity("dB", 3.0).has_value());  // a symbol is not a name
}

TEST_CASE("ufunc rows convert the other operands into the first one's units as their kind says") {
    const SharedUnits celsius = parsed("°C");
    const SharedUnits kelvin = parsed("K");
    // maximum compares temperatures (with offsets); add-like rows convert intervals (factors alone).
    auto extremum = operand_plan(ufunc_conversion(UfuncKind::Extremum), kelvin, celsius);
    auto same = operand_plan(ufunc_conversion(UfuncKind::SameUnits), kelvin, celsius);
    REQUIRE(extremum);
    REQUIRE(same);
    CHECK(extremum->apply(0.0) == doctest::Approx(273.15));
    CHECK(same->apply(1.0) == 1.0);
    CHECK_FALSE(operand_plan(ufunc_conversion(UfuncKind::PureNumber), kelvin, kelvin));
    CHECK(as_string(*result_units(ufunc_conversion(UfuncKind::Angle), kelvin)) == as_string(parsed("rad").get()));
    CHECK(result_units(ufunc_conversion(UfuncKind::Predicate), kelvin) == nullptr);
    CHECK(result_units(ufunc_conversion(UfuncKind::Keeping), kelvin) == &kelvin);
}

TEST_CASE("the binary formulas of lazy arrays compute s op o for every operator") {
    struct Case {
        ArrayBinary op;
        double expected;  // s = 3, o = 2
    };
    for (const Case& c : {Case{ArrayBinary::Add, 5}, Case{ArrayBinary::Subtract, 1}, Case{ArrayBinary::SubtractFrom, -1},
                          Case{ArrayBinary::Multiply, 6}, Case{ArrayBinary::Divide, 1.5},
                          Case{ArrayBinary::DivideInto, 2.0 / 3.0}, Case{ArrayBinary::Power, 9},
                          Case{ArrayBinary::PowerOf, 8}}) {
        const BinaryFormula formula = binary_formula(c.op);
        const double result = formula.reversed ? formula_value(formula.ufunc, 2, 3) : formula_value(formula.ufunc, 3, 2);
        CHECK(result == c.expected);
    }
}

TEST_CASE("text forms of format() and the array's notebook form") {
    const Quantity q{parsed("m/s"), 2.5};
    CHECK(text_form_of('L') == TextForm::Latex);
    CHECK(text_form_of('f') == TextForm::Display);
    CHECK(formatted_parts(q, TextForm::Latex)->tail.starts_with("~"));
    const std::string display = formatted_parts(q, TextForm::Display)->tail;
    CHECK(display.starts_with(" "));
    CHECK(display.ends_with(as_string(q.units)));
    auto normalised = plan_operation(Operation::Normalise, parsed("m"));
    REQUIRE(normalised);
    const std::vector<double> values{1, 2, 3, 4};
    std::string tail(1, '~');
    tail += as_latex(parsed("m").get());
    tail += '$';
    CHECK(array_latex(values, 1, 0, 0, **normalised) == "$\\left[1,\\ 2,\\ 3,\\ 4\\right]" + tail);
    CHECK(array_latex(values, 2, 2, 2, **normalised) == "$\\begin{bmatrix}1 & 2 \\\\ 3 & 4\\end{bmatrix}" + tail);
    CHECK(array_latex({}, 2, 2, 0, **normalised) == "$\\begin{bmatrix} \\\\ \\end{bmatrix}" + tail);
    CHECK_FALSE(repr_unit_text(UnitCollection::empty()));
    CHECK(repr_unit_text(parsed("m/s").get()) == "m/s");
}

}  // namespace
