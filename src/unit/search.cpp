#include "unit/search.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <limits>
#include <memory_resource>
#include <mutex>
#include <thread>
#include <utility>

#include "error/tarvel_error.hpp"

namespace tarvel {

namespace {
std::atomic<std::uint64_t> budget_exhaustions{0};
}  // namespace

std::uint64_t search_budget_exhaustions() noexcept { return budget_exhaustions.load(std::memory_order_relaxed); }

IntExponentMap::IntExponentMap(std::shared_ptr<const Units> units, std::vector<std::int32_t> exponents)
    : units_(std::move(units)), exponents_(std::move(exponents)) {
    if (!units_ || units_->size() != exponents_.size()) {
        throw InternalError("integer exponent map: the number of exponents differs from the number of units");
    }
}

IntExponentMap IntExponentMap::from_unit_map(const UnitMap& map) {
    Units units;
    units.reserve(map.size());
    std::vector<std::int32_t> exponents;
    exponents.reserve(map.size());
    for (const UnitEntry& entry : map) {
        units.push_back(entry.unit);
        exponents.push_back(to_int_exponent(entry.exponent));
    }
    return IntExponentMap(std::make_shared<const Units>(std::move(units)), std::move(exponents));
}

bool IntExponentMap::same_units(const IntExponentMap& other) const noexcept {
    if (units_ == other.units_) return true;
    if (units_->size() != other.units_->size()) return false;
    for (std::size_t i = 0; i < units_->size(); ++i) {
        if (!((*units_)[i] == (*other.units_)[i])) return false;
    }
    return true;
}

IntExponentMap IntExponentMap::with_exponents(std::vector<std::int32_t> exponents) const {
    return IntExponentMap(units_, std::move(exponents));
}

UnitMap IntExponentMap::to_unit_map() const {
    UnitMap map;
    map.reserve(size());
    for (std::size_t i = 0; i < size(); ++i) map.push_back(unit(i), static_cast<double>(exponents_[i]));
    return map;
}

std::int32_t to_int_exponent(double exponent) noexcept {
    constexpr auto lowest = std::numeric_limits<std::int32_t>::min();
    constexpr auto highest = std::numeric_limits<std::int32_t>::max();
    if (std::isnan(exponent)) return 0;
    if (exponent <= static_cast<double>(lowest)) return lowest;
    if (exponent >= static_cast<double>(highest)) return highest;
    return static_cast<std::int32_t>(exponent);
}

namespace {

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

}  // namespace

bool check_satisfies_base_units(const IntExponentMap& map, const Dimensions& target) {
    Dimensions rest = target;
    for (std::size_t i = 0; i < map.size(); ++i) take_away(rest, map.unit(i).dimensions(), map.exponent(i));
    return all_zero(rest);
}

namespace {

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

// A map of the search is stored as the number of steps taken by each movable unit, plus the position of
// the last movable unit that stepped. A map's successors step only units at or after that position.
// Every map of a level then comes from exactly one parent, and the level is made in the same order as
// the breadth-first search that steps every unit and drops repeats (a map first appears as the child of
// its lexicographically smallest parent, the one that undoes its last step); this needs no set of seen
// maps. Each level holds the maps that are a given number of steps from the start map, so a map can never
// recur in a later level.
struct Level {
    explicit Level(Arena& arena) noexcept : steps(arena), last(arena) {}

    Buffer<std::uint32_t> steps;  // size * movable, row by row
    Buffer<std::uint32_t> last;   // size
    std::size_t size = 0;

