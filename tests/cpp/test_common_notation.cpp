#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "unit/common_notation.hpp"
#include "unit/unit_defs/unit_defs.hpp"

using tarvel::ErrorKind;
using tarvel::NamedUnit;
using tarvel::read_common_notation;
using tarvel::UnitCollection;

namespace {

// The same terms, exponents and factor bit for bit.
bool identical(const UnitCollection& a, const UnitCollection& b) {
    if (a.unit_map.size() != b.unit_map.size() || a.factor != b.factor || a.dimensions != b.dimensions) return false;
    for (std::size_t i = 0; i < a.unit_map.size(); ++i) {
        if (!(a.unit_map[i].unit == b.unit_map[i].unit) || a.unit_map[i].exponent != b.unit_map[i].exponent) {
            return false;
        }
    }
    return true;
}

}  // namespace

TEST_CASE("common notations read as the library's grammar, term for term") {
    const struct {
        std::string text;
        std::string grammar;
    } cases[] = {
        {"kg*m/s^2", "kg.m/s2"},     {"kg m s-2", "kg.m/s2"},   {"J/(kg K)", "J/kg.K"},    {"m/s/s", "m/s2"},
        {"W m-2 K-4", "W/m2.K4"},    {"m²", "m2"},              {"s⁻¹", "1/s"},            {"µm", "um"},
        {"μs", "us"},                {"meters", "m"},           {"h", "hr"},               {"kW h", "kW.hr"},
        {"fl oz/hr", "fl oz/hr"},    {"m per s", "m/s"},        {"degree_Celsius", "°C"},  {"ft**3", "ft3"},
        {"(kg.m)/s2", "kg.m/s2"},    {"g/(km*km)", "g/km.km"},  {"ml", "mL"},              {"dl", "dL"},
    };
    for (const auto& c : cases) {
        CAPTURE(c.text);
        auto read = read_common_notation(c.text);
        REQUIRE(read.has_value());
        auto grammar = UnitCollection::from_unit_name(c.grammar);
        REQUIRE(grammar.has_value());
        CHECK(identical(*read, *grammar));
    }
}

TEST_CASE("refusals: unknown terms, time references, ambiguity and numbers in the units") {
    const struct {
        std::string text;
        ErrorKind kind;
    } cases[] = {
        {"zz", ErrorKind::UnitNotFound},
        {"m.zz/s", ErrorKind::UnitNotFound},
        {"", ErrorKind::UnitNotFound},
        {"days since 2000-01-01", ErrorKind::UnitNotRead},
        {"3m 20cm", ErrorKind::UnitNotRead},
        {"J/kg*K", ErrorKind::UnitNotRead},
        {"J/kg K", ErrorKind::UnitNotRead},
        {"ppt", ErrorKind::UnitNotRead},
        {"m/ppt", ErrorKind::UnitNotRead},
        {"J/(kg.K", ErrorKind::UnitNotRead},
        {"m^", ErrorKind::UnitNotRead},
        {"kms", ErrorKind::UnitNotFound},
        {"µµm", ErrorKind::UnitNotFound},
        {std::string(100000, '(') + "m", ErrorKind::UnitNotRead},
        {std::string(100000, '(') + "m" + std::string(100000, ')'), ErrorKind::UnitNotRead},
    };
    for (const auto& c : cases) {
        CAPTURE(c.text);
        auto read = read_common_notation(c.text);
        REQUIRE_FALSE(read.has_value());
        CHECK(read.error().kind == c.kind);
        CHECK(read.error().first == c.text);
    }
}

TEST_CASE("text that cancels reads as no units, and the CF form reads back") {
    CHECK(read_common_notation("kg kg-1")->unit_map.size() == 0);
    CHECK(read_common_notation("1")->unit_map.size() == 0);
    for (const char* text : {"kg.m/s2", "W/m2.K4", "°C", "km/hr", "fl oz/s"}) {
        CAPTURE(text);
        const UnitCollection units = *UnitCollection::from_unit_name(text);
        auto back = read_common_notation(tarvel::as_cf_string(units));
        REQUIRE(back.has_value());
        CHECK(identical(*back, units));
    }
}

TEST_CASE("a vocabulary adds names, with prefixes only where allowed") {
    const auto dozen = tarvel::SingleUnit::make("dozen", "dz", 0.0, 12.0, {});
    const std::vector<NamedUnit> vocabulary{{"dozen", dozen, true, false}, {"dz", dozen, false, true}};
    CHECK(read_common_notation("dz/hr", vocabulary)->factor == 12.0 / 3600.0);
    CHECK(read_common_notation("kilodozen", vocabulary)->factor == 12000.0);
    CHECK_FALSE(read_common_notation("kdz", vocabulary).has_value());
    CHECK_FALSE(read_common_notation("dz").has_value());
}
