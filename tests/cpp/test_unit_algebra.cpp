#include <doctest/doctest.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "collection_support.hpp"
#include "unit/simplify.hpp"
#include "unit/unit_collection.hpp"
#include "unit/unit_defs/unit_defs.hpp"

using tarvel::Dimensions;
using tarvel::SingleUnit;
using tarvel::UnitCollection;
using test_support::Entries;
using test_support::entries_of;

namespace {

SingleUnit unit(std::string_view name) {
    auto found = tarvel::search_for_unit_name(name);
    REQUIRE(found.has_value());
    return *found;
}

UnitCollection one(std::string_view name) { return UnitCollection::single(unit(name)); }

bool has_negative_zero(const Dimensions& dimensions) {
    for (double component : dimensions) {
        if (component == 0.0 && std::signbit(component)) return true;
    }
    return false;
}

}  // namespace

TEST_CASE("product, quotient and power of catalogue units") {
    const UnitCollection force_length = mul(one("N"), one("m"));
    CHECK(entries_of(force_length) == Entries{{"newton", 1}, {"meter", 1}});
    CHECK(force_length.dimensions == Dimensions{0, 0, 0, 0, 1, 2, 0, -2});
    CHECK(force_length.factor == 1.0);

    // Different units of equal dimension do not cancel.
    const UnitCollection ratio = div(one("m"), one("ft"));
    CHECK(entries_of(ratio) == Entries{{"meter", 1}, {"foot", -1}});
    CHECK(ratio.dimensions == tarvel::NO_DIMENSIONS);
    CHECK_FALSE(has_negative_zero(ratio.dimensions));
    CHECK(ratio.factor == 1.0 / 0.3048);

    const UnitCollection speed_squared = pow(div(one("km"), one("s")), 2.0);
    CHECK(entries_of(speed_squared) == Entries{{"kilometer", 2}, {"second", -2}});
    CHECK(speed_squared.dimensions == Dimensions{0, 0, 0, 0, 0, 2, 0, -2});
    CHECK(speed_squared.factor == 1000000.0);
    CHECK(pow(one("km"), 0.5).factor == std::pow(1000.0, 0.5));
}

TEST_CASE("single and map-built collections carry the aggregates of their units") {
    const UnitCollection hour = one("hr");
    CHECK(entries_of(hour) == Entries{{"hour", 1}});
    CHECK(hour.factor == 3600.0);
    CHECK(hour.dimensions == Dimensions{0, 0, 0, 0, 0, 0, 0, 1});

    tarvel::UnitMap map;
    map.push_back(unit("ft"), 2.0);
    map.push_back(unit("min"), -1.0);
    map.push_back(unit("g"), 0.0);
    const UnitCollection built = UnitCollection::from_single_unit_hashmap(std::move(map));
    CHECK(entries_of(built) == Entries{{"foot", 2}, {"minute", -1}, {"gram", 0}});
    CHECK(built.dimensions == Dimensions{0, 0, 0, 0, 0, 2, 0, -1});
    CHECK(built.factor == std::pow(0.3048, 2.0) * std::pow(60.0, -1.0));
}

TEST_CASE("the product and the quotient remove only units of the right operand that reach zero") {
    SUBCASE("a collection divided by itself is empty") {
        const UnitCollection a = mul(mul(one("kg"), one("m")), pow(one("s"), -2.0));
        const UnitCollection none = div(a, a);
        CHECK(none.unit_map.empty());
        CHECK(none.dimensions == tarvel::NO_DIMENSIONS);
        CHECK_FALSE(has_negative_zero(none.dimensions));
        CHECK(none.factor == 1.0);
    }
    SUBCASE("exponents 2 and -2 of one unit cancel") {
        CHECK(entries_of(mul(pow(one("m"), 2.0), mul(one("s"), pow(one("m"), -2.0)))) ==
              Entries{{"second", 1}});
    }
    SUBCASE("zero-exponent entries of the left operand stay, those of the right one go") {
        const UnitCollection zero_meter = pow(one("m"), 0.0);
        REQUIRE(entries_of(zero_meter) == Entries{{"meter", 0}});
        const UnitCollection left = mul(zero_meter, one("s"));
        const UnitCollection right = mul(one("s"), zero_meter);
        CHECK(entries_of(left) == Entries{{"meter", 0}, {"second", 1}});
        CHECK(entries_of(right) == Entries{{"second", 1}});
        CHECK(left.dimensions == right.dimensions);
        CHECK(left.factor == right.factor);
        CHECK(entries_of(div(zero_meter, one("s"))) == Entries{{"meter", 0}, {"second", -1}});
        CHECK(entries_of(div(one("s"), zero_meter)) == Entries{{"second", 1}});
        // Both hold the unit: the merged exponent is zero and it goes.
        CHECK(mul(zero_meter, zero_meter).unit_map.empty());
        CHECK(entries_of(mul(zero_meter, one("m"))) == Entries{{"meter", 1}});
    }
    SUBCASE("removal keeps the order of the remaining entries") {
        const UnitCollection a = mul(mul(one("kg"), one("m")), one("s"));
        CHECK(entries_of(div(a, one("m"))) == Entries{{"kilogram", 1}, {"second", 1}});
    }
}