    void resize(std::size_t maps, std::size_t movable) {
        steps.ensure(maps * movable);
        last.ensure(maps);
        size = maps;
    }
};

using WholeDimensions = std::array<std::int64_t, DIMENSION_COUNT>;

// Bounds under which every sum of the check is a whole number below 2^53: the check in doubles is then
// exact whatever its order, and the remainders can be worked out with integers.
constexpr double WHOLE_UNIT_LIMIT = 1024.0;
constexpr double WHOLE_TARGET_LIMIT = 1099511627776.0;  // 2^40
constexpr std::size_t WHOLE_UNIT_COUNT_LIMIT = 1024;

bool is_whole(double value, double limit) noexcept {
    return std::fabs(value) <= limit && value == std::trunc(value);
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

// One level's expansion, shared out in chunks of parents. Each child has a fixed position in the level
// (offsets), so chunks write disjoint parts of the next level and the answer is the satisfying child with
// the lowest position, whoever found it and whenever.
struct LevelJob {
    const Space* space = nullptr;
    const Level* parents = nullptr;
    Level* children = nullptr;
    const std::uint64_t* offsets = nullptr;  // parents->size + 1 entries
    std::uint64_t limit = 0;                 // children at or past this position are not made
    const std::size_t* chunk_begin = nullptr;  // chunk_count + 1 entries
    std::size_t chunk_count = 0;
    std::atomic<std::size_t> next_chunk{0};
    std::atomic<std::uint64_t> best{NOT_FOUND};

    void work() noexcept {
        for (;;) {
            const std::size_t chunk = next_chunk.fetch_add(1, std::memory_order_relaxed);
            if (chunk >= chunk_count) return;
            expand(chunk_begin[chunk], chunk_begin[chunk + 1]);
        }
    }

private:
    void expand(std::size_t first, std::size_t end) noexcept {
        const std::size_t width = space->range.size();
        for (std::size_t p = first; p < end; ++p) {
            std::uint64_t position = offsets[p];
            if (position >= limit || position > best.load(std::memory_order_relaxed)) return;
            const std::uint32_t* from = parents->steps.data() + p * width;
            WholeDimensions rest{};
            if (space->whole) rest = space->rest_of(from);
            for (std::size_t k = parents->last.data()[p]; k < width; ++k) {
                if (from[k] >= space->range[k]) continue;
                if (position >= limit) return;
                std::uint32_t* to = children->steps.data() + position * width;
                for (std::size_t j = 0; j < width; ++j) to[j] = from[j];
                ++to[k];
                children->last.data()[position] = static_cast<std::uint32_t>(k);
                if (space->whole ? zero_after_step(rest, k) : space->satisfies(to)) {
                    record(position);
                    return;
                }
                ++position;
            }
        }
    }

    bool zero_after_step(const WholeDimensions& rest, std::size_t k) const noexcept {
        const WholeDimensions& change = space->step_change[k];
        std::int64_t any = 0;
        for (std::size_t j = 0; j < DIMENSION_COUNT; ++j) any |= rest[j] - change[j];
        return any == 0;
    }

    void record(std::uint64_t position) noexcept {
        std::uint64_t current = best.load(std::memory_order_relaxed);
        while (position < current &&
               !best.compare_exchange_weak(current, position, std::memory_order_relaxed)) {
        }
    }
};

// A few threads that help the calling thread expand large levels. They are started on the first large
// level of a search and joined when the search ends, so none outlives the call.
class WorkerPool {
public:
    WorkerPool(unsigned helpers, bool refuse) {
        threads_.reserve(helpers);
        for (unsigned i = 0; i < helpers && !refuse; ++i) {
            try {
                threads_.emplace_back([this] { serve(); });
            } catch (const std::exception&) {
                // The system will not give us another thread: work with those we have, maybe none.
                break;
            }
        }
    }

    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    ~WorkerPool() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        for (std::thread& thread : threads_) thread.join();
    }

    unsigned helpers() const noexcept { return static_cast<unsigned>(threads_.size()); }

    // Runs job.work() on every helper and on the calling thread; returns when all of them are done.
    void run(LevelJob& job) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            job_ = &job;
            ++generation_;
            busy_ = helpers();
        }
        wake_.notify_all();
        job.work();
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return busy_ == 0; });
        job_ = nullptr;
    }

