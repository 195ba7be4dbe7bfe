// The unit catalogue, name resolution, logarithmic scales and constants.

#include <doctest/doctest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <latch>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "constant/constants.hpp"
#include "unit/unit_collection.hpp"
#include "unit/unit_defs/log_units.hpp"
#include "unit/unit_defs/unit_defs.hpp"

using namespace tarvel;

namespace {

const UnitDefinition& row_named(std::string_view name) {
    const auto* row = std::find_if(UNITS.begin(), UNITS.end(), [&](const auto& r) { return r.name == name; });
    REQUIRE_MESSAGE(row != UNITS.end(), "no catalogue row named ", std::string(name));
    return *row;
}

bool is_whole_number(double x) { return std::isfinite(x) && x == std::floor(x); }

}  // namespace

TEST_CASE("catalogue rows: landmarks, base units and invariants") {
    CHECK(UNITS.front().name == "USD");
    CHECK(UNITS[33].name == "day");
    CHECK(UNITS[88].name == "darcy");
    CHECK(UNITS[135].name == "link");
    CHECK(UNITS.back().name == "ampere hour");

    const std::string_view base_names[] = {"USD",      "ampere", "candela", "kelvin",
                                           "kilogram", "meter",  "mole",    "second"};
    for (std::size_t i = 0; i < BASE_UNIT_COUNT; ++i) {
        CAPTURE(i);
        const UnitDefinition& base = BASE_UNITS[i];
        const UnitDefinition& row = UNITS[i];
        CHECK(base.name == base_names[i]);
        CHECK(base.name == row.name);
        CHECK(base.symbol == row.symbol);
        CHECK(base.offset == 0.0);
        CHECK(row.offset == 0.0);
        CHECK(base.factor == 1.0);
        CHECK(row.factor == 1.0);
        for (std::size_t d = 0; d < DIMENSION_COUNT; ++d) {
            CHECK(base.dimensions[d] == (d == i ? 1.0 : 0.0));
            CHECK(row.dimensions[d] == base.dimensions[d]);
        }
        // Both tables share one record per base unit.
        CHECK(create_from_unit_def_static(base).record() == create_from_unit_def_static(row).record());
    }

    std::set<std::string_view> offset_rows;
    for (const UnitDefinition& row : UNITS) {
        CAPTURE(std::string(row.name));
        CHECK(std::isfinite(row.factor));
        CHECK(row.factor > 0.0);
        for (double exponent : row.dimensions) CHECK(is_whole_number(exponent));
        if (row.offset != 0.0) offset_rows.insert(row.name);
    }
    CHECK(offset_rows == std::set<std::string_view>{"degree Celsius", "degree Fahrenheit"});
}

TEST_CASE("names are unique and symbols are unique except the day and the darcy") {
    std::set<std::string_view> names;
    std::map<std::string_view, std::vector<std::string_view>> symbols;
    for (const UnitDefinition& row : UNITS) {
        CHECK_MESSAGE(names.insert(row.name).second, "duplicate name ", std::string(row.name));
        symbols[row.symbol].push_back(row.name);
    }
    for (const auto& [symbol, owners] : symbols) {
        CAPTURE(std::string(symbol));
        if (symbol == "d") {
            CHECK(owners == std::vector<std::string_view>{"day", "darcy"});
        } else {
            CHECK(owners.size() == 1);
        }
    }
}

