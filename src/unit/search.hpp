#pragma once
// The simplification search: find a shortest product of a collection's own units, with whole exponents,
// that has the collection's dimension vector.
//
// The search is breadth-first over integer exponent maps, one level per number of steps from the start
// map. A step moves one unit's exponent by one toward its exponent in the target map. Successors are
// made in map order, each is checked, maps already made are skipped, and the first map that reproduces
// the dimension vector wins, so the answer is a shortest product and the same in every run. The work is
// bounded: when the budget of maps runs out the target map itself is the answer (it always reproduces
// the vector). Large levels are shared out among a few worker threads, which touch no Python objects and
// are joined before the search returns.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "unit/search/int_exponent_map.hpp"
#include "unit/search/options.hpp"
#include "unit/search/pause.hpp"
#include "unit/single_unit/single_unit.hpp"
#include "unit/unit_collection.hpp"
#include "unit/unit_map.hpp"

namespace tarvel {

// True when the map reproduces `target` exactly: starting from the target, each entry's dimension vector
// times its exponent is taken away in map order, and all eight remainders must be 0.0.
bool check_satisfies_base_units(const IntExponentMap& map, const Dimensions& target);

// Searches from `start` toward `target` (both over the same units, else InternalError) for the first map,
// in breadth-first order, that reproduces `dimensions`. The start map itself is not examined. Nothing
// when no map within reach does.
std::optional<IntExponentMap> simplify_mapping_algorithm(const IntExponentMap& target,
                                                         const IntExponentMap& start,
                                                         const Dimensions& dimensions,
                                                         const SearchOptions& options = {},
                                                         SearchStats* stats = nullptr);

// The level-by-level search that steps one unit at a time, which simplify_mapping_algorithm reproduces
// (answer and statistics, the threads used aside) with fewer steps: kept to compare against.
std::optional<IntExponentMap> reference_mapping_search(const IntExponentMap& target,
                                                       const IntExponentMap& start,
                                                       const Dimensions& dimensions,
                                                       const SearchOptions& options = {},
                                                       SearchStats* stats = nullptr);

// simplify_mapping_algorithm on plain arrays of n units: units[i] is unit i's dimension vector. Writes the
// answer's exponents to `answer` and returns true; false when there is none. Without `stats` a small
// search skips the counting that only the statistics need.
bool search_exponents(const Dimensions* const* units, const std::int32_t* target, const std::int32_t* start,
                      std::size_t n, const Dimensions& dimensions, std::int32_t* answer,
                      const SearchOptions& options = {}, SearchStats* stats = nullptr);

// simplify (unit/simplify.hpp) with explicit search options; `stats` (when given) describes the search,
// with no maps and no levels when none was needed.
UnitCollection simplify(const UnitCollection& units, const SearchOptions& options,
                        SearchStats* stats = nullptr);

}  // namespace tarvel
