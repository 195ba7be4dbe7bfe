#pragma once
// What the pickled state of a quantity holds and how it is checked when it is read back, apart from the
// Python objects that carry it (module/pickling.cpp).
//
// The cached dimension vector and factor are stored as they are, not recomputed: they were summed and
// multiplied along the path of operations that made the quantity, so with fractional exponents they can
// differ from a recomputation from the map in the last bits, and the comparisons of the library are
// exact. Loading checks them against a recomputation from the map:
// - a dimension component must match what the map carries (its exact sum, rounded once) to within a
//   relative 1e-13, the rule every collection of the algebra keeps, and exactly when that is 0;
// - the factor must match the product of the units' factors raised to their exponents to within a
//   relative 1e-9 (scaled by the size of that product's logarithm), overflow to inf and underflow to 0
//   included. Units whose own factor is 0, negative or not finite (only custom units can be) leave
//   nothing to compare logarithms of: there the factor must equal the recomputed product to a relative
//   1e-9 (both NaN counts as equal).
// Catalogue and prefixed units come back as the catalogue's own records when their name (or symbol)
// resolves to a unit with every field equal; any other unit becomes a unit of its own.

#include <cstddef>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "quantity/log_quantity.hpp"
#include "quantity/quantity.hpp"

namespace tarvel {

inline constexpr long STATE_VERSION = 1;  // the first item of every state
inline constexpr std::size_t STATE_UNIT_FIELDS = 6;  // name, symbol, offset, factor, dimensions, exponent

// A unit read from a state: the catalogue's own record when its name or symbol resolves to a unit with
// every field equal, else a unit of its own.
SingleUnit restored_unit(std::string name, std::string symbol, double offset, double factor,
                         const Dimensions& dimensions);

// Appends a unit read from a state; false (and nothing added) when the map holds that unit already.
bool add_state_unit(UnitMap& map, const SingleUnit& unit, double exponent);

// Whether the cached factor of a state is the map's product of factors, by the rule above.
bool state_factor_consistent(const UnitMap& map, double cached) noexcept;

// Why a state's units and cached parts make no collection.
struct StateFault {
    enum class Kind { Dimension, Factor } kind;
    std::size_t dimension = 0;  // the component that disagrees, for Dimension
};

// The collection of a state's units with its cached dimensions and factor, or why they disagree.
std::expected<UnitCollection, StateFault> restored_collection(UnitMap map, const Dimensions& dimensions, double factor);

// The logarithmic quantity of a state: the scale named `name` (a symbol is not a name) at `power`.
std::optional<LogQuantity> restored_log_quantity(const std::string& name, double power);

}  // namespace tarvel