TEST_CASE("negative zeros in the dimension vector come out of a product as positive zeros") {
    // Power 0 of a negative component leaves -0.0 behind.
    const UnitCollection frozen = pow(one("Hz"), 0.0);
    REQUIRE(std::signbit(frozen.dimensions[7]));
    CHECK_FALSE(has_negative_zero(mul(frozen, UnitCollection::empty()).dimensions));
    CHECK_FALSE(has_negative_zero(div(frozen, UnitCollection::empty()).dimensions));
    CHECK_FALSE(has_negative_zero(mul(frozen, frozen).dimensions));
}

TEST_CASE("units are the same key when all their fields agree, whatever record holds them") {
    const SingleUnit meter = unit("m");
    const SingleUnit twin = SingleUnit::make("meter", "m", 0.0, 1.0, meter.dimensions());
    CHECK(entries_of(mul(one("m"), UnitCollection::single(twin))) == Entries{{"meter", 2}});
    CHECK(div(UnitCollection::single(twin), one("m")).unit_map.empty());

    const SingleUnit other_symbol = SingleUnit::make("meter", "M", 0.0, 1.0, meter.dimensions());
    CHECK(mul(one("m"), UnitCollection::single(other_symbol)).unit_map.size() == 2);
}

TEST_CASE("products beyond the inline room of the map keep order and cancel correctly") {
    const char* names[] = {"A", "cd", "K", "kg", "m", "mol", "s", "USD", "ft", "lb"};
    UnitCollection all;
    double factor = 1.0;
    for (const char* name : names) {
        all = mul(all, one(name));
        factor *= unit(name).factor();
    }
    CHECK(all.unit_map.size() == 10);
    CHECK(all.factor == factor);
    CHECK(all.unit_map[8].unit.name() == "foot");
    const UnitCollection rest = div(all, mul(mul(one("K"), one("ft")), one("A")));
    CHECK(entries_of(rest) == Entries{{"candela", 1}, {"kilogram", 1}, {"meter", 1}, {"mole", 1},
                                      {"second", 1}, {"USD", 1}, {"pound", 1}});
    const UnitCollection copy = rest;
    CHECK(div(copy, rest).unit_map.empty());
}

TEST_CASE("pow keeps every entry and scales exponents, dimensions and factor") {
    const UnitCollection zero = pow(mul(one("m"), one("s")), 0.0);
    CHECK(entries_of(zero) == Entries{{"meter", 0}, {"second", 0}});
    CHECK(zero.dimensions == tarvel::NO_DIMENSIONS);
    CHECK(zero.factor == 1.0);
    CHECK(pow(one("ft"), 0.0).factor == 1.0);

    const UnitCollection root = pow(one("ft"), -0.5);
    CHECK(entries_of(root) == Entries{{"foot", -0.5}});
    CHECK(root.dimensions[5] == -0.5);
    CHECK(root.factor == std::pow(0.3048, -0.5));
}

TEST_CASE("pow to a non-finite power leaves zero exponents and zero dimensions at zero") {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const UnitCollection meters = pow(one("m"), inf);
    CHECK(meters.dimensions == Dimensions{0, 0, 0, 0, 0, inf, 0, 0});
    CHECK(entries_of(meters) == Entries{{"meter", inf}});

    // A zero-exponent entry next to a real one.
    const UnitCollection mixed = pow(mul(pow(one("s"), 0.0), one("m")), -inf);
    CHECK(mixed.unit_map[0].exponent == 0.0);
    CHECK(mixed.unit_map[1].exponent == -inf);

    const UnitCollection undefined = pow(one("N"), nan);
    for (std::size_t i = 0; i < tarvel::DIMENSION_COUNT; ++i) {
        CAPTURE(i);
        CHECK(std::isnan(undefined.dimensions[i]) == (i == 4 || i == 5 || i == 7));
    }
    CHECK(pow(pow(one("m"), 0.0), nan).unit_map[0].exponent == 0.0);
}

TEST_CASE("offsets of temperature units play no part in the algebra") {
    const UnitCollection celsius = one("°C");
    const UnitCollection product = mul(celsius, one("m"));
    CHECK(product.factor == 1.0);
    CHECK(product.dimensions == Dimensions{0, 0, 0, 1, 0, 1, 0, 0});
    CHECK(product.unit_map[0].unit.offset() == -273.15);
    CHECK(pow(celsius, 2.0).factor == 1.0);
    CHECK(div(one("°F"), celsius).factor == 0.5555555555555556);
}