TEST_CASE("aliases are listed in order and each resolves to its canonical unit") {
    const std::string_view expected[][2] = {
        {"metre", "meter"},
        {"deg", "degree (angle)"},
        {"degree", "degree (angle)"},
        {"da", "day"},
        {"tropical year", "year"},
        {"solar year", "year"},
        {"common year", "calendar year"},
        {"AU", "astronomical unit"},
        {"micron", "micrometer"},
        {"cc", "milliliter"},
        {"deg C", "degree Celsius"},
        {"deg F", "degree Fahrenheit"},
        {"deg c", "degree Celsius"},
        {"deg f", "degree Fahrenheit"},
        {"rankine", "Rankine"},
        {"Celsius", "degree Celsius"},
        {"Fahrenheit", "degree Fahrenheit"},
        {"celsius", "degree Celsius"},
        {"fahrenheit", "degree Fahrenheit"},
        {"statute mile", "mile"},
        {"tarvel", "tarvel (mass)"},
        {"speed of light", "light speed"},
        {"lightspeed", "light speed"},
        {"arc minute", "minute (angle)"},
        {"arc second", "second (angle)"},
        {"arc degree", "degree (angle)"},
        {"dalton", "unified atomic mass unit"},
        {"tonne", "metric ton"},
        {"teacup", "gill"},
        {"pole", "rod"},
        {"perch", "rod"},
        {"pound mass", "pound"},
        {"pound-mass", "pound"},
        {"yr", "year"},
        {"au", "astronomical unit"},
        {"l", "liter"},
        {"ml", "milliliter"},
        {"arcmin", "minute (angle)"},
        {"arcminute", "minute (angle)"},
        {"arcsec", "second (angle)"},
        {"arcsecond", "second (angle)"},
        {"mas", "millisecond (angle)"},
        {"uas", "microsecond (angle)"},
        {"Da", "unified atomic mass unit"},
    };
    static_assert(std::size(expected) == UNIT_ALIAS_COUNT);
    for (std::size_t i = 0; i < UNIT_ALIAS_COUNT; ++i) {
        CAPTURE(i);
        CHECK(UNIT_ALIASES[i].alias == expected[i][0]);
        CHECK(UNIT_ALIASES[i].canonical_name == expected[i][1]);
        const auto unit = search_for_unit_name(UNIT_ALIASES[i].alias);
        REQUIRE(unit);
        CHECK(unit->name() == UNIT_ALIASES[i].canonical_name);
    }
}

TEST_CASE("every row resolves by its name and its symbol to its own shared record") {
    for (const UnitDefinition& row : UNITS) {
        CAPTURE(std::string(row.name));
        const SingleUnit expected = create_from_unit_def_static(row);
        CHECK(expected.record()->immortal);
        CHECK(expected.hash() == hash_unit_name(row.name));
        CHECK(expected.name() == row.name);
        CHECK(expected.symbol() == row.symbol);
        CHECK(expected.factor() == row.factor);
        CHECK(expected.offset() == row.offset);
        CHECK(dimensions_equal(expected.dimensions(), row.dimensions));

        const auto by_name = search_for_unit_name(row.name);
        REQUIRE(by_name);
        CHECK(by_name->record() == expected.record());

        // "d" is the day's symbol first; the darcy is reached by name only.
        const auto by_symbol = search_for_unit_name(row.symbol);
        REQUIRE(by_symbol);
        const UnitDefinition& owner = row.symbol == "d" ? row_named("day") : row;
        CHECK(by_symbol->record() == create_from_unit_def_static(owner).record());
    }
}

TEST_CASE("a definition outside the tables gets its own record with the same fields") {
    const UnitDefinition copy = row_named("meter");
    const SingleUnit own = create_from_unit_def_static(copy);
    const SingleUnit row = create_from_unit_def_static(row_named("meter"));
    CHECK_FALSE(own.record()->immortal);
    CHECK(own.record() != row.record());
    CHECK(own == row);
    CHECK(own.hash() == row.hash());
}

