#include "unit/search/space.hpp"

#include <algorithm>
#include <cmath>
#include <atomic>

namespace tarvel {

namespace {
std::atomic<std::uint64_t> budget_exhaustions{0};
}  // namespace

std::uint64_t search_budget_exhaustions() noexcept { return budget_exhaustions.load(std::memory_order_relaxed); }

namespace search_detail {

Space make_space(const Dimensions* const* units, const std::int32_t* target, const std::int32_t* start,
                 std::size_t n, const Dimensions& dimensions, Arena& arena) {
    Space space(arena);
    space.target = &dimensions;
    // Reserved up front: the arena never reuses what a growing vector leaves behind.
    space.dimensions.reserve(n);
    space.movable.reserve(n);
    space.direction.reserve(n);
    space.range.reserve(n);
    space.step_change.reserve(n);
    space.start.assign(start, start + n);
    space.slot.assign(n, FIXED);
    for (std::size_t i = 0; i < n; ++i) {
        const Dimensions& unit = *units[i];
        space.dimensions.push_back(unit);
        for (double component : unit) space.finite = space.finite && std::isfinite(component);
        const std::int64_t from = start[i];
        const std::int64_t to = target[i];
        // An exponent only moves toward a non-zero target, one step at a time, and never past it.
        std::int32_t direction = 0;
        if (from < to && to > 0) direction = 1;
        if (from > to && to < 0) direction = -1;
        if (direction == 0) continue;
        space.slot[i] = static_cast<std::uint32_t>(space.movable.size());
        space.movable.push_back(i);
        space.direction.push_back(direction);
        space.range.push_back(static_cast<std::uint32_t>(to > from ? to - from : from - to));
    }

    // Dimensions that are halves, quarters, ... of whole numbers (a unit defined from a half power) take
    // the whole-number path too, all scaled by the same power of two: the scaling is exact, and so is
    // every sum of the double check within the limits, so a map is zero in one exactly when in the other.
    constexpr int MOST_HALVINGS = 8;
    double scale = 1.0;
    space.whole = false;
    for (int halvings = 0; halvings <= MOST_HALVINGS && !space.whole && n <= WHOLE_UNIT_COUNT_LIMIT; ++halvings) {
        scale = std::ldexp(1.0, halvings);
        bool whole = true;
        for (double component : dimensions) whole = whole && is_whole(component * scale, WHOLE_TARGET_LIMIT);
        for (const Dimensions& unit : space.dimensions) {
            for (double component : unit) whole = whole && is_whole(component * scale, WHOLE_UNIT_LIMIT);
        }
        space.whole = whole;
    }
    if (!space.whole) return space;
    auto scaled = [scale](double component) { return static_cast<std::int64_t>(component * scale); };
    for (std::size_t k = 0; k < DIMENSION_COUNT; ++k) {
        std::int64_t rest = scaled(dimensions[k]);
        for (std::size_t i = 0; i < n; ++i) rest -= scaled(space.dimensions[i][k]) * space.start[i];
        space.start_rest[k] = rest;
    }
    for (std::size_t m = 0; m < space.movable.size(); ++m) {
        WholeDimensions change{};
        for (std::size_t k = 0; k < DIMENSION_COUNT; ++k) {
            change[k] = scaled(space.dimensions[space.movable[m]][k]) * space.direction[m];
        }
        space.step_change.push_back(change);
    }
    return space;
}

void decode(const Space& space, const std::uint32_t* steps, std::int32_t* out) {
    for (std::size_t i = 0; i < space.start.size(); ++i) out[i] = space.exponent(i, steps);
}

bool satisfied_by(const Space& space, const std::int32_t* exponents) {
    Dimensions rest = *space.target;
    for (std::size_t i = 0; i < space.dimensions.size(); ++i) take_away(rest, space.dimensions[i], exponents[i]);
    return all_zero(rest);
}

bool out_of_budget(const Space& space, const std::int32_t* target, SearchStats& out, std::int32_t* answer) {
    out.budget_exhausted = true;
    budget_exhaustions.fetch_add(1, std::memory_order_relaxed);
    if (!satisfied_by(space, target)) return false;
    std::copy(target, target + space.start.size(), answer);
    return true;
}

}  // namespace search_detail

}  // namespace tarvel
