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

#include "unit/single_unit/single_unit.hpp"
#include "unit/unit_collection.hpp"
#include "unit/unit_map.hpp"

namespace tarvel {

// Units with 32-bit exponents. The maps of one search all hold the same units in the same order, so the
// units are shared: copying a map copies a pointer and the exponents.
class IntExponentMap {
public:
    using Units = std::vector<SingleUnit>;

    IntExponentMap() : units_(std::make_shared<const Units>()) {}
    // Throws InternalError when the two sizes differ.
    IntExponentMap(std::shared_ptr<const Units> units, std::vector<std::int32_t> exponents);

    // The units of `map` in its order, with its exponents converted by to_int_exponent.
    static IntExponentMap from_unit_map(const UnitMap& map);

    std::size_t size() const noexcept { return exponents_.size(); }
    const SingleUnit& unit(std::size_t i) const noexcept { return (*units_)[i]; }
    std::int32_t exponent(std::size_t i) const noexcept { return exponents_[i]; }
    void set_exponent(std::size_t i, std::int32_t exponent) noexcept { exponents_[i] = exponent; }
    const std::vector<std::int32_t>& exponents() const noexcept { return exponents_; }
    const std::shared_ptr<const Units>& shared_units() const noexcept { return units_; }

    // Same units in the same order (the same shared list, or equal units one by one).
    bool same_units(const IntExponentMap& other) const noexcept;
    // The same units with these exponents. Throws InternalError when the size differs.
    IntExponentMap with_exponents(std::vector<std::int32_t> exponents) const;
    // Back to a unit map; every entry is kept, zero exponents included.
    UnitMap to_unit_map() const;

    friend bool operator==(const IntExponentMap& a, const IntExponentMap& b) noexcept {
        return a.exponents_ == b.exponents_ && a.same_units(b);
    }

private:
    std::shared_ptr<const Units> units_;
    std::vector<std::int32_t> exponents_;
};

// Truncates toward zero and saturates at the 32-bit limits; NaN gives 0.
std::int32_t to_int_exponent(double exponent) noexcept;

// True when the map reproduces `target` exactly: starting from the target, each entry's dimension vector
// times its exponent is taken away in map order, and all eight remainders must be 0.0.
bool check_satisfies_base_units(const IntExponentMap& map, const Dimensions& target);

inline constexpr std::uint64_t DEFAULT_SEARCH_MAP_BUDGET = std::uint64_t{1} << 17;
inline constexpr std::size_t DEFAULT_PARALLEL_LEVEL = 16384;
inline constexpr unsigned MAX_SEARCH_THREADS = 8;

struct SearchOptions {
    // Maps examined before the search gives up and answers with the target map.
    std::uint64_t map_budget = DEFAULT_SEARCH_MAP_BUDGET;
    // A level with at least this many successors is expanded on the worker threads.
    std::size_t parallel_level = DEFAULT_PARALLEL_LEVEL;
    // Threads that expand a large level, the calling thread included. 0: the number of cores, at most
    // MAX_SEARCH_THREADS. 1: the calling thread alone.
    unsigned threads = 0;
    // For tests: behave as if the system refused to start a thread.
    bool refuse_threads = false;
};

struct SearchStats {
    std::uint64_t maps_examined = 0;
    std::uint32_t levels = 0;
    // Threads that expanded at least one level, the calling thread included.
    unsigned threads_used = 1;
    // The budget ran out and the answer is the target map.
    bool budget_exhausted = false;
};

// Hooks a host installs so that other threads can run while a long search works. Inside a
// SearchPauseScope, a search on the same thread calls release() once it has done `after` units of work
// (a map examined, roughly), then works on its own data only, and calls reacquire() with release()'s
// value before it returns. Searches outside any scope never call them.
struct SearchPauseHooks {
    void* (*release)() = nullptr;
    void (*reacquire)(void*) = nullptr;
    std::uint64_t after = 2048;
};

class SearchPauseScope {
public:
    explicit SearchPauseScope(const SearchPauseHooks& hooks) noexcept;
    SearchPauseScope(const SearchPauseScope&) = delete;
    SearchPauseScope& operator=(const SearchPauseScope&) = delete;
    ~SearchPauseScope();

private:
    const SearchPauseHooks* previous_;
};

// How many searches in this process have called a release hook (a diagnostic).
std::uint64_t search_pauses() noexcept;

// How many searches in this process have run out of budget: a diagnostic, so that a test that records
// results can tell the answers that depend on the budget from the others.
std::uint64_t search_budget_exhaustions() noexcept;

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