private:
    void serve() {
        std::uint64_t seen = 0;
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
            if (stopping_) return;
            seen = generation_;
            LevelJob* job = job_;
            lock.unlock();
            job->work();
            lock.lock();
            if (--busy_ == 0) done_.notify_one();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    LevelJob* job_ = nullptr;
    std::uint64_t generation_ = 0;
    unsigned busy_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

unsigned thread_count(const SearchOptions& options) {
    // Asking the system costs a few microseconds (it reads files); once per process is enough.
    static const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    return std::min(options.threads == 0 ? cores : options.threads, MAX_SEARCH_THREADS);
}

Space make_space(const IntExponentMap& target, const IntExponentMap& start, const Dimensions& dimensions,
                 Arena& arena) {
    Space space(arena);
    space.target = &dimensions;
    const std::size_t n = start.size();
    // Reserved up front: the arena never reuses what a growing vector leaves behind.
    space.dimensions.reserve(n);
    space.movable.reserve(n);
    space.direction.reserve(n);
    space.range.reserve(n);
    space.step_change.reserve(n);
    space.start.assign(start.exponents().begin(), start.exponents().end());
    space.slot.assign(n, FIXED);
    for (std::size_t i = 0; i < n; ++i) {
        const Dimensions& unit = start.unit(i).dimensions();
        space.dimensions.push_back(unit);
        for (double component : unit) space.finite = space.finite && std::isfinite(component);
        const std::int64_t from = start.exponent(i);
        const std::int64_t to = target.exponent(i);
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

    space.whole = n <= WHOLE_UNIT_COUNT_LIMIT;
    for (double component : dimensions) space.whole = space.whole && is_whole(component, WHOLE_TARGET_LIMIT);
    for (const Dimensions& unit : space.dimensions) {
        for (double component : unit) space.whole = space.whole && is_whole(component, WHOLE_UNIT_LIMIT);
    }
    if (!space.whole) return space;
    for (std::size_t k = 0; k < DIMENSION_COUNT; ++k) {
        std::int64_t rest = static_cast<std::int64_t>(dimensions[k]);
        for (std::size_t i = 0; i < n; ++i) {
            rest -= static_cast<std::int64_t>(space.dimensions[i][k]) * space.start[i];
        }
        space.start_rest[k] = rest;
    }
    for (std::size_t m = 0; m < space.movable.size(); ++m) {
        WholeDimensions change{};
        for (std::size_t k = 0; k < DIMENSION_COUNT; ++k) {
            change[k] = static_cast<std::int64_t>(space.dimensions[space.movable[m]][k]) * space.direction[m];
        }
        space.step_change.push_back(change);
    }
    return space;
}

IntExponentMap decode(const IntExponentMap& start, const Space& space, const std::uint32_t* steps) {
    std::vector<std::int32_t> exponents(start.size());
    for (std::size_t i = 0; i < exponents.size(); ++i) exponents[i] = space.exponent(i, steps);
    return start.with_exponents(std::move(exponents));
}

}  // namespace

std::optional<IntExponentMap> simplify_mapping_algorithm(const IntExponentMap& target,
                                                         const IntExponentMap& start,
                                                         const Dimensions& dimensions,
                                                         const SearchOptions& options, SearchStats* stats) {
    SearchStats local;
    SearchStats& out = stats ? *stats : local;
    out = SearchStats{};
    if (!start.same_units(target)) {
        throw InternalError("simplify search: the current map and the target map hold different units");
    }

    std::array<std::byte, ARENA_BYTES> arena_bytes;
    Arena arena(arena_bytes.data(), arena_bytes.size());
    const Space space = make_space(target, start, dimensions, arena);
    const std::size_t width = space.movable.size();
    if (width == 0) return std::nullopt;

    const std::uint64_t units = std::max<std::uint64_t>(start.size(), 1);
    std::uint64_t budget = options.map_budget;
    if (units > UNITS_PER_MAP_IN_BUDGET) budget = budget / units * UNITS_PER_MAP_IN_BUDGET;

    const unsigned threads = thread_count(options);
    std::optional<WorkerPool> pool;

    Level parents(arena);
    Level children(arena);
    parents.resize(1, width);  // the start map: no steps taken, every unit may step
    std::fill(parents.steps.data(), parents.steps.data() + width, 0u);
    parents.last.data()[0] = 0;
    std::pmr::vector<std::uint64_t> offsets(&arena);
    std::pmr::vector<std::size_t> chunk_begin(&arena);

    for (;;) {
        offsets.resize(parents.size + 1);
        offsets[0] = 0;
        for (std::size_t p = 0; p < parents.size; ++p) {
            offsets[p + 1] =
                offsets[p] + space.successor_count(parents.steps.data() + p * width, parents.last.data()[p]);
        }
        const std::uint64_t total = offsets[parents.size];
        if (total == 0) return std::nullopt;  // every map within reach has been examined

        const std::uint64_t remaining = budget - out.maps_examined;
        const std::uint64_t limit = std::min(total, remaining);
        if (limit == 0) break;

        children.resize(static_cast<std::size_t>(limit), width);
        LevelJob job;
        job.space = &space;
        job.parents = &parents;
        job.children = &children;
        job.offsets = offsets.data();
        job.limit = limit;

        const bool large = threads > 1 && limit >= options.parallel_level;
        if (large && !pool) pool.emplace(threads - 1, options.refuse_threads);
        if (large && pool->helpers() > 0) {
            // Several chunks per thread even out parents with many and few children.
            const std::size_t chunks = std::min<std::size_t>(parents.size, std::size_t{8} * threads);
            chunk_begin.resize(chunks + 1);
            chunk_begin[0] = 0;
            for (std::size_t c = 1; c < chunks; ++c) {
                const std::uint64_t first_child = limit * c / chunks;
                // The parent whose children include first_child.
                const auto end = offsets.begin() + static_cast<std::ptrdiff_t>(parents.size);
                const auto after = std::upper_bound(offsets.begin(), end, first_child);
                chunk_begin[c] = static_cast<std::size_t>(after - offsets.begin()) - 1;
            }
            chunk_begin[chunks] = parents.size;
            job.chunk_begin = chunk_begin.data();
            job.chunk_count = chunks;
            pool->run(job);
            out.threads_used = std::max(out.threads_used, pool->helpers() + 1);
        } else {
            chunk_begin.assign({0, parents.size});
            job.chunk_begin = chunk_begin.data();
            job.chunk_count = 1;
            job.work();
        }
        ++out.levels;

        const std::uint64_t found = job.best.load(std::memory_order_relaxed);
        if (found != NOT_FOUND) {
            out.maps_examined += found + 1;
            return decode(start, space, children.steps.data() + found * width);
        }
        out.maps_examined += limit;
        if (limit < total) break;
        std::swap(parents, children);
    }

    // Out of budget: the target map reproduces the vector by construction.
    out.budget_exhausted = true;
    budget_exhaustions.fetch_add(1, std::memory_order_relaxed);
    if (check_satisfies_base_units(target, dimensions)) return target;
    return std::nullopt;
}

}  // namespace tarvel
