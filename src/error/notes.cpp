#include "error/notes.hpp"

#include "error/tarvel_error.hpp"

#include <cstddef>

namespace tarvel {

namespace {

// What each ambiguous spelling could mean, and how to write each meaning.
std::string ambiguity_of(std::string_view term) {
    struct Row {
        std::string_view term;
        std::string_view meanings;
    };
    static constexpr Row ROWS[] = {
        {"ppt", "it is parts per thousand ('1e-3' as a number) or per trillion ('ppb' / 1000)"},
        {"a", "it is the year ('yr'), the are ('are') or the prefix atto"},
        {"kt", "it is the knot ('kn') or the kilotonne ('kilotonne')"},
        {"mb", "it is the millibar ('mbar') or the millibarn ('millibarn')"},
        {"Gyr", "a prefixed year would print as 'Gy', the gray: write the number of years ('1e9 yr')"},
        {"Myr", "a prefixed year is not read: write the number of years ('1e6 yr')"},
        {"kyr", "a prefixed year is not read: write the number of years ('1000 yr')"},
    };
    for (const Row& row : ROWS) {
        if (row.term == term) return std::string(row.meanings);
    }
    return "write the unit's name";
}

}  // namespace

std::string note_not_a_unit(std::string_view term) { return quoted(term) + " is not a unit"; }

std::string note_did_you_mean(const std::vector<std::string>& suggestions) {
    std::string out = "did you mean ";
    for (std::size_t i = 0; i < suggestions.size(); ++i) {
        if (i > 0) out += i + 1 == suggestions.size() ? " or " : ", ";
        out += quoted(suggestions[i]);
    }
    out += '?';
    return out;
}

std::string refusal_reason(Refusal refusal, std::string_view term) {
    switch (refusal) {
        case Refusal::TimeReference:
            return quoted(term) +
                   " is a time reference (a calendar date), not a unit: decode the times with a calendar "
                   "(xarray does) and take the unit before 'since'";
        case Refusal::NumberInUnits:
            return "the number " + quoted(term) +
                   " stands where a unit belongs; a quantity is one number before its units ('3.2 m')";
        case Refusal::AfterSlash:
            return "after a '/', " + quoted(term) +
                   " could divide or multiply; write the denominator in brackets ('J/(kg*K)') or with "
                   "another '/' ('J/kg/K')";
        case Refusal::Ambiguous: return quoted(term) + " is not read: " + ambiguity_of(term);
        case Refusal::Unbalanced: return "the brackets of " + quoted(term) + " do not pair up";
        case Refusal::Exponent: return quoted(term) + " is not an exponent";
    }
    return {};
}

std::string note_common_notation(std::string_view reading) {
    return "Tarvel.parse reads this text as " + quoted(reading) + " (it reads common notations)";
}

std::string note_hint(Hint hint) {
    switch (hint) {
        case Hint::Exponent:
            return "an exponent is one digit right after its unit ('m2'); a negative one goes after the "
                   "'/' ('1/s')";
        case Hint::Separator:
            return "terms are joined with '.' ('kg.m')";
        case Hint::OneSlash:
            return "an expression has at most one '/': every term after it is in the denominator";
        case Hint::Brackets:
            return "an expression has no brackets: every term after the '/' is in the denominator";
        case Hint::Hour:
            return "'h' is the prefix hecto; the hour is 'hr'";
        case Hint::Micro:
            return "the prefix micro is written 'u' ('um', 'us')";
        case Hint::Plural:
            return "unit names are singular ('meter', 'liter')";
        case Hint::Spelling:
            return "'liter' is spelt with 'er' ('metre' is also accepted)";
        case Hint::Temperature:
            return "degrees Celsius and Fahrenheit are '°C' or 'deg C' and '°F' or 'deg F'; kelvin is 'K'";
        case Hint::Abbreviation:
            return "a speed is written as a quotient of units ('mi/hr', 'km/hr')";
        case Hint::Spaces:
            return "terms have no spaces around them ('kg.m', not 'kg . m')";
        case Hint::TimeSymbol:
            return "the second, the minute and the hour are 's', 'min' and 'hr'";
        case Hint::Case:
            return "unit names and symbols are case-sensitive";
        case Hint::PrefixCase:
            return "prefixes differ by case, by orders of magnitude: 'M' is mega and 'm' milli, 'P' peta and "
                   "'p' pico, 'Z' zetta and 'z' zepto, 'Y' yotta and 'y' yocto, 'R' ronna and 'r' ronto, 'Q' "
                   "quetta and 'q' quecto: check which was meant";
    }
    return {};
}

std::string note_near_miss(NearMiss miss) {
    switch (miss) {
        case NearMiss::FoodCalorie:
            return "the food Calorie is 1000 cal, the kilocalorie 'kcal'; 'cal' is the small calorie";
        case NearMiss::NauticalMile:
            return "'nm' is the nanometre; the nautical mile is 'nmi' and the newton metre 'N.m'";
        case NearMiss::Stokes:
            return "'st' is the stone, a mass; the stokes, a kinematic viscosity, is 'cm2/s'";
        case NearMiss::Revolutions:
            return "revolutions per minute are written '1/min' ('rem' is a radiation dose)";
        case NearMiss::Decibel:
            return "the decibel is a logarithmic unit: use LogTarvel.unit(\"dB\") ('db' is the decibarn, an "
                   "area)";
    }
    return {};
}

}  // namespace tarvel
