#include <doctest/doctest.h>

#include <cmath>
#include <limits>
#include <string>

#include "quantity/quantity.hpp"
#include "unit/number_format.hpp"

using namespace tarvel;

namespace {

constexpr double INF = std::numeric_limits<double>::infinity();
const double NaN = std::numeric_limits<double>::quiet_NaN();

Quantity q(double value, const char* units) {
    Result<Quantity> one = quantity_from_unit_text(units);
    REQUIRE_MESSAGE(one.has_value(), units);
    one->value = value;
    return *one;
}

// The display text, taken from a copy so the operand stays as it was.
std::string shown(const Quantity& x) {
    Quantity copy = x;
    Result<std::string> text = display_in_place(copy);
    REQUIRE(text.has_value());
    return *text;
}

template <class T>
std::string message_of(const Result<T>& result) {
    REQUIRE_FALSE(result.has_value());
    return result.error().message();
}

bool same_double(double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

}  // namespace

TEST_CASE("construction from text, constants and definitions") {
    CHECK(message_of(quantity_from_unit_text("nosuchunit")) == "Unit nosuchunit not found");
    CHECK(message_of(quantity_from_unit_text("")) == "Unit  not found");
    CHECK(message_of(quantity_from_constant("nope")) == "Constant nope not found");
    CHECK(shown(unitless_quantity(1.0)) == "1 []");

    Result<Quantity> g = quantity_from_constant("gravitational constant");
    REQUIRE(g.has_value());
    CHECK(g->value == 6.6743e-11);
    CHECK(as_string(g->units) == "[N.m2/kg2]");

    const Quantity dozen = custom_quantity("dozen", "dz", unitless_quantity(12));
    CHECK(dozen.value == 1.0);
    CHECK(dozen.units->factor == 12.0);
    CHECK(*as_unitless(dozen) == 12.0);
    CHECK(*quantity_log(dozen) == std::log(12.0));

    const Quantity three_feet = q(3, "ft");
    const Quantity bigfoot = custom_quantity("bigfoot", "bf", three_feet);
    CHECK(bigfoot.units->factor == 3 * 0.3048);
    CHECK(dimensions_equal(bigfoot.units->dimensions, three_feet.units->dimensions));
    CHECK(as_string(bigfoot.units) == "[bf]");
    CHECK(bigfoot.units->unit_map[0].unit.name() == "bigfoot");

    const Quantity from_celsius = custom_quantity("x", "x", q(1, "°C"));
    CHECK(from_celsius.units->unit_map[0].unit.offset() == 0.0);
    CHECK(from_celsius.units->factor == 1.0);
}

TEST_CASE("as_unit_internal: factors, offsets only between absolute temperatures, exact carry-over") {
    struct Case {
        double value;
        const char* from;
        const char* to;
        double expected;
    };
    const Case cases[] = {
        {5, "km", "m", 5000},
        {20, "°C", "K", 293.15},
        {32, "°F", "K", 273.15},
        {212, "°F", "°C", 100.0},
        {100, "°C", "°F", 211.99999999999997},
        {212, "°F", "°F", 212},                      // same unit: untouched, no offset round trip
        {0.1, "°C", "°C", 0.1},
        {0.7, "ft2", "ft2", 0.7},                    // equal factors: no (v * f) / f rounding
        {1.7, "ft.s", "s.ft", 1.7},
        {20, "°C", "K.m/ft", 6.096000000000001},     // three entries: factors only
        {20, "°C", "K.m/m", 293.15},                 // the parser leaves kelvin alone
        {2e-5, "1/°C", "1/K", 2e-5},                 // a difference: no offset
        {1, "°C2", "K2", 1},
        {20, "°C.m", "K.m", 20},
        {1, "m", "ft2/m", 10.763910416709722},
    };
    for (const Case& c : cases) {
        CAPTURE(c.from);
        CAPTURE(c.to);
        const Quantity source = q(c.value, c.from);
        const Quantity target = q(1, c.to);
        Result<Quantity> r = as_unit_internal(source, target.units);
        REQUIRE(r.has_value());
        CHECK(r->value == c.expected);
        CHECK(as_string(r->units) == as_string(target.units));
        CHECK(source.value == c.value);
    }
    CHECK(message_of(as_unit_internal(q(1, "m"), q(1, "s").units)) == "[m] and [s] are not compatible");
    CHECK(message_of(as_unitless(q(1, "m"))) == "[m] and [] are not compatible");
}

TEST_CASE("addition and subtraction scale by factors and keep the left operand's units") {
    CHECK(shown(*add(q(1, "km"), q(500, "m"))) == "1.5 [km]");
    CHECK(shown(*add(q(500, "m"), q(1, "km"))) == "1500 [m]");
    CHECK(shown(*subtract(q(2, "km"), q(500, "m"))) == "1.5 [km]");
    CHECK(shown(*subtract_from(q(500, "m"), q(1, "km"))) == "500 [m]");
    CHECK(shown(*subtract_from(unitless_quantity(2), unitless_quantity(5))) == "3 []");
    CHECK(shown(*add(q(20, "°C"), q(10, "K"))) == "30 [°C]");
    CHECK(shown(*add(q(10, "K"), q(20, "°C"))) == "30 [K]");
    CHECK(add(q(0.1, "ft"), q(0.2, "ft"))->value == 0.1 + 0.2);

    CHECK(message_of(add(q(1, "m"), q(1, "s"))) == "[m] and [s] are not compatible");
    CHECK(message_of(subtract(q(1, "m"), q(1, "s"))) == "[m] and [s] are not compatible");
    CHECK(message_of(subtract_from(q(1, "m"), q(1, "s"))) == "[m] and [s] are not compatible");
}

TEST_CASE("products and quotients are quick-simplified and converted") {
    CHECK(shown(*multiply(q(2, "m"), q(3, "m"))) == "6 [m2]");
    CHECK(shown(*divide(q(1, "km"), q(1, "hr"))) == "1 [km/hr]");

    Result<Quantity> ratio = divide(q(1, "km"), q(1, "m"));
    CHECK(ratio->value == 1000);
    CHECK(ratio->units->unit_map.empty());

    CHECK(shown(*divide_into(q(2, "s"), unitless_quantity(1))) == "0.5 [1/s]");
    CHECK(divide(q(1, "m"), unitless_quantity(0))->value == INF);

    // A single offset unit normalised into itself keeps its magnitude exactly.
    CHECK(multiply(q(1, "°F"), unitless_quantity(212))->value == 212);
    CHECK(shown(*multiply(q(1, "°F"), unitless_quantity(212))) == "212 [°F]");
    CHECK(multiply(q(1, "°C"), unitless_quantity(0.1))->value == 0.1);
}

TEST_CASE("unary operations") {
    CHECK(shown(*negate(q(2, "m"))) == "-2 [m]");
    CHECK(positive(q(1.5, "km/m"))->value == 1500);

    const Quantity raw = q(-1.5, "km/m");
    const Quantity abs = absolute(raw);
    CHECK(abs.value == 1.5);
    CHECK(abs.units->unit_map.size() == 2);  // no normalisation
    CHECK_FALSE(std::signbit(absolute(unitless_quantity(-0.0)).value));
}

TEST_CASE("powers") {
    CHECK(shown(*power(q(3, "m"), unitless_quantity(2))) == "9 [m2]");
    CHECK(shown(*power_of(unitless_quantity(3), unitless_quantity(2))) == "8 []");
    CHECK(message_of(power(q(3, "m"), q(1, "m"))) == "[m] and [] are not compatible");
    CHECK(message_of(power_of(q(3, "m"), unitless_quantity(2))) == "[m] and [] are not compatible");
    // A dimensionless exponent in scaled units counts with its factor.
    CHECK(power(unitless_quantity(2), q(1, "km/m"))->value == std::ldexp(1.0, 1000));

    CHECK(message_of(power(q(1, "m"), unitless_quantity(INF))) == "[m] cannot be raised to the power inf");
    CHECK(message_of(power(q(1, "m"), unitless_quantity(-INF))) == "[m] cannot be raised to the power -inf");
    CHECK(message_of(power(q(1, "m"), unitless_quantity(NaN))) == "[m] cannot be raised to the power NaN");
    CHECK(message_of(power_of(unitless_quantity(INF), q(2, "s"))) == "[s] cannot be raised to the power inf");
    // A finite power whose exponent overflows.
    Result<Quantity> overflow = power(q(1, "m2"), unitless_quantity(1e308));
    REQUIRE_FALSE(overflow.has_value());
    CHECK(overflow.error().kind == ErrorKind::InvalidPower);

    Result<Quantity> unitless_inf = power(unitless_quantity(2), unitless_quantity(INF));
    REQUIRE(unitless_inf.has_value());
    CHECK(unitless_inf->value == INF);
    CHECK(shown(*unitless_inf) == "inf []");
    // Units raised to 0 leave only zero exponents, which take any power.
    Result<Quantity> zeroed = power(q(2, "m"), unitless_quantity(0));
    REQUIRE(zeroed.has_value());
    CHECK(power(*zeroed, unitless_quantity(NaN)).has_value());
}

TEST_CASE("rounding to digits and significant figures") {
    struct Case {
        double value;
        std::optional<std::int32_t> ndigits;
        double expected;
    };
    const Case digits[] = {
        {2.675, 2, 2.68},      {1234.5, -2, 1200},   {-2.5, std::nullopt, -3}, {2.5, std::nullopt, 3},
        {1.5, 400, 1.5},       {1234.5, -400, 0.0},  {-1234.5, -400, -0.0},    {INF, 2, INF},
        {NaN, std::nullopt, NaN},
    };
    for (const Case& c : digits) {
        CAPTURE(c.value);
        Quantity x = q(c.value, "m");
        Result<Quantity> r = round_in_place(x, c.ndigits);
        REQUIRE(r.has_value());
        CHECK(same_double(r->value, c.expected));
        if (!std::isnan(c.expected)) CHECK(std::signbit(r->value) == std::signbit(c.expected));
        CHECK(as_string(r->units) == "[m]");
    }

    const Case figures[] = {
        {0.012345, 3, 0.0123}, {98765.4, 2, 99000}, {0.0, 3, 0.0}, {INF, 3, INF},
        {NaN, 3, NaN},         {1.25, 400, 1.25},   {5e-324, 2, 5e-324},
    };
    for (const Case& c : figures) {
        CAPTURE(c.value);
        Quantity x = q(c.value, "m");
        Result<Quantity> r = round_sfig_in_place(x, *c.ndigits);
        REQUIRE(r.has_value());
        CHECK(same_double(r->value, c.expected));
    }
}

TEST_CASE("the roundings quick-simplify the quantity itself first") {
    Quantity x = q(1.5, "km/m");
    Result<Quantity> r = round_in_place(x, std::nullopt);
    CHECK(r->value == 1500);
    CHECK(x.value == 1500);
    CHECK(x.units->unit_map.empty());

    // Significant figures of the simplified magnitude.
    Quantity inch_per_metre = q(1, "in/m");
    CHECK(round_sfig_in_place(inch_per_metre, 2)->value == 0.025);
    CHECK(inch_per_metre.value == 0.0254);
    Quantity foot_per_metre = q(1, "ft/m");
    CHECK(round_sfig_in_place(foot_per_metre, 2)->value == 0.3);
}

TEST_CASE("power_of_ten") {
    CHECK(power_of_ten(0) == 1.0);
    CHECK(power_of_ten(22) == 1e22);
    CHECK(power_of_ten(-3) == 1.0 / 1000.0);
    CHECK(power_of_ten(309) == INF);
    CHECK(power_of_ten(std::numeric_limits<std::int32_t>::max()) == INF);
    CHECK(power_of_ten(std::numeric_limits<std::int32_t>::min()) == 0.0);
}

TEST_CASE("comparison converts the other operand into the instance's units") {
    CHECK(*compare(q(1, "km"), q(1000, "m"), CompareOp::Equal));
    CHECK(*compare(q(1000, "m"), q(1, "km"), CompareOp::Equal));
    CHECK_FALSE(*compare(q(1, "ft"), q(12, "in"), CompareOp::Equal));
    CHECK(*compare(q(1, "ft"), q(12, "in"), CompareOp::Greater));
    CHECK_FALSE(*compare(q(12, "in"), q(1, "ft"), CompareOp::Equal));
    CHECK(*compare(q(20, "°C"), q(293.15, "K"), CompareOp::Equal));
    CHECK(*compare(q(293.15, "K"), q(20, "°C"), CompareOp::Equal));
    CHECK(*compare(unitless_quantity(5), unitless_quantity(5), CompareOp::Equal));
    CHECK(message_of(compare(q(1, "m"), unitless_quantity(5), CompareOp::Less)) ==
          "[] and [m] are not compatible");

    const Quantity nan = unitless_quantity(NaN);
    const CompareOp ops[] = {CompareOp::Less,    CompareOp::LessEqual, CompareOp::Equal,
                             CompareOp::NotEqual, CompareOp::Greater,  CompareOp::GreaterEqual};
    for (CompareOp op : ops) {
        CHECK(*compare(nan, nan, op) == (op == CompareOp::NotEqual));
    }
    CHECK(compare_values(2, 2, CompareOp::GreaterEqual));
    CHECK_FALSE(compare_values(2, 2, CompareOp::Less));
}

TEST_CASE("exp and logarithms of dimensionless quantities") {
    CHECK(*quantity_exp(unitless_quantity(1)) == 2.718281828459045);
    CHECK(*quantity_log(unitless_quantity(1)) == 0.0);
    CHECK(*quantity_log10(q(1, "km/m")) == 3.0);
    CHECK(*quantity_log(unitless_quantity(0)) == -INF);
    CHECK(std::isnan(*quantity_log10(unitless_quantity(-1))));
    CHECK(message_of(quantity_exp(q(1, "m"))) == "[m] and [] are not compatible");
}

TEST_CASE("text forms") {
    Quantity metres = q(2.5, "m");
    CHECK(*latex_in_place(metres) == "2.5~\\mathrm{m}");
    CHECK(*descriptive_in_place(metres) == "2.5 [meter]");
    CHECK(*display_in_place(metres) == "2.5 [m]");

    Quantity km_per_m = q(1, "km/m");
    CHECK(*display(km_per_m) == "1000 []");
    CHECK(km_per_m.units->unit_map.size() == 2);  // display alone leaves it as it was
    CHECK(*display_in_place(km_per_m) == "1000 []");
    CHECK(km_per_m.value == 1000);
    CHECK(km_per_m.units->unit_map.empty());
    CHECK(shown(unitless_quantity(-0.0)) == "-0 []");
}
