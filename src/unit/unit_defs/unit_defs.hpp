#pragma once
// The unit catalogue (base units, named units, prefixes, aliases) and the resolution of one piece of text
// to one unit. Tables are searched in their listed order; the first match wins.

#include <array>
#include <optional>
#include <string_view>

#include "unit/single_unit/single_unit.hpp"

namespace tarvel {

struct UnitDefinition {
    std::string_view name;
    std::string_view symbol;
    double offset;
    double factor;
    Dimensions dimensions;
};

struct PrefixDefinition {
    std::string_view name;
    std::string_view symbol;
    double factor;
};

struct UnitAlias {
    std::string_view alias;
    std::string_view canonical_name;
};

inline constexpr std::size_t BASE_UNIT_COUNT = 8;
inline constexpr std::size_t UNIT_COUNT = 142;
inline constexpr std::size_t PREFIX_COUNT = 34;
inline constexpr std::size_t UNIT_ALIAS_COUNT = 44;

extern const std::array<UnitDefinition, BASE_UNIT_COUNT> BASE_UNITS;
extern const std::array<UnitDefinition, UNIT_COUNT> UNITS;
extern const std::array<PrefixDefinition, PREFIX_COUNT> PREFIXES;
extern const std::array<UnitAlias, UNIT_ALIAS_COUNT> UNIT_ALIASES;

// The unit of a catalogue row (a row of UNITS or BASE_UNITS). Rows map to records that live for the
// whole process, so the result costs no allocation.
SingleUnit create_from_unit_def_static(const UnitDefinition& row);

// Resolves a name, symbol, alias or prefixed name to its unit; nothing when the text is none of these.
// Matching is exact and byte for byte; nothing is trimmed.
std::optional<SingleUnit> search_for_unit_name(std::string_view text);

}  // namespace tarvel
