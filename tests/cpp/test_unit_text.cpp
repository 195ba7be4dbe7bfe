#include <doctest/doctest.h>

#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "unit/unit_collection.hpp"
#include "unit/unit_defs/unit_defs.hpp"

using tarvel::SingleUnit;
using tarvel::UnitCollection;

namespace {

SingleUnit unit(std::string_view name) {
    auto found = tarvel::search_for_unit_name(name);
    REQUIRE(found.has_value());
    return *found;
}

SingleUnit custom(std::string name, std::string symbol) {
    return SingleUnit::make(std::move(name), std::move(symbol), 0.0, 1.0, tarvel::NO_DIMENSIONS);
}

UnitCollection collection(std::vector<std::pair<SingleUnit, double>> entries) {
    tarvel::UnitMap map;
    for (auto& [u, exponent] : entries) map.push_back(std::move(u), exponent);
    return UnitCollection::from_single_unit_hashmap(std::move(map));
}

struct Forms {
    std::string plain;
    std::string latex;
    std::string descriptive;
};

Forms forms_of(const UnitCollection& units) {
    return {as_string(units), as_latex(units), as_descriptive_string(units)};
}

void check_forms(const UnitCollection& units, const Forms& expected) {
    const Forms actual = forms_of(units);
    CHECK(actual.plain == expected.plain);
    CHECK(actual.latex == expected.latex);
    CHECK(actual.descriptive == expected.descriptive);
}

}  // namespace

TEST_CASE("the three text forms of a collection") {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        const char* label;
        std::vector<std::pair<SingleUnit, double>> entries;
        Forms forms;
    } cases[] = {
        {"force", {{unit("s"), -2}, {unit("m"), 1}, {unit("kg"), 1}},
         {"[kg.m/s2]", "\\mathrm{\\frac{kg~m}{s^2}}", "[kilogram.meter/second2]"}},
        {"frequency", {{unit("s"), -1}}, {"[1/s]", "\\mathrm{\\frac{1}{s}}", "[1/second]"}},
        {"area", {{unit("m"), 2}}, {"[m2]", "\\mathrm{m^2}", "[meter2]"}},
        {"root", {{unit("m"), 0.5}}, {"[m0.5]", "\\mathrm{m^0.5}", "[meter0.5]"}},
        {"fraction below", {{unit("m"), 1}, {unit("s"), -1.5}},
         {"[m/s1.5]", "\\mathrm{\\frac{m}{s^1.5}}", "[meter/second1.5]"}},
        // Each form sorts its own terms: "N" < "m", but "meter" < "newton".
        {"torque", {{unit("N"), 1}, {unit("m"), 1}}, {"[N.m]", "\\mathrm{N~m}", "[meter.newton]"}},
        // The sort sees the finished term: "m2" < "mol".
        {"sorted with exponent", {{unit("mol"), 1}, {unit("m"), 2}},
         {"[m2.mol]", "\\mathrm{m^2~mol}", "[meter2.mole]"}},
        {"non-ASCII after ASCII", {{unit("°C"), 1}, {unit("m"), 1}, {unit("K"), 1}},
         {"[K.m.°C]", "\\mathrm{K~m~°C}", "[degree Celsius.kelvin.meter]"}},
        {"empty", {}, {"[]", "\\mathrm{}", "[]"}},
        {"only zero and NaN exponents", {{unit("m"), 0.0}, {unit("s"), -0.0}, {unit("kg"), nan}},
         {"[]", "\\mathrm{}", "[]"}},
        {"zero next to a term",
         {{unit("m"), 0.0}, {unit("s"), -1}},
         {"[1/s]", "\\mathrm{\\frac{1}{s}}", "[1/second]"}},
        {"exponents in the number format",
         {{unit("m"), 20}, {unit("s"), 1.0000000000000002}, {unit("A"), 1e-7}, {unit("K"), -1.0 / 3.0}},
         {"[A0.0000001.m20.s1.0000000000000002/K0.3333333333333333]",
          "\\mathrm{\\frac{A^0.0000001~m^20~s^1.0000000000000002}{K^0.3333333333333333}}",
          "[ampere0.0000001.meter20.second1.0000000000000002/kelvin0.3333333333333333]"}},
        {"infinite exponents", {{unit("m"), inf}, {unit("s"), -inf}},
         {"[minf/sinf]", "\\mathrm{\\frac{m^inf}{s^inf}}", "[meterinf/secondinf]"}},
        {"symbols as they are", {{unit("fl oz (food)"), 1}, {unit("'"), -1}},
         {"[fl oz (food)/']", "\\mathrm{\\frac{fl oz (food)}{'}}", "[fluid ounce (food)/minute (angle)]"}},
    };
    for (const auto& c : cases) {
        CAPTURE(c.label);
        check_forms(collection(c.entries), c.forms);
    }
}

TEST_CASE("terms sort bytewise, upper case before lower case") {
    const UnitCollection units = collection(
        {{custom("b", "b"), 1}, {custom("a2", "a2"), 1}, {custom("B", "B"), 1}, {custom("a", "a"), 3}});
    // "a3" sorts after "a2"; upper case first.
    CHECK(as_string(units) == "[B.a2.a3.b]");
}

TEST_CASE("many terms are all sorted") {
    std::vector<std::pair<SingleUnit, double>> entries;
    std::string expected_numerator;
    std::string expected_denominator;
    for (char c = 'z'; c >= 'k'; --c) {
        entries.emplace_back(custom(std::string(1, c), std::string(1, c)), c % 2 ? 1.0 : -1.0);
    }
    for (char c = 'k'; c <= 'z'; ++c) {
        std::string& side = c % 2 ? expected_numerator : expected_denominator;
        if (!side.empty()) side += '.';
        side += c;
    }
    CHECK(as_string(collection(std::move(entries))) ==
          "[" + expected_numerator + "/" + expected_denominator + "]");
}

TEST_CASE("a side whose terms join to nothing counts as empty") {
    const SingleUnit blank = custom("blank", "");
    CHECK(as_string(collection({{blank, -1}})) == "[]");
    CHECK(as_latex(collection({{blank, -1}, {unit("m"), 1}})) == "\\mathrm{m}");
    CHECK(as_string(collection({{blank, 1}, {unit("s"), -1}})) == "[1/s]");
    CHECK(as_descriptive_string(collection({{blank, 1}, {unit("s"), -1}})) == "[blank/second]");
    CHECK(as_string(collection({{blank, 2}, {unit("s"), -1}})) == "[2/s]");
}

TEST_CASE("parsed expressions print back in sorted order") {
    const struct {
        const char* text;
        const char* plain;
    } cases[] = {
        {"kg.m/s2", "[kg.m/s2]"}, {"m.kg/s2", "[kg.m/s2]"}, {"1/s", "[1/s]"},
        {"W/m2.K4", "[W/K4.m2]"}, {"km/hr", "[km/hr]"},     {"fl oz/hr", "[fl oz/hr]"},
    };
    for (const auto& c : cases) {
        CAPTURE(c.text);
        const auto parsed = UnitCollection::from_unit_name(c.text);
        REQUIRE(parsed.has_value());
        CHECK(as_string(*parsed) == c.plain);
    }
}
