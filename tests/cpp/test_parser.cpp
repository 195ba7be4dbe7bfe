#include <doctest/doctest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "collection_support.hpp"
#include "unit/unit_collection.hpp"

using tarvel::Dimensions;
using tarvel::UnitCollection;
using test_support::Entries;
using test_support::entries_of;

namespace {

UnitCollection parse(const std::string& text) {
    auto parsed = UnitCollection::from_unit_name(text);
    REQUIRE_MESSAGE(parsed.has_value(), "\"" << text << "\" did not parse");
    return *parsed;
}

}  // namespace

TEST_CASE("unit expressions parse into units with exponents, in text order") {
    const struct {
        std::string text;
        Entries entries;
    } cases[] = {
        {"kg.m/s2", {{"kilogram", 1}, {"meter", 1}, {"second", -2}}},
        {"1/s", {{"second", -1}}},
        {"/s", {{"second", -1}}},
        {"m/", {{"meter", 1}}},
        {"m.", {{"meter", 1}}},
        {"1.m/1", {{"meter", 1}}},
        {"W/m2.K4", {{"watt", 1}, {"meter", -2}, {"kelvin", -4}}},
        {"J/K.mol", {{"joule", 1}, {"kelvin", -1}, {"mole", -1}}},
        {"ft.lb", {{"foot", 1}, {"pound", 1}}},
        {"km2", {{"kilometer", 2}}},
        {"m.m", {{"meter", 2}}},
        {"m2/m", {{"meter", 1}}},
        {"m1", {{"meter", 1}}},
        {"m9", {{"meter", 9}}},
        // A zero exponent is dropped by the product, so a later term starts afresh.
        {"m0.s", {{"second", 1}}},
        {"m.m0", {{"meter", 1}}},
        {"m.kg/s2", {{"meter", 1}, {"kilogram", 1}, {"second", -2}}},
        {"fl oz/hr", {{"fluid ounce", 1}, {"hour", -1}}},
        {"fl oz (food)", {{"fluid ounce (food)", 1}}},
        {"kilometre.°C/da", {{"kilometer", 1}, {"degree Celsius", 1}, {"day", -1}}},
    };
    for (const auto& c : cases) {
        CAPTURE(c.text);
        CHECK(entries_of(parse(c.text)) == c.entries);
    }
}

TEST_CASE("the parser keeps the dimension vector and the factor in step with the terms") {
    const UnitCollection force = parse("kg.m/s2");
    CHECK(force.dimensions == Dimensions{0, 0, 0, 0, 1, 1, 0, -2});
    CHECK(force.factor == 1.0);

    // Meter cancels in the dimensions: the component is a positive zero.
    const UnitCollection flux = parse("W/m2.K4");
    CHECK(flux.dimensions == Dimensions{0, 0, 0, -4, 1, 0, 0, -3});
    CHECK_FALSE(std::signbit(flux.dimensions[5]));

    CHECK(parse("ft.lb").factor == 0.3048 * 0.45359237);
    CHECK(parse("km2").factor == 1000000.0);
    CHECK(parse("km/hr").factor == 1000.0 / 3600.0);
    CHECK(parse("m.kg/s2").dimensions == force.dimensions);
    // The factor is carried arithmetically from the terms, with the units' offsets ignored.
    const UnitCollection celsius = parse("°C2");
    CHECK(celsius.factor == 1.0);
    CHECK(celsius.dimensions == Dimensions{0, 0, 0, 2, 0, 0, 0, 0});
}

TEST_CASE("the whole text is looked up before it is trimmed and split") {
    // Names, symbols and aliases with spaces or parentheses are found whole.
    CHECK(entries_of(parse("fl oz")) == Entries{{"fluid ounce", 1}});
    CHECK(entries_of(parse("hundredweight (imp)")) == Entries{{"hundredweight (imperial)", 1}});
    CHECK(entries_of(parse("speed of light")) == Entries{{"light speed", 1}});
}

TEST_CASE("white space around the whole expression is trimmed, also non-ASCII white space") {
    const char* spaces[] = {" ",          "\t",         "\n",         "\v",         "\f",
                            "\r",         "\u0085",     "\u00a0",     "\u1680",     "\u2000",
                            "\u2005",     "\u200a",     "\u2028",     "\u2029",     "\u202f",
                            "\u205f",     "\u3000",     " \u3000\t "};
    for (const char* space : spaces) {
        const std::string text = std::string(space) + "m/s" + space;
        CAPTURE(text);
        CHECK(entries_of(parse(text)) == Entries{{"meter", 1}, {"second", -1}});
        CHECK(entries_of(parse(std::string(space) + "fl oz")) == Entries{{"fluid ounce", 1}});
    }
    // Characters that look blank but are not white space stay, and the unit is then not found.
    const char* not_spaces[] = {"\u200b", "\u180e", "\u2060", "\x1c", "\u00ad"};
    for (const char* other : not_spaces) {
        const std::string text = std::string(other) + "m" + other;
        CAPTURE(text);
        CHECK_FALSE(UnitCollection::from_unit_name(text).has_value());
    }
}

TEST_CASE("a text that is not a unit expression parses to nothing") {
    const std::string rejected[] = {
        "", " ", "\u3000", "1", "1/1", "/", "./.",
        // cancelled or only zero exponents
        "m/m", "m2/m.m", "m0", "m0/s0",
        // two or more "/"
        "m/s/kg", "m//s", "/m/",
        // terms are not trimmed
        "kg . m", "m /s",
        // unreadable terms fail the whole expression instead of being dropped
        "m.zz/s", "zz", "kg.m/sec2", "N.m.2", "2", "11", "kg.m/s10", "m12", "s-2", "m²", "m2x", "m2 /s",
        "m.s²", "m-1", "m.5", "m2.5", "m²2", "1m",
        // symbols are case sensitive
        "KM", "Meter",
    };
    for (const std::string& text : rejected) {
        CAPTURE(text);
        CHECK_FALSE(UnitCollection::from_unit_name(text).has_value());
    }
}
