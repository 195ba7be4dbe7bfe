#pragma once
// Unit text as data files and people write it: "m/s^2", "kg*m/s**2", "J/(kg K)", "m s-1", "µm", "m²",
// "meters per second", "degrees_north", CF strings, and names of a caller's own vocabulary. Text in the
// library's own grammar ("kg.m/s2") is read by from_unit_name first, so it means exactly what it means
// there; the other notations are read only when that fails.

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "error/tarvel_error.hpp"
#include "unit/single_unit/single_unit.hpp"
#include "unit/unit_collection.hpp"

namespace tarvel {

// A unit of a vocabulary under one of its names or symbols. With `prefixable`, a prefix name may come
// before a name ("kilodozen") and a prefix symbol before a symbol ("kEUR").
struct NamedUnit {
    std::string text;
    SingleUnit unit;
    bool prefixable = false;
    bool is_symbol = false;
};

// The units that `text` names. UnitNotFound when a term is no unit; UnitNotRead with the reason when the
// text is a time reference ("days since 2000-01-01"), ambiguous ("J/kg*K", "ppt") or has a number where
// a unit belongs ("3m 20cm"). Text that cancels to no units ("kg kg-1", "1") is the empty collection.
Result<UnitCollection> read_common_notation(std::string_view text, std::span<const NamedUnit> vocabulary = {});

// Whether units that from_unit_name read hold a spelling the reader refuses as ambiguous ("ppt", "kt",
// "mb"); a caller with a faster road to from_unit_name's answer checks it with this.
bool has_ambiguous_symbol(const UnitCollection& units);

// The reading of a text that from_unit_name refuses, in the library's grammar ("m/s2" for "m s^-2"), for
// the failure note of Tarvel.unit; nothing when the reader refuses the text too or reads no units.
std::optional<std::string> common_notation_reading(std::string_view text);

// The units in the notation of the CF conventions: symbols joined by spaces, signed exponents
// ("kg m-2 s-1"), "1" for none; read back by read_common_notation to the same units.
std::string as_cf_string(const UnitCollection& units);

// Whether `text` is a time reference of the CF conventions: a unit, "since" and a date.
bool is_time_reference(std::string_view text);

}  // namespace tarvel
