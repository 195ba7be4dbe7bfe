#include "unit/unit_defs/unit_defs.hpp"

#include <atomic>
#include <bit>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "error/tarvel_error.hpp"

namespace tarvel {

// Row order matters: lookups take the first row that matches.
constexpr std::array<UnitDefinition, UNIT_COUNT> UNITS{{
    {"USD", "USD", 0, 1, {1, 0, 0, 0, 0, 0, 0, 0}},
    {"ampere", "A", 0, 1, {0, 1, 0, 0, 0, 0, 0, 0}},
    {"candela", "cd", 0, 1, {0, 0, 1, 0, 0, 0, 0, 0}},
    {"kelvin", "K", 0, 1, {0, 0, 0, 1, 0, 0, 0, 0}},
    {"kilogram", "kg", 0, 1, {0, 0, 0, 0, 1, 0, 0, 0}},
    {"meter", "m", 0, 1, {0, 0, 0, 0, 0, 1, 0, 0}},
    {"mole", "mol", 0, 1, {0, 0, 0, 0, 0, 0, 1, 0}},
    {"second", "s", 0, 1, {0, 0, 0, 0, 0, 0, 0, 1}},
    {"gram", "g", 0, 0.001, {0, 0, 0, 0, 1, 0, 0, 0}},
    {"radian", "rad", 0, 1, {0, 0, 0, 0, 0, 0, 0, 0}},
    {"steradian", "sr", 0, 1, {0, 0, 0, 0, 0, 0, 0, 0}},
    {"hertz", "Hz", 0, 1, {0, 0, 0, 0, 0, 0, 0, -1}},
    {"newton", "N", 0, 1, {0, 0, 0, 0, 1, 1, 0, -2}},
    {"pascal", "Pa", 0, 1, {0, 0, 0, 0, 1, -1, 0, -2}},
    {"joule", "J", 0, 1, {0, 0, 0, 0, 1, 2, 0, -2}},
    {"watt", "W", 0, 1, {0, 0, 0, 0, 1, 2, 0, -3}},
    {"coulomb", "C", 0, 1, {0, 1, 0, 0, 0, 0, 0, 1}},
    {"volt", "V", 0, 1, {0, -1, 0, 0, 1, 2, 0, -3}},
    {"farad", "F", 0, 1, {0, 2, 0, 0, -1, -2, 0, 4}},
    {"ohm", "Ω", 0, 1, {0, -2, 0, 0, 1, 2, 0, -3}},
    {"siemens", "S", 0, 1, {0, 2, 0, 0, -1, -2, 0, 3}},
    {"weber", "Wb", 0, 1, {0, -1, 0, 0, 1, 2, 0, -2}},
    {"tesla", "T", 0, 1, {0, -1, 0, 0, 1, 0, 0, -2}},
    {"hour", "hr", 0, 3600, {0, 0, 0, 0, 0, 0, 0, 1}},
    {"henry", "H", 0, 1, {0, -2, 0, 0, 1, 2, 0, -2}},
    {"degree Celsius", "°C", -273.15, 1, {0, 0, 0, 1, 0, 0, 0, 0}},
    {"lumen", "lm", 0, 1, {0, 0, 1, 0, 0, 0, 0, 0}},
    {"lux", "lx", 0, 1, {0, 0, 1, 0, 0, -2, 0, 0}},
    {"becquerel", "Bq", 0, 1, {0, 0, 0, 0, 0, 0, 0, -1}},
    {"gray", "Gy", 0, 1, {0, 0, 0, 0, 0, 2, 0, -2}},
    {"sievert", "Sv", 0, 1, {0, 0, 0, 0, 0, 2, 0, -2}},
    {"katal", "kat", 0, 1, {0, 0, 0, 0, 0, 0, 1, -1}},
    {"minute", "min", 0, 60, {0, 0, 0, 0, 0, 0, 0, 1}},
    {"day", "d", 0, 86400, {0, 0, 0, 0, 0, 0, 0, 1}},
    {"degree (angle)", "°", 0, 0.017453292519943295, {0, 0, 0, 0, 0, 0, 0, 0}},
    {"minute (angle)", "'", 0, 0.0002908882086657216, {0, 0, 0, 0, 0, 0, 0, 0}},
    {"second (angle)", "''", 0, 4.84813681109536e-06, {0, 0, 0, 0, 0, 0, 0, 0}},
    {"liter", "L", 0, 0.001, {0, 0, 0, 0, 0, 3, 0, 0}},
    {"metric ton", "t", 0, 1000, {0, 0, 0, 0, 1, 0, 0, 0}},
    {"electronvolt", "eV", 0, 1.602176634e-19, {0, 0, 0, 0, 1, 2, 0, -2}},
    {"unified atomic mass unit", "amu", 0, 1.66053906892e-27, {0, 0, 0, 0, 1, 0, 0, 0}},
    {"foot", "ft", 0, 0.3048, {0, 0, 0, 0, 0, 1, 0, 0}},
    {"mile", "mi", 0, 1609.344, {0, 0, 0, 0, 0, 1, 0, 0}},
    {"nautical mile", "nmi", 0, 1852, {0, 0, 0, 0, 0, 1, 0, 0}},
    {"knot", "kn", 0, 0.5144444444444445, {0, 0, 0, 0, 0, 1, 0, -1}},
    {"are", "are", 0, 100, {0, 0, 0, 0, 0, 2, 0, 0}},
    {"bar", "bar", 0, 100000, {0, 0, 0, 0, 1, -1, 0, -2}},
    {"angstrom", "Å", 0, 1e-10, {0, 0, 0, 0, 0, 1, 0, 0}},
    {"barn", "b", 0, 1e-28, {0, 0, 0, 0, 0, 2, 0, 0}},
    {"curie", "Ci", 0, 37000000000, {0, 0, 0, 0, 0, 0, 0, -1}},
    {"roentgen", "R", 0, 0.000258, {0, 1, 0, 0, -1, 0, 0, 1}},
    {"rem", "rem", 0, 0.01, {0, 0, 0, 0, 0, 2, 0, -2}},
    {"pound", "lb", 0, 0.45359237, {0, 0, 0, 0, 1, 0, 0, 0}},
    {"inch", "in", 0, 0.0254, {0, 0, 0, 0, 0, 1, 0, 0}},
    {"yard", "yd", 0, 0.9144, {0, 0, 0, 0, 0, 1, 0, 0}},
    {"pound-mol", "lbmol", 0, 453.59237, {0, 0, 0, 0, 0, 0, 1, 0}},
    {"gallon", "gal", 0, 0.0037854117839999997, {0, 0, 0, 0, 0, 3, 0, 0}},
    {"pound-force", "lbf", 0, 4.4482216152605, {0, 0, 0, 0, 1, 1, 0, -2}},
    {"grain", "gr", 0, 6.479891000000001e-05, {0, 0, 0, 0, 1, 0, 0, 0}},
    {"slug", "slug", 0, 14.593902937206362, {0, 0, 0, 0, 1, 0, 0, 0}},
    {"fluid ounce", "fl oz", 0, 2.9573529562499998e-05, {0, 0, 0, 0, 0, 3, 0, 0}},
    {"quart", "qt", 0, 0.0009463529459999999, {0, 0, 0, 0, 0, 3, 0, 0}},
    {"pint", "pt", 0, 0.00047317647299999996, {0, 0, 0, 0, 0, 3, 0, 0}},
    {"cup", "cup", 0, 0.00023658823649999998, {0, 0, 0, 0, 0, 3, 0, 0}},
    {"tablespoon", "tbsp", 0, 1.4786764781249999e-05, {0, 0, 0, 0, 0, 3, 0, 0}},
    {"teaspoon", "tsp", 0, 4.92892159375e-06, {0, 0, 0, 0, 0, 3, 0, 0}},
    {"ton", "ton", 0, 907.18474, {0, 0, 0, 0, 1, 0, 0, 0}},
    {"ounce", "oz", 0, 0.028349523125, {0, 0, 0, 0, 1, 0, 0, 0}},
    {"atmosphere", "atm", 0, 101325, {0, 0, 0, 0, 1, -1, 0, -2}},
    {"torr", "torr", 0, 133.32236842105263, {0, 0, 0, 0, 1, -1, 0, -2}},
    {"pounds per square inch", "psi", 0, 6894.757293168361, {0, 0, 0, 0, 1, -1, 0, -2}},
    {"calorie", "cal", 0, 4.184, {0, 0, 0, 0, 1, 2, 0, -2}},
    {"erg", "erg", 0, 1e-07, {0, 0, 0, 0, 1, 2, 0, -2}},
    {"british thermal unit", "BTU", 0, 1054.35, {0, 0, 0, 0, 1, 2, 0, -2}},
    {"horsepower", "hp", 0, 745.6998715822701, {0, 0, 0, 0, 1, 2, 0, -3}},
    {"Hartree", "hartree", 0, 4.359744722206e-18, {0, 0, 0, 0, 1, 2, 0, -2}},
    {"poise", "P", 0, 0.1, {0, 0, 0, 0, 1, -1, 0, -1}},
    {"Rankine", "°R", 0, 0.5555555555555556, {0, 0, 0, 1, 0, 0, 0, 0}},
    {"degree Fahrenheit", "°F", -255.3722222222222, 0.5555555555555556, {0, 0, 0, 1, 0, 0, 0, 0}},
    {"year", "y", 0, 31556925.9746784, {0, 0, 0, 0, 0, 0, 0, 1}},
    {"week", "wk", 0, 604800, {0, 0, 0, 0, 0, 0, 0, 1}},
    {"month", "mo", 0, 2629743.8312232, {0, 0, 0, 0, 0, 0, 0, 1}},
    {"lightyear", "ly", 0, 9460730472580800, {0, 0, 0, 0, 0, 1, 0, 0}},
    {"acre", "ac", 0, 4046.8564224, {0, 0, 0, 0, 0, 2, 0, 0}},
    {"hectare", "ha", 0, 10000, {0, 0, 0, 0, 0, 2, 0, 0}},
    {"carat", "ct", 0, 0.0002, {0, 0, 0, 0, 1, 0, 0, 0}},
    {"watt hour", "Wh", 0, 3600, {0, 0, 0, 0, 1, 2, 0, -2}},
    {"cent", "¢", 0, 0.01, {1, 0, 0, 0, 0, 0, 0, 0}},
    {"darcy", "d", 0, 9.869232667160128e-13, {0, 0, 0, 0, 0, 2, 0, 0}},
    {"dyne", "dyn", 0, 1e-05, {0, 0, 0, 0, 1, 1, 0, -2}},
    {"astronomical unit", "ua", 0, 149597870700, {0, 0, 0, 0, 0, 1, 0, 0}},
    {"sidereal year", "syr", 0, 31558149.7635456, {0, 0, 0, 0, 0, 0, 0, 1}},
    {"anomalistic year", "ayr", 0, 31558432.5504, {0, 0, 0, 0, 0, 0, 0, 1}},
    {"decade", "decade", 0, 315569259.74678403, {0, 0, 0, 0, 0, 0, 0, 1}},
    {"century", "century", 0, 3155692597.46784, {0, 0, 0, 0, 0, 0, 0, 1}},
    {"millennium", "millenium", 0, 31556925974.678402, {0, 0, 0, 0, 0, 0, 0, 1}},
    {"calendar year", "calendar year", 0, 31536000, {0, 0, 0, 0, 0, 0, 0, 1}},
    {"leap year", "leap year", 0, 31622400, {0, 0, 0, 0, 0, 0, 0, 1}},
    {"julian year", "julian year", 0, 31557600, {0, 0, 0, 0, 0, 0, 0, 1}},
    {"gregorian year", "gregorian year", 0, 31556952, {0, 0, 0, 0, 0, 0, 0, 1}},
    {"parsec", "pc", 0, 3.085677581491367e+16, {0, 0, 0, 0, 0, 1, 0, 0}},
    {"meter of mercury", "mHg", 0, 133322.387415, {0, 0, 0, 0, 1, -1, 0, -2}},
    {"inch of mercury", "inHg", 0, 3386.389, {0, 0, 0, 0, 1, -1, 0, -2}},
    {"tarvel (vol)", "trvlv", 0, 0.034068706056, {0, 0, 0, 0, 0, 3, 0, 0}},
    {"tarvel (mass)", "trvlm", 0, 40.8233133, {0, 0, 0, 0, 1, 0, 0, 0}},
    {"furlong", "flg", 0, 201.168, {0, 0, 0, 0, 0, 1, 0, 0}},
    {"fortnight", "ftnt", 0, 1209600, {0, 0, 0, 0, 0, 0, 0, 1}},
    {"outhouse", "ouths", 0, 1e-34, {0, 0, 0, 0, 0, 2, 0, 0}},
    {"shed", "shed", 0, 1e-52, {0, 0, 0, 0, 0, 2, 0, 0}},
    {"martian sol", "sol", 0, 88775.244, {0, 0, 0, 0, 0, 0, 0, 1}},
    {"jiffy", "jfy", 0, 0.01, {0, 0, 0, 0, 0, 0, 0, 1}},
    {"light speed", "c", 0, 299792458, {0, 0, 0, 0, 0, 1, 0, -1}},
    {"fluid ounce (food)", "fl oz (food)", 0, 3e-05, {0, 0, 0, 0, 0, 3, 0, 0}},
    {"fluid ounce (imperial)", "fl oz (imp)", 0, 2.8413062499999998e-05, {0, 0, 0, 0, 0, 3, 0, 0}},
    {"pint (imperial)", "pt (imp)", 0, 0.00056826125, {0, 0, 0, 0, 0, 3, 0, 0}},
    {"pint (dry)", "pt (dry)", 0, 0.0005506104713575, {0, 0, 0, 0, 0, 3, 0, 0}},
    {"quart (imperial)", "qt (imp)", 0, 0.0011365225, {0, 0, 0, 0, 0, 3, 0, 0}},
    {"quart (dry)", "qt (dry)", 0, 0.001101220942715, {0, 0, 0, 0, 0, 3, 0, 0}},
    {"gallon (imperial)", "gal (imp)", 0, 0.00454609, {0, 0, 0, 0, 0, 3, 0, 0}},
    {"survey foot", "survey ft", 0, 0.3048006096012192, {0, 0, 0, 0, 0, 1, 0, 0}},
    {"stone", "st", 0, 6.35029318, {0, 0, 0, 0, 1, 0, 0, 0}},
    {"troy ounce", "oz t", 0, 0.031103476800000005, {0, 0, 0, 0, 1, 0, 0, 0}},
    {"troy pound", "lb t", 0, 0.3732417216, {0, 0, 0, 0, 1, 0, 0, 0}},
    {"pennyweight", "dwt", 0, 0.00155517384, {0, 0, 0, 0, 1, 0, 0, 0}},
    {"long ton", "long ton", 0, 1016.0469088000001, {0, 0, 0, 0, 1, 0, 0, 0}},
    {"hundredweight", "hundredweight", 0, 45.359237, {0, 0, 0, 0, 1, 0, 0, 0}},
    {"hundredweight (imperial)", "hundredweight (imp)", 0, 50.80234544, {0, 0, 0, 0, 1, 0, 0, 0}},
    {"gill", "gill", 0, 0.00011829411824999999, {0, 0, 0, 0, 0, 3, 0, 0}},
    {"gill (imperial)", "gill (imp)", 0, 0.0001420653125, {0, 0, 0, 0, 0, 3, 0, 0}},
    {"chain", "ch", 0, 20.1168, {0, 0, 0, 0, 0, 1, 0, 0}},
    {"rod", "rod", 0, 5.0292, {0, 0, 0, 0, 0, 1, 0, 0}},
    {"poundal", "pdl", 0, 0.13825495437600002, {0, 0, 0, 0, 1, 1, 0, -2}},
    {"barye", "Ba", 0, 0.1, {0, 0, 0, 0, 1, -1, 0, -2}},
    {"kilogram force", "kgf", 0, 9.80665, {0, 0, 0, 0, 1, 1, 0, -2}},
    {"horsepower (metric)", "PS", 0, 735.49875, {0, 0, 0, 0, 1, 2, 0, -3}},
    {"link", "li", 0, 0.201168, {0, 0, 0, 0, 0, 1, 0, 0}},
    // Added for the spellings data and people use. Appended, so that no earlier text changes meaning;
    // none of their names or symbols resolved before.
    {"percent", "%", 0, 0.01, {0, 0, 0, 0, 0, 0, 0, 0}},
    {"part per million", "ppm", 0, 1e-06, {0, 0, 0, 0, 0, 0, 0, 0}},
    {"part per billion", "ppb", 0, 1e-09, {0, 0, 0, 0, 0, 0, 0, 0}},
    {"jansky", "Jy", 0, 1e-26, {0, 0, 0, 0, 1, 0, 0, -2}},
    // Turns counted as a number, like the hertz counts cycles: 60 rpm is 1 Hz.
    {"revolution per minute", "rpm", 0, 0.016666666666666666, {0, 0, 0, 0, 0, 0, 0, -1}},
    {"ampere hour", "Ah", 0, 3600, {0, 1, 0, 0, 0, 0, 0, 1}},
}};

namespace {

constexpr std::array<UnitDefinition, BASE_UNIT_COUNT> first_rows() {
    std::array<UnitDefinition, BASE_UNIT_COUNT> rows{};
    for (std::size_t i = 0; i < BASE_UNIT_COUNT; ++i) rows[i] = UNITS[i];
    return rows;
}

}  // namespace

// The base units are the leading rows of UNITS, copied so the two can never drift apart.
constexpr std::array<UnitDefinition, BASE_UNIT_COUNT> BASE_UNITS = first_rows();

constexpr std::array<PrefixDefinition, PREFIX_COUNT> PREFIXES{{
    {"kibi", "Ki", 0x1p10},
    {"mebi", "Mi", 0x1p20},
    {"gibi", "Gi", 0x1p30},
    {"tebi", "Ti", 0x1p40},
    {"pebi", "Pi", 0x1p50},
    {"exbi", "Ei", 0x1p60},
    {"zebi", "Zi", 0x1p70},
    {"yobi", "Yi", 0x1p80},
    {"quetta", "Q", 1e30},
    {"ronna", "R", 1e27},
    {"yotta", "Y", 1e24},
    {"zetta", "Z", 1e21},
    {"exa", "E", 1e18},
    {"peta", "P", 1e15},
    {"tera", "T", 1e12},
    {"giga", "G", 1e9},
    {"mega", "M", 1e6},
    {"myria", "myria", 1e4},
    {"kilo", "k", 1e3},
    {"hecto", "h", 1e2},
    {"deca", "da", 1e1},
    {"deka", "da", 1e1},
    {"deci", "d", 1e-1},
    {"centi", "c", 1e-2},
    {"milli", "m", 1e-3},
    {"micro", "u", 1e-6},
    {"nano", "n", 1e-9},
    {"pico", "p", 1e-12},
    {"femto", "f", 1e-15},
    {"atto", "a", 1e-18},
    {"zepto", "z", 1e-21},
    {"yocto", "y", 1e-24},
    {"ronto", "r", 1e-27},
    {"quecto", "q", 1e-30},
}};

constexpr std::array<UnitAlias, UNIT_ALIAS_COUNT> UNIT_ALIASES{{
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
}};

namespace {

// ---- Text index -------------------------------------------------------------------------------------
// One open-addressing table, built at compile time, maps every name, symbol and alias to the first row
// of each table that carries it. A single probe therefore answers the alias, name and symbol questions
// for a piece of text, and lookups need neither locks nor start-up work.

constexpr std::uint64_t hash_text(std::string_view text) noexcept {
    std::uint64_t hash = 14695981039346656037ull;
    for (char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

constexpr std::int16_t NO_ROW = -1;

struct IndexSlot {
    std::string_view key;
    bool used = false;
    std::int16_t name_row = NO_ROW;    // first row of UNITS with this name
    std::int16_t symbol_row = NO_ROW;  // first row of UNITS with this symbol
    std::int16_t alias_row = NO_ROW;   // first row of UNIT_ALIASES with this alias
};

// A power of two, kept at about four times the number of keys so probe runs stay short.
constexpr std::size_t INDEX_SIZE = 1024;

class TextIndex {
public:
    constexpr const IndexSlot* find(std::string_view key) const noexcept {
        for (std::size_t at = hash_text(key) & (INDEX_SIZE - 1);; at = (at + 1) & (INDEX_SIZE - 1)) {
            const IndexSlot& slot = slots_[at];
            if (!slot.used) return nullptr;
            if (slot.key == key) return &slot;
        }
    }

    // Rows are added in table order, so each field keeps the earliest row.
    constexpr void add(std::string_view key, std::int16_t IndexSlot::*field, std::size_t row) {
        IndexSlot& slot = slots_[claim_slot(key)];
        if (slot.*field == NO_ROW) slot.*field = static_cast<std::int16_t>(row);
    }

private:
    constexpr std::size_t claim_slot(std::string_view key) {
        std::size_t probes = 0;
        for (std::size_t at = hash_text(key) & (INDEX_SIZE - 1);; at = (at + 1) & (INDEX_SIZE - 1)) {
            if (!slots_[at].used) {
                slots_[at].used = true;
                slots_[at].key = key;
                return at;
            }
            if (slots_[at].key == key) return at;
            // Unreachable while the table has free slots; a constant-evaluation error otherwise.
            if (++probes == INDEX_SIZE) throw InternalError("unit text index is full");
        }
    }

    std::array<IndexSlot, INDEX_SIZE> slots_{};
};

constexpr TextIndex build_text_index() {
    TextIndex index;
    for (std::size_t i = 0; i < UNIT_COUNT; ++i) {
        index.add(UNITS[i].name, &IndexSlot::name_row, i);
        index.add(UNITS[i].symbol, &IndexSlot::symbol_row, i);
    }
    for (std::size_t i = 0; i < UNIT_ALIAS_COUNT; ++i) {
        index.add(UNIT_ALIASES[i].alias, &IndexSlot::alias_row, i);
    }
    return index;
}

constexpr TextIndex TEXT_INDEX = build_text_index();

// The index must answer exactly what a scan of the tables in order would.
template <class Table, class Key>
constexpr int first_row_by_scan(const Table& table, std::string_view text, Key key) {
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (key(table[i]) == text) return static_cast<int>(i);
    }
    return NO_ROW;
}

constexpr bool index_agrees_with_scan() {
    const auto name = [](const UnitDefinition& row) { return row.name; };
    const auto symbol = [](const UnitDefinition& row) { return row.symbol; };
    const auto alias = [](const UnitAlias& row) { return row.alias; };
    const auto agrees = [&](std::string_view text) {
        const IndexSlot* slot = TEXT_INDEX.find(text);
        return slot && slot->name_row == first_row_by_scan(UNITS, text, name) &&
               slot->symbol_row == first_row_by_scan(UNITS, text, symbol) &&
               slot->alias_row == first_row_by_scan(UNIT_ALIASES, text, alias);
    };
    for (const UnitDefinition& row : UNITS) {
        if (!agrees(row.name) || !agrees(row.symbol)) return false;
    }
    for (const UnitAlias& row : UNIT_ALIASES) {
        if (!agrees(row.alias)) return false;
    }
    return TEXT_INDEX.find("") == nullptr && TEXT_INDEX.find("kilometer") == nullptr;
}
static_assert(index_agrees_with_scan());

// The first row named `text`, after replacing an alias by its canonical name when asked to.
int find_name_row(std::string_view text, bool apply_aliases) noexcept {
    const IndexSlot* slot = TEXT_INDEX.find(text);
    if (slot && apply_aliases && slot->alias_row != NO_ROW) {
        slot = TEXT_INDEX.find(UNIT_ALIASES[slot->alias_row].canonical_name);
    }
    return slot ? slot->name_row : NO_ROW;
}

int find_symbol_row(std::string_view text) noexcept {
    const IndexSlot* slot = TEXT_INDEX.find(text);
    return slot ? slot->symbol_row : NO_ROW;
}

// For each leading byte, the prefix rows whose name or symbol starts with it (bit i = row i), so the
// prefix step visits only rows that can match, still in table order.
static_assert(PREFIX_COUNT <= 64);
constexpr std::array<std::uint64_t, 256> PREFIXES_BY_FIRST_BYTE = [] {
    std::array<std::uint64_t, 256> masks{};
    for (std::size_t i = 0; i < PREFIX_COUNT; ++i) {
        masks[static_cast<unsigned char>(PREFIXES[i].name.front())] |= std::uint64_t{1} << i;
        masks[static_cast<unsigned char>(PREFIXES[i].symbol.front())] |= std::uint64_t{1} << i;
    }
    return masks;
}();

// ---- Records ----------------------------------------------------------------------------------------

void fill_record(UnitRecord& record, std::string name, std::string symbol, double offset, double factor,
                 const Dimensions& dimensions) {
    record.name_hash = hash_unit_name(name);
    record.name = std::move(name);
    record.symbol = std::move(symbol);
    record.offset = offset;
    record.factor = factor;
    record.dimensions = dimensions;
    record.immortal = true;
}

struct RowRecords {
    std::array<UnitRecord, UNIT_COUNT> records;
    RowRecords() {
        for (std::size_t i = 0; i < UNIT_COUNT; ++i) {
            const UnitDefinition& row = UNITS[i];
            fill_record(records[i], std::string(row.name), std::string(row.symbol), row.offset, row.factor,
                        row.dimensions);
        }
    }
};

const UnitRecord& row_record(std::size_t row) {
    // Deliberately never destroyed: units handed out may still be alive during static destruction.
    static const RowRecords* const rows = new RowRecords;
    return rows->records[row];
}

// One slot per (prefix row, unit row), filled on first use. Constant-initialised to null.
std::atomic<const UnitRecord*> PREFIXED_RECORDS[PREFIX_COUNT * UNIT_COUNT];

const UnitRecord* prefixed_record(std::size_t prefix_row, std::size_t unit_row) {
    std::atomic<const UnitRecord*>& slot = PREFIXED_RECORDS[prefix_row * UNIT_COUNT + unit_row];
    if (const UnitRecord* record = slot.load(std::memory_order_acquire)) return record;

    const PrefixDefinition& prefix = PREFIXES[prefix_row];
    const UnitDefinition& unit = UNITS[unit_row];
    auto fresh = std::make_unique<UnitRecord>();
    std::string name;
    name.reserve(prefix.name.size() + unit.name.size());
    name.append(prefix.name).append(unit.name);
    std::string symbol;
    symbol.reserve(prefix.symbol.size() + unit.symbol.size());
    symbol.append(prefix.symbol).append(unit.symbol);
    fill_record(*fresh, std::move(name), std::move(symbol), 0.0, unit.factor * prefix.factor,
                unit.dimensions);

    // Another thread may have built the same record meanwhile; the first one published wins and the
    // other copy is freed.
    const UnitRecord* published = nullptr;
    if (slot.compare_exchange_strong(published, fresh.get(), std::memory_order_acq_rel,
                                     std::memory_order_acquire)) {
        return fresh.release();
    }
    return published;
}

template <std::size_t N>
std::optional<std::size_t> index_in(const std::array<UnitDefinition, N>& table,
                                    const UnitDefinition* row) {
    // std::less gives a total order even for pointers into different objects.
    std::less<const UnitDefinition*> before;
    if (before(row, table.data()) || !before(row, table.data() + N)) return std::nullopt;
    return static_cast<std::size_t>(row - table.data());
}

}  // namespace

SingleUnit create_from_unit_def_static(const UnitDefinition& row) {
    // BASE_UNITS rows are the leading rows of UNITS, so both map to the same records.
    if (auto index = index_in(UNITS, &row)) return SingleUnit::from_immortal(&row_record(*index));
    if (auto index = index_in(BASE_UNITS, &row)) return SingleUnit::from_immortal(&row_record(*index));
    // A definition that is not a catalogue row gets a counted record of its own.
    return SingleUnit::make(std::string(row.name), std::string(row.symbol), row.offset, row.factor,
                            row.dimensions);
}

std::optional<SingleUnit> search_for_unit_name(std::string_view text) {
    // Whole-text alias, then whole name, then whole symbol.
    const IndexSlot* slot = TEXT_INDEX.find(text);
    if (slot && slot->alias_row != NO_ROW) {
        text = UNIT_ALIASES[slot->alias_row].canonical_name;
        slot = TEXT_INDEX.find(text);
    }
    if (slot && slot->name_row != NO_ROW) return SingleUnit::from_immortal(&row_record(slot->name_row));
    if (slot && slot->symbol_row != NO_ROW) return SingleUnit::from_immortal(&row_record(slot->symbol_row));

    // One prefix in front of a unit: a prefix name before a unit name (or alias), a prefix symbol before
    // a unit symbol. When the prefix name matches, that row's symbol is not tried.
    if (text.empty()) return std::nullopt;
    for (std::uint64_t candidates = PREFIXES_BY_FIRST_BYTE[static_cast<unsigned char>(text.front())];
         candidates != 0; candidates &= candidates - 1) {
        const auto prefix_row = static_cast<std::size_t>(std::countr_zero(candidates));
        const PrefixDefinition& prefix = PREFIXES[prefix_row];
        int unit_row = NO_ROW;
        if (text.starts_with(prefix.name)) {
            unit_row = find_name_row(text.substr(prefix.name.size()), true);
        } else if (text.starts_with(prefix.symbol)) {
            unit_row = find_symbol_row(text.substr(prefix.symbol.size()));
        }
        if (unit_row == NO_ROW) continue;
        // Prefixed temperatures with an offset have no meaning; the search stops here.
        if (UNITS[unit_row].offset != 0.0) return std::nullopt;
        return SingleUnit::from_immortal(prefixed_record(prefix_row, static_cast<std::size_t>(unit_row)));
    }
    return std::nullopt;
}

}  // namespace tarvel
