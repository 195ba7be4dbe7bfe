#pragma once
// The space a search walks: the units that may step, which way and how far, and the remainder of the
// dimension vector that a map leaves, in whole numbers where every unit allows it. Internal to the
// search.

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <memory_resource>
#include <vector>

#include "unit/search/options.hpp"
#include "unit/single_unit/single_unit.hpp"

namespace tarvel::search_detail {

constexpr std::uint64_t NOT_FOUND = std::numeric_limits<std::uint64_t>::max();
constexpr std::uint32_t FIXED = std::numeric_limits<std::uint32_t>::max();
// Collections of more units than this get a proportionally smaller map budget: the cost of a map (its
// check and its storage) grows with the number of units.
constexpr std::uint64_t UNITS_PER_MAP_IN_BUDGET = 16;

// The small tables of one search come from an arena on the caller's stack (falling back to the heap),
// so a search over a handful of units allocates almost nothing; all of it is freed when the search ends.
using Arena = std::pmr::monotonic_buffer_resource;
constexpr std::size_t ARENA_BYTES = 4096;

// Storage that grows without copying or clearing: a level's maps are all written before they are read.
// Small levels live in the arena; large ones on the heap, each freed as soon as it is outgrown.
template <class T>
class Buffer {
public:
    explicit Buffer(Arena& arena) noexcept : arena_(&arena) {}

    void ensure(std::size_t size) {
        if (size <= capacity_) return;
        capacity_ = std::max(size, capacity_ * 2);
        if (capacity_ * sizeof(T) <= SMALL_BYTES) {
            data_ = static_cast<T*>(arena_->allocate(capacity_ * sizeof(T), alignof(T)));
        } else {
            heap_.reset(new T[capacity_]);
            data_ = heap_.get();
        }
    }
    T* data() noexcept { return data_; }
    const T* data() const noexcept { return data_; }

private:
    static constexpr std::size_t SMALL_BYTES = 512;

    Arena* arena_;
    std::unique_ptr<T[]> heap_;
    T* data_ = nullptr;
    std::size_t capacity_ = 0;
};

using WholeDimensions = std::array<std::int64_t, DIMENSION_COUNT>;

// Bounds under which every sum of the check is a whole number below 2^53: the check in doubles is then
// exact whatever its order, and the remainders can be worked out with integers.
constexpr double WHOLE_UNIT_LIMIT = 1024.0;
constexpr double WHOLE_TARGET_LIMIT = 1099511627776.0;  // 2^40
constexpr std::size_t WHOLE_UNIT_COUNT_LIMIT = 1024;

inline bool is_whole(double value, double limit) noexcept {
    // Within the limit the conversion is exact for whole values (and defined for all); NaN fails the test.
    return std::fabs(value) <= limit && static_cast<double>(static_cast<std::int64_t>(value)) == value;
}

// Takes one entry's share away from the remainder. With finite unit dimensions an exponent of 0 takes
// nothing away (the remainders are only compared with 0.0, so the sign of a zero does not matter), which
// lets the caller skip it.
inline void take_away(Dimensions& rest, const Dimensions& unit, std::int32_t exponent) noexcept {
    if (exponent == 1) {
        for (std::size_t k = 0; k < DIMENSION_COUNT; ++k) rest[k] -= unit[k];
    } else if (exponent == -1) {
        for (std::size_t k = 0; k < DIMENSION_COUNT; ++k) rest[k] += unit[k];
    } else {
        const auto scale = static_cast<double>(exponent);
        for (std::size_t k = 0; k < DIMENSION_COUNT; ++k) rest[k] -= unit[k] * scale;
    }
}

inline bool all_zero(const Dimensions& rest) noexcept {
    for (double component : rest) {
        if (component != 0.0) return false;
    }
    return true;
}

struct Space {
    explicit Space(Arena& arena)
        : dimensions(&arena), start(&arena), slot(&arena), movable(&arena), direction(&arena), range(&arena),
          step_change(&arena) {}

    const Dimensions* target = nullptr;
    std::pmr::vector<Dimensions> dimensions;  // per unit
    std::pmr::vector<std::int32_t> start;     // per unit
    std::pmr::vector<std::uint32_t> slot;     // per unit: its position among the movable units, or FIXED
    bool finite = true;                       // every unit dimension is finite
    std::pmr::vector<std::size_t> movable;    // unit positions, in map order
    std::pmr::vector<std::int32_t> direction; // per movable unit: +1 or -1
    std::pmr::vector<std::uint32_t> range;    // per movable unit: steps to its target
    // The whole-number path (all catalogue units take it): remainders as integers.
    bool whole = false;
    WholeDimensions start_rest{};                  // target minus the start map's vector
    std::pmr::vector<WholeDimensions> step_change; // per movable unit: what one step takes from the remainder

    WholeDimensions rest_of(const std::uint32_t* steps) const noexcept {
        WholeDimensions rest = start_rest;
        for (std::size_t k = 0; k < step_change.size(); ++k) {
            if (steps[k] == 0) continue;
            const auto times = static_cast<std::int64_t>(steps[k]);
            for (std::size_t j = 0; j < DIMENSION_COUNT; ++j) rest[j] -= times * step_change[k][j];
        }
        return rest;
    }

    std::int32_t exponent(std::size_t unit, const std::uint32_t* steps) const noexcept {
        const std::uint32_t s = slot[unit];
        if (s == FIXED) return start[unit];
        return static_cast<std::int32_t>(static_cast<std::int64_t>(start[unit]) +
                                         static_cast<std::int64_t>(direction[s]) * steps[s]);
    }

    // The check as check_satisfies_base_units does it, for units that are not all whole.
    bool satisfies(const std::uint32_t* steps) const noexcept {
        Dimensions rest = *target;
        for (std::size_t i = 0; i < dimensions.size(); ++i) {
            const std::int32_t e = exponent(i, steps);
            if (e == 0 && finite) continue;
            take_away(rest, dimensions[i], e);
        }
        return all_zero(rest);
    }

    std::uint64_t successor_count(const std::uint32_t* steps, std::uint32_t last) const noexcept {
        std::uint64_t count = 0;
        for (std::size_t k = last; k < range.size(); ++k) count += steps[k] < range[k] ? 1 : 0;
        return count;
    }
};

// `units[i]` is unit i's dimension vector.
Space make_space(const Dimensions* const* units, const std::int32_t* target, const std::int32_t* start,
                 std::size_t n, const Dimensions& dimensions, Arena& arena);
// The exponents of the map `steps` stands for.
void decode(const Space& space, const std::uint32_t* steps, std::int32_t* out);
// check_satisfies_base_units on the space's units with the given exponents, in the same order.
bool satisfied_by(const Space& space, const std::int32_t* exponents);
// The answer when the budget runs out: the target map, which reproduces the vector by construction.
bool out_of_budget(const Space& space, const std::int32_t* target, SearchStats& out, std::int32_t* answer);

}  // namespace tarvel::search_detail