TEST_CASE("mended rows") {
    const UnitDefinition& fahrenheit = row_named("degree Fahrenheit");
    CHECK(fahrenheit.offset == -255.3722222222222);
    // A value v in the unit is v * factor - offset kelvin; the offset makes the fixed points exact.
    CHECK(32.0 * fahrenheit.factor - fahrenheit.offset == 273.15);
    CHECK(212.0 * fahrenheit.factor - fahrenheit.offset == 373.15);
    CHECK(fahrenheit.factor == row_named("Rankine").factor);

    const UnitDefinition& psi = row_named("pounds per square inch");
    const double inch = row_named("inch").factor;
    CHECK(psi.factor == 6894.757293168361);
    CHECK(psi.factor == row_named("pound-force").factor / (inch * inch));
    CHECK(dimensions_equal(psi.dimensions, row_named("pascal").dimensions));

    const UnitDefinition& slug = row_named("slug");
    CHECK(slug.factor == 14.593902937206362);
    CHECK(slug.factor == row_named("pound-force").factor / row_named("foot").factor);

    CHECK(row_named("Hartree").factor == 4.359744722206e-18);
}

TEST_CASE("prefix table") {
    for (std::size_t i = 0; i < 8; ++i) {
        CAPTURE(PREFIXES[i].name);
        CHECK(PREFIXES[i].factor == std::ldexp(1.0, 10 * static_cast<int>(i + 1)));
    }
    // Decimal factors are the doubles nearest to the powers of ten, largest first.
    const std::map<std::string_view, int> decimal_powers = {
        {"quetta", 30}, {"ronna", 27}, {"yotta", 24}, {"zetta", 21}, {"exa", 18},    {"peta", 15},
        {"tera", 12},   {"giga", 9},   {"mega", 6},   {"myria", 4},  {"kilo", 3},    {"hecto", 2},
        {"deca", 1},    {"deka", 1},   {"deci", -1},  {"centi", -2}, {"milli", -3},  {"micro", -6},
        {"nano", -9},   {"pico", -12}, {"femto", -15}, {"atto", -18}, {"zepto", -21}, {"yocto", -24},
        {"ronto", -27}, {"quecto", -30},
    };
    for (std::size_t i = 8; i < PREFIX_COUNT; ++i) {
        CAPTURE(PREFIXES[i].name);
        const int power = decimal_powers.at(PREFIXES[i].name);
        const std::string literal = "1e" + std::to_string(power);
        CHECK(PREFIXES[i].factor == std::strtod(literal.c_str(), nullptr));
        if (i > 8) CHECK(PREFIXES[i].factor <= PREFIXES[i - 1].factor);
    }
}