TEST_CASE("the base units of a collection") {
    const Entries newton_base = {{"USD", 0},      {"ampere", 0}, {"candela", 0}, {"kelvin", 0},
                                 {"kilogram", 1}, {"meter", 1},  {"mole", 0},    {"second", -2}};
    const UnitCollection base = get_base_units(mul(one("kN"), one("hr")));
    CHECK(entries_of(get_base_units(one("N"))) == newton_base);
    CHECK(base.factor == 1.0);
    CHECK(base.dimensions == Dimensions{0, 0, 0, 0, 1, 1, 0, -1});
    CHECK(as_string(get_base_units(one("N"))) == "[kg.m/s2]");

    const UnitCollection none = get_base_units(UnitCollection::empty());
    CHECK(none.unit_map.size() == 8);
    for (const auto& entry : none.unit_map) CHECK(entry.exponent == 0.0);
    CHECK(none.factor == 1.0);
    CHECK(as_string(none) == "[]");
    // The catalogue's base units, not copies that differ somewhere.
    CHECK(none.unit_map[7].unit == unit("s"));
}

TEST_CASE("products, quotients and powers refuse exponents that cannot be represented") {
    struct Case {
        const char* left;
        double left_power;
        const char* right;
        double right_power;
        bool divide;
    };
    const Case cases[] = {
        {"Gy/Sv", 1.0, "Gy", 1e-300, false},  // 1 + 1e-300 == 1
        {"m", 1e-300, "m", -1.0, false},      // the tiny one absorbed on the left
        {"m", 18014398509481984.0, "m", 1.0, true},
        {"m", 1e308, "m", 1e308, false},  // overflow in the map
        {"m", 1e308, "ft", 1e308, false},  // overflow in the dimensions only
    };
    for (const Case& c : cases) {
        CAPTURE(c.left);
        CAPTURE(c.right);
        const UnitCollection a = pow(*UnitCollection::from_unit_name(c.left), c.left_power);
        const UnitCollection b = pow(*UnitCollection::from_unit_name(c.right), c.right_power);
        const auto result = c.divide ? tarvel::checked_div(a, b) : tarvel::checked_mul(a, b);
        REQUIRE_FALSE(result.has_value());
        CHECK(result.error().kind ==
              (c.divide ? tarvel::ErrorKind::QuotientOutOfRange : tarvel::ErrorKind::ProductOutOfRange));
    }
    CHECK_FALSE(tarvel::checked_pow(pow(one("m"), 1e-300), 1e-300).has_value());
    CHECK(tarvel::checked_pow(one("m"), 0.0).has_value());
}

TEST_CASE("a dimension the cache lost to rounding is taken from the map") {
    // 2**53 + 1 == 2**53 in the cached sum; the map keeps the foot, which is all that is left.
    const UnitCollection big = pow(one("m"), 9007199254740992.0);
    const auto length = tarvel::checked_div(*tarvel::checked_mul(big, one("ft")), big);
    REQUIRE(length.has_value());
    CHECK(entries_of(*length) == Entries{{"foot", 1}});
    CHECK(length->dimensions == one("ft").dimensions);
    for (std::size_t k = 0; k < tarvel::DIMENSION_COUNT; ++k) {
        CHECK(tarvel::carried_dimension(length->unit_map, k) == length->dimensions[k]);
    }
    // A rounding of sums taken in another order is kept: the operands' vectors stay comparable.
    const UnitCollection fractional = mul(pow(one("m"), 0.1), pow(one("ft"), 0.2));
    CHECK(tarvel::first_inconsistent_dimension(fractional.unit_map, fractional.dimensions) ==
          tarvel::DIMENSION_COUNT);
}

TEST_CASE("collections of whole exponents keep an exact vector without the exact summation") {
    const UnitCollection parsed = *UnitCollection::from_unit_name("kg.m2/s2.N");
    CHECK(parsed.whole_terms);
    const UnitCollection chain = pow(div(mul(parsed, one("J")), pow(one("ft"), 3.0)), -2.0);
    REQUIRE(chain.whole_terms);
    for (std::size_t k = 0; k < tarvel::DIMENSION_COUNT; ++k) {
        CHECK(tarvel::carried_dimension(chain.unit_map, k) == chain.dimensions[k]);
    }
    // A fractional or huge exponent leaves the vector to the checked path.
    CHECK_FALSE(pow(parsed, 0.5).whole_terms);
    CHECK_FALSE(mul(parsed, pow(one("m"), 9007199254740992.0)).whole_terms);
    CHECK(tarvel::simplify(chain).dimensions == chain.dimensions);
}
