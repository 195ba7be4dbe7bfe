#pragma once
// The notes that a failed lookup gains (shown under the traceback): which term failed and what was
// probably meant. Every note text is built here.

#include <string>
#include <string_view>
#include <vector>

namespace tarvel {

// Why a suggested spelling differs from what was written.
enum class Hint : unsigned char {
    Exponent,      // "m^2", "m**2", "s^-1"
    Separator,     // "kg*m", "kg m", "kg·m"
    OneSlash,      // "m/s/s"
    Brackets,      // "J/(kg.K)"
    Hour,          // "h" is hecto
    Micro,         // "µ", "μ"
    Plural,        // "meters"
    Spelling,      // "litre"
    Temperature,   // "degC", "°K"
    Abbreviation,  // "mph", "kph"
    TimeSymbol,    // "sec"
    Spaces,        // "kg . m"
    Case,          // "KM", "Meter"
    PrefixCase,    // "MM": mega or milli
};

// Spellings whose nearest catalogue name would change the value by orders of magnitude, or mean another
// quantity altogether: what was probably meant instead.
enum class NearMiss : unsigned char {
    FoodCalorie,   // "Cal" is not 'cal'
    NauticalMile,  // "NM" is not 'nm'
    Stokes,        // "St" is not 'st'
    Revolutions,   // "rpm" is not 'rem'
    Decibel,       // "dB" is not 'db'
};

// Why the common-notation reader refuses a text it could read in more than one way, or not as units.
enum class Refusal : unsigned char {
    TimeReference,  // "days since 2000-01-01"
    NumberInUnits,  // "3m 20cm", "10 m"
    AfterSlash,     // "J/kg*K"
    Ambiguous,      // a term with two common meanings ("ppt", "a") or one that would print as another
    Unbalanced,     // "J/(kg.K"
    Exponent,       // "m^x"
};
// The reason, naming `term`.
std::string refusal_reason(Refusal refusal, std::string_view term);
// The note of a text that Tarvel.unit refuses and the common-notation reader reads.
std::string note_common_notation(std::string_view reading);

// "'hourr' is not a unit"
std::string note_not_a_unit(std::string_view term);
// "did you mean 'km/hr'?", "did you mean 'hour', 'hr' or 'h'?"
std::string note_did_you_mean(const std::vector<std::string>& suggestions);
// One sentence on the rule behind a suggestion.
std::string note_hint(Hint hint);
// One sentence on what a near miss means and how to write it.
std::string note_near_miss(NearMiss miss);

}  // namespace tarvel
