#pragma once
// The named physical constants and their lookup.

#include <array>
#include <string_view>

namespace tarvel {

struct Constant {
    std::string_view name;
    double value;
    std::string_view unit;  // a unit expression
};

struct ConstantAlias {
    std::string_view alias;
    std::string_view constant_name;
};

inline constexpr std::size_t CONSTANT_COUNT = 16;
inline constexpr std::size_t CONSTANT_ALIAS_COUNT = 15;

extern const std::array<Constant, CONSTANT_COUNT> CONSTANTS;
extern const std::array<ConstantAlias, CONSTANT_ALIAS_COUNT> CONSTANT_ALIASES;

// The row named by the text or by one of its aliases (applied once); nullptr when there is none.
const Constant* search_for_constant_name(std::string_view text);

}  // namespace tarvel