TEST_CASE("resolution of names, symbols, aliases and prefixed units") {
    struct Case {
        std::string_view text, name, symbol;
        double offset, factor;
        std::string_view dimensions_of;  // the row whose dimensions the result carries
    };
    const Case cases[] = {
        // Prefix name or symbol with a unit name or symbol.
        {"km", "kilometer", "km", 0, 1000, "meter"},
        {"kilometer", "kilometer", "km", 0, 1000, "meter"},
        {"kilometre", "kilometer", "km", 0, 1000, "meter"},
        {"mmol", "millimole", "mmol", 0, 0.001, "mole"},
        {"Kim", "kibimeter", "Kim", 0, 1024, "meter"},
        {"kibimetre", "kibimeter", "Kim", 0, 1024, "meter"},
        {"Em", "exameter", "Em", 0, 1e18, "meter"},
        {"Eim", "exbimeter", "Eim", 0, 0x1p60, "meter"},
        {"kkg", "kilokilogram", "kkg", 0, 1000, "kilogram"},
        {"kilokilogram", "kilokilogram", "kkg", 0, 1000, "kilogram"},
        {"mg", "milligram", "mg", 0, 1e-6, "kilogram"},
        {"millilight speed", "millilight speed", "mc", 0, 299792458.0 * 0.001, "light speed"},
        {"millidegree", "millidegree (angle)", "m°", 0, 0.017453292519943295 * 0.001, "degree (angle)"},
        {"kilotonne", "kilometric ton", "kt", 0, 1e6, "metric ton"},
        {"myriameter", "myriameter", "myriam", 0, 1e4, "meter"},
        {"kΩ", "kiloohm", "kΩ", 0, 1000, "ohm"},
        {"ufl oz", "microfluid ounce", "ufl oz", 0, 2.9573529562499998e-05 * 1e-6, "fluid ounce"},
        {"kpsi", "kilopounds per square inch", "kpsi", 0, 6894.757293168361 * 1000, "pascal"},
        // Deca (tried first) and deka share a symbol but are different prefixes.
        {"dam", "decameter", "dam", 0, 10, "meter"},
        {"decameter", "decameter", "dam", 0, 10, "meter"},
        {"dekameter", "dekameter", "dam", 0, 10, "meter"},
        {"dm", "decimeter", "dm", 0, 0.1, "meter"},
        // Aliases of prefixed names resolve through the prefix step.
        {"micron", "micrometer", "um", 0, 1e-6, "meter"},
        {"um", "micrometer", "um", 0, 1e-6, "meter"},
        {"cc", "milliliter", "mL", 0, 1e-6, "liter"},
        // Whole aliases, names and symbols win over prefix splits.
        {"da", "day", "d", 0, 86400, "day"},
        {"d", "day", "d", 0, 86400, "day"},
        {"darcy", "darcy", "d", 0, 9.869232667160128e-13, "darcy"},
        {"min", "minute", "min", 0, 60, "minute"},
        {"ft", "foot", "ft", 0, 0.3048, "foot"},
        {"Pa", "pascal", "Pa", 0, 1, "pascal"},
        {"cd", "candela", "cd", 0, 1, "candela"},
        {"ct", "carat", "ct", 0, 0.0002, "carat"},
        {"kg", "kilogram", "kg", 0, 1, "kilogram"},
        {"nmi", "nautical mile", "nmi", 0, 1852, "nautical mile"},
        {"mHg", "meter of mercury", "mHg", 0, 133322.387415, "meter of mercury"},
        {"hr", "hour", "hr", 0, 3600, "hour"},
        {"AU", "astronomical unit", "ua", 0, 149597870700, "astronomical unit"},
        {"''", "second (angle)", "''", 0, 4.84813681109536e-06, "second (angle)"},
        // Offsets are kept on whole matches.
        {"Celsius", "degree Celsius", "°C", -273.15, 1, "kelvin"},
        {"°C", "degree Celsius", "°C", -273.15, 1, "kelvin"},
        {"deg F", "degree Fahrenheit", "°F", -255.3722222222222, 0.5555555555555556, "kelvin"},
    };
    for (const Case& c : cases) {
        CAPTURE(std::string(c.text));
        const auto unit = search_for_unit_name(c.text);
        REQUIRE(unit);
        CHECK(unit->name() == c.name);
        CHECK(unit->symbol() == c.symbol);
        CHECK(unit->offset() == c.offset);
        CHECK(unit->factor() == c.factor);
        CHECK(dimensions_equal(unit->dimensions(), row_named(c.dimensions_of).dimensions));
        CHECK(unit->hash() == hash_unit_name(c.name));
        CHECK(unit->record()->immortal);
    }
}

TEST_CASE("texts that resolve to no unit") {
    const std::string_view misses[] = {
        "",
        " m",                  // nothing is trimmed
        "m ",
        "KM",                  // case matters
        "Km",                  // the kibi symbol is "Ki"
        "Meter",
        "meters",
        "µm",                  // micro is the ASCII "u"
        "kilom",               // a prefix name needs a unit name...
        "kmeter",              // ...and a prefix symbol a unit symbol
        "kmetre",              // aliases do not follow a symbol prefix
        "ktonne",
        "mdeg C",
        "myriam",              // "myria" matched as a name, so its symbol is not tried
        "m°C",                 // prefixed units with an offset
        "k°F",
        "kilodegree Celsius",
        "kiloCelsius",
        "k",                   // a prefix alone
        "kilo",
        "h",
        "da m",
        "kilomicron",          // an alias to a prefixed name cannot take another prefix
        "kkm",                 // prefixes do not stack
        "kilokilometer",
        "Kikm",
        "kg.m/s2",             // an expression is not a single unit
    };
    for (std::string_view text : misses) {
        CAPTURE(std::string(text));
        CHECK_FALSE(search_for_unit_name(text).has_value());
    }
}

