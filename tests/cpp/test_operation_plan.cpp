// The operation planner: what each operation does to units, and the temperature rules.

#include <doctest/doctest.h>

#include <optional>
#include <string>

#include "quantity/operation_plan.hpp"
#include "quantity/temperature.hpp"

namespace {

using namespace tarvel;

SharedUnits units(const char* text) {
    std::optional<SharedUnits> parsed = shared_units_from_text(text);
    REQUIRE(parsed);
    return *parsed;
}

struct Case {
    Operation op;
    const char* left;
    const char* right;
    double a, b;
    const char* result_units;
    double expected;
};

}  // namespace

TEST_CASE("each operation plans units and magnitudes as its scalar rule says") {
    auto minus = [](double x, double y) { return x - y; };
    const Case cases[] = {
        {Operation::Difference, "°C", "°C", 25.0, 20.0, "K", 5.0},
        {Operation::Difference, "°F", "°F", 50.0, 32.0, "°R", 18.0},
        {Operation::Difference, "°C", "°F", 20.0, 68.0, "K", 0.0},
        {Operation::Difference, "°F", "°C", 68.0, 20.0, "°R", 0.0},
        {Operation::Difference, "°C", "K", 20.0, 10.0, "°C", 10.0},  // an interval off a temperature
        {Operation::Difference, "K", "K", 300.0, 20.0, "K", 280.0},
        {Operation::Difference, "km", "m", 1.0, 500.0, "km", 0.5},
        {Operation::Extremum, "°C", "K", 20.0, 300.0, "°C", 20.0 - 26.850000000000023},  // b taken with offsets
        {Operation::Tolerance, "°C", "K", 20.0, 0.5, "°C", 19.5},                         // b by factors alone
        {Operation::Comparison, "°C", "°F", 20.0, 68.0, "°C", 0.0},
    };
    for (const Case& c : cases) {
        CAPTURE(c.left);
        CAPTURE(c.right);
        Result<const OperationPlan*> plan = plan_operation(c.op, units(c.left), units(c.right));
        REQUIRE(plan);
        CHECK(as_string((*plan)->units) == as_string(units(c.result_units)));
        CHECK((*plan)->apply(minus, c.a, c.b) == doctest::Approx(c.expected).epsilon(1e-12));
    }
}

TEST_CASE("only a one-unit collection of exponent 1 with an offset is an absolute temperature") {
    CHECK(as_string(*temperature_interval_units(units("°C"))) == "[K]");
    CHECK(as_string(*temperature_interval_units(units("degree Fahrenheit"))) == "[°R]");
    for (const char* text : {"K", "°R", "°C2", "°C.m", "1/°C", "m"}) {
        CAPTURE(text);
        CHECK_FALSE(temperature_interval_units(units(text)));
    }
    CHECK_FALSE(temperature_interval_units(SharedUnits()));
    // Incompatible operands are refused with the scalar's error, whatever the operation.
    for (Operation op : {Operation::Sum, Operation::Difference, Operation::Comparison, Operation::Extremum,
                         Operation::Tolerance, Operation::Conversion}) {
        CHECK_FALSE(plan_operation(op, units("°C"), units("m")));
    }
    CHECK_FALSE(plan_operation(Operation::Ratio, units("m")));
}
