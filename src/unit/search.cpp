#include "unit/search.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <utility>
#include <vector>

#include "error/tarvel_error.hpp"
#include "unit/search/grouped_search.hpp"
#include "unit/search/level_search.hpp"
#include "unit/search/pause.hpp"
#include "unit/search/space.hpp"

namespace tarvel {

using namespace search_detail;

bool check_satisfies_base_units(const IntExponentMap& map, const Dimensions& target) {
    Dimensions rest = target;
    for (std::size_t i = 0; i < map.size(); ++i) take_away(rest, map.unit(i).dimensions(), map.exponent(i));
    return all_zero(rest);
}

namespace {

// Whether all the maps between start and target are few: the level-by-level search then visits them for
// less than the grouped search's set-up (pivots, determinants) costs, and it is the reference itself.
bool small_space(const Space& space) noexcept {
    constexpr std::uint64_t SMALL_SPACE_MAPS = 256;
    std::uint64_t maps = 1;
    for (std::uint32_t range : space.range) {
        maps *= std::uint64_t{range} + 1;
        if (maps > SMALL_SPACE_MAPS) return false;
    }
    return true;
}

// Shared by both entry points: the arena, the space, the budget, and the choice of search.
bool run_search(const Dimensions* const* units, const std::int32_t* target, const std::int32_t* start,
                std::size_t n, const Dimensions& dimensions, const SearchOptions& options, SearchStats& out,
                std::int32_t* answer, bool reference, bool counted) {
    out = SearchStats{};
    std::array<std::byte, ARENA_BYTES> arena_bytes;
    Arena arena(arena_bytes.data(), arena_bytes.size());
    const Space space = make_space(units, target, start, n, dimensions, arena);
    if (space.movable.empty()) return false;

    const std::uint64_t count = std::max<std::uint64_t>(n, 1);
    std::uint64_t budget = options.map_budget;
    if (count > UNITS_PER_MAP_IN_BUDGET) budget = budget / count * UNITS_PER_MAP_IN_BUDGET;

    Pause pause;
    const bool found = [&] {
        if (space.whole && !reference && !small_space(space)) {
            switch (grouped_search(space, budget, counted, out, pause, arena, answer)) {
                case Grouped::Found: return true;
                case Grouped::None: return false;
                case Grouped::OutOfBudget: return out_of_budget(space, target, out, answer);
                case Grouped::Unsuitable: out = SearchStats{}; break;
            }
        }
        return level_search(space, target, budget, options, out, pause, arena, answer);
    }();
    // Not in a destructor: taking the lock back can end this thread by a forced unwind.
    pause.resume();
    return found;
}

std::optional<IntExponentMap> search_maps(const IntExponentMap& target, const IntExponentMap& start,
                                          const Dimensions& dimensions, const SearchOptions& options,
                                          SearchStats* stats, bool reference) {
    SearchStats local;
    SearchStats& out = stats ? *stats : local;
    out = SearchStats{};
    if (!start.same_units(target)) {
        throw InternalError("simplify search: the current map and the target map hold different units");
    }
    const std::size_t n = start.size();
    std::vector<const Dimensions*> units(n);
    for (std::size_t i = 0; i < n; ++i) units[i] = &start.unit(i).dimensions();
    std::vector<std::int32_t> answer(n);
    if (!run_search(units.data(), target.exponents().data(), start.exponents().data(), n, dimensions, options,
                    out, answer.data(), reference, true)) {
        return std::nullopt;
    }
    return start.with_exponents(std::move(answer));
}

}  // namespace

bool search_exponents(const Dimensions* const* units, const std::int32_t* target, const std::int32_t* start,
                      std::size_t n, const Dimensions& dimensions, std::int32_t* answer,
                      const SearchOptions& options, SearchStats* stats) {
    if (!stats) {
        std::uint64_t budget = options.map_budget;
        if (n > UNITS_PER_MAP_IN_BUDGET) budget = budget / n * UNITS_PER_MAP_IN_BUDGET;
        switch (one_group_search(units, target, start, n, dimensions, budget, answer)) {
            case Quick::Found: return true;
            case Quick::None: return false;
            case Quick::Unsuitable: break;
        }
    }
    SearchStats local;
    return run_search(units, target, start, n, dimensions, options, stats ? *stats : local, answer, false,
                      stats != nullptr);
}

std::optional<IntExponentMap> simplify_mapping_algorithm(const IntExponentMap& target, const IntExponentMap& start,
                                                         const Dimensions& dimensions,
                                                         const SearchOptions& options, SearchStats* stats) {
    return search_maps(target, start, dimensions, options, stats, false);
}

std::optional<IntExponentMap> reference_mapping_search(const IntExponentMap& target, const IntExponentMap& start,
                                                       const Dimensions& dimensions,
                                                       const SearchOptions& options, SearchStats* stats) {
    return search_maps(target, start, dimensions, options, stats, true);
}

}  // namespace tarvel