TEST_CASE("every prefix name combines with every unit name that has no offset") {
    std::set<std::string_view> names;
    for (const UnitDefinition& row : UNITS) names.insert(row.name);
    // No prefix name begins another, so the prefix found is the one written, unless the whole text is
    // itself a catalogue name ("kilogram").
    for (std::size_t p = 0; p < PREFIX_COUNT; ++p) {
        const PrefixDefinition& prefix = PREFIXES[p];
        for (const UnitDefinition& row : UNITS) {
            const std::string text = std::string(prefix.name) + std::string(row.name);
            CAPTURE(text);
            const auto unit = search_for_unit_name(text);
            if (row.offset != 0.0) {
                CHECK_FALSE(unit.has_value());
                continue;
            }
            REQUIRE(unit);
            if (names.contains(text)) {
                CHECK(unit->record() == create_from_unit_def_static(row_named(text)).record());
                continue;
            }
            CHECK(unit->name() == text);
            CHECK(unit->symbol() == std::string(prefix.symbol) + std::string(row.symbol));
            CHECK(unit->offset() == 0.0);
            CHECK(unit->factor() == row.factor * prefix.factor);
            CHECK(dimensions_equal(unit->dimensions(), row.dimensions));
        }
    }
}

TEST_CASE("prefixed units are interned") {
    const auto first = search_for_unit_name("km");
    const auto second = search_for_unit_name("km");
    const auto by_name = search_for_unit_name("kilometer");
    const auto by_alias = search_for_unit_name("kilometre");
    REQUIRE((first && second && by_name && by_alias));
    CHECK(first->record() == second->record());
    CHECK(by_name->record() == first->record());
    CHECK(by_alias->record() == first->record());

    const auto deca = search_for_unit_name("dam");
    const auto deka = search_for_unit_name("dekameter");
    REQUIRE((deca && deka));
    CHECK(deca->record() != deka->record());
    CHECK_FALSE(*deca == *deka);
}

TEST_CASE("concurrent resolution agrees on one record per prefixed unit") {
    // Texts no other test resolves, so the threads race to create their records.
    const std::string_view texts[] = {"quectoparsec", "Yiyd", "ronnaacre", "zeptofurlong", "Qjfy",
                                      "attojiffy",    "Zigr", "yottashed", "qrod",         "Pimol"};
    constexpr int THREADS = 8;
    std::vector<std::vector<const UnitRecord*>> seen(THREADS);
    std::latch start(THREADS);
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            for (std::string_view text : texts) {
                const auto unit = search_for_unit_name(text);
                seen[t].push_back(unit ? unit->record() : nullptr);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (std::size_t i = 0; i < std::size(texts); ++i) {
        CAPTURE(std::string(texts[i]));
        REQUIRE(seen[0][i] != nullptr);
        for (int t = 1; t < THREADS; ++t) CHECK(seen[t][i] == seen[0][i]);
    }
}

TEST_CASE("logarithmic scales") {
    struct Case {
        std::string_view text, name;
    };
    const Case hits[] = {
        {"B", "bel"},     {"bel", "bel"},     {"dB", "decibel"},   {"decibel", "decibel"},
        {"Np", "neper"},  {"neper", "neper"}, {"stn", "semitone"}, {"semitone", "semitone"},
    };
    for (const Case& c : hits) {
        CAPTURE(std::string(c.text));
        const auto unit = search_for_log_unit_name(c.text);
        REQUIRE(unit);
        CHECK(unit->name == c.name);
    }
    for (std::string_view text : {"db", "DB", "Bel", "Neper", "nepers", "dBm", "cB", "", " dB"}) {
        CAPTURE(std::string(text));
        CHECK_FALSE(search_for_log_unit_name(text).has_value());
    }
    CHECK(search_for_log_unit_name("bel")->base == 10.0);
    CHECK(search_for_log_unit_name("Np")->base == std::exp(1.0));
    CHECK(std::pow(search_for_log_unit_name("dB")->base, 10) == doctest::Approx(10.0).epsilon(1e-15));
    CHECK(std::pow(search_for_log_unit_name("stn")->base, 12) == doctest::Approx(2.0).epsilon(1e-15));
}

TEST_CASE("constants: names, aliases and misses") {
    for (const Constant& constant : CONSTANTS) {
        CAPTURE(std::string(constant.name));
        CHECK(search_for_constant_name(constant.name) == &constant);
    }
    std::set<std::string_view> aliases;
    for (const ConstantAlias& alias : CONSTANT_ALIASES) {
        CAPTURE(std::string(alias.alias));
        CHECK(aliases.insert(alias.alias).second);
        const Constant* found = search_for_constant_name(alias.alias);
        REQUIRE(found != nullptr);
        CHECK(found->name == alias.constant_name);
    }
    struct Case {
        std::string_view text, name;
    };
    const Case hits[] = {
        {"c", "light speed"},
        {"speed of light", "light speed"},
        {"lightspeed", "light speed"},
        {"N_A", "avogadro's constant"},
        {"avogadro", "avogadro's constant"},
        {"avogadro's number", "avogadro's constant"},
        {"stefan boltzmann", "stefan-boltzmann constant"},
        {"stefan-boltzmann", "stefan-boltzmann constant"},
        {"planck", "planck's constant"},
    };
    for (const Case& c : hits) {
        CAPTURE(std::string(c.text));
        const Constant* found = search_for_constant_name(c.text);
        REQUIRE(found != nullptr);
        CHECK(found->name == c.name);
    }
    for (std::string_view text :
         {"Avogadro", "planck constant", " c", "c ", "", "Light speed", "kc", "m", "meter"}) {
        CAPTURE(std::string(text));
        CHECK(search_for_constant_name(text) == nullptr);
    }
}

TEST_CASE("constants agree with the units that share their values") {
    CHECK(search_for_constant_name("light speed")->value == row_named("light speed").factor);
    CHECK(search_for_constant_name("electron charge")->value == row_named("electronvolt").factor);
    CHECK(search_for_constant_name("earth gravity")->value == row_named("kilogram force").factor);
}

TEST_CASE("every constant's unit text is made of resolvable units and parses") {
    for (const Constant& constant : CONSTANTS) {
        CAPTURE(std::string(constant.name));
        CAPTURE(std::string(constant.unit));
        // Terms are separated by '.' and '/', each a unit followed by an optional integer exponent.
        std::string_view rest = constant.unit;
        while (!rest.empty()) {
            const std::size_t end = rest.find_first_of("./");
            std::string_view term = rest.substr(0, end);
            rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
            while (!term.empty() && term.back() >= '0' && term.back() <= '9') term.remove_suffix(1);
            if (term.empty()) continue;  // the "1" of "1/mol"
            CAPTURE(std::string(term));
            CHECK(search_for_unit_name(term).has_value());
        }
        const auto units = UnitCollection::from_unit_name(constant.unit);
        REQUIRE(units.has_value());
        CHECK_FALSE(units->unit_map.empty());
    }
    // meter^3 / (kilogram second^2)
    const auto gravitational =
        UnitCollection::from_unit_name(search_for_constant_name("gravitational constant")->unit);
    REQUIRE(gravitational.has_value());
    CHECK(dimensions_equal(gravitational->dimensions, Dimensions{0, 0, 0, 0, -1, 3, 0, -2}));
}
