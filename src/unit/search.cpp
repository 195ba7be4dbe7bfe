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
std::atomic<std::uint64_t> search_pause_count{0};
thread_local const SearchPauseHooks* pause_hooks = nullptr;
}  // namespace

std::uint64_t search_budget_exhaustions() noexcept { return budget_exhaustions.load(std::memory_order_relaxed); }
std::uint64_t search_pauses() noexcept { return search_pause_count.load(std::memory_order_relaxed); }

SearchPauseScope::SearchPauseScope(const SearchPauseHooks& hooks) noexcept : previous_(pause_hooks) {
    pause_hooks = &hooks;
}
SearchPauseScope::~SearchPauseScope() { pause_hooks = previous_; }

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
    // Within the limit the conversion is exact for whole values (and defined for all); NaN fails the test.
    return std::fabs(value) <= limit && static_cast<double>(static_cast<std::int64_t>(value)) == value;
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

// `units[i]` is unit i's dimension vector.
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

void decode(const Space& space, const std::uint32_t* steps, std::int32_t* out) {
    for (std::size_t i = 0; i < space.start.size(); ++i) out[i] = space.exponent(i, steps);
}

// check_satisfies_base_units on the space's units with the given exponents, in the same order.
bool satisfied_by(const Space& space, const std::int32_t* exponents) {
    Dimensions rest = *space.target;
    for (std::size_t i = 0; i < space.dimensions.size(); ++i) take_away(rest, space.dimensions[i], exponents[i]);
    return all_zero(rest);
}



// Lets other threads run while a long search works: the hooks of the innermost SearchPauseScope of this
// thread are called once the search has done `after` units of work, and again when it ends.
class Pause {
public:
    Pause() noexcept
        : hooks_(pause_hooks),
          next_(hooks_ && hooks_->release && hooks_->reacquire ? hooks_->after
                                                               : std::numeric_limits<std::uint64_t>::max()) {}
    Pause(const Pause&) = delete;
    Pause& operator=(const Pause&) = delete;
    ~Pause() {
        if (released_) hooks_->reacquire(token_);
    }

    void note(std::uint64_t work) noexcept {
        work_ += work;
        if (work_ >= next_) [[unlikely]] release();
    }

private:
    void release() noexcept {
        next_ = std::numeric_limits<std::uint64_t>::max();
        token_ = hooks_->release();
        released_ = true;
        search_pause_count.fetch_add(1, std::memory_order_relaxed);
    }

    const SearchPauseHooks* hooks_;
    std::uint64_t next_;
    std::uint64_t work_ = 0;
    void* token_ = nullptr;
    bool released_ = false;
};

// The answer when the budget runs out: the target map, which reproduces the vector by construction.
bool out_of_budget(const Space& space, const std::int32_t* target, SearchStats& out, std::int32_t* answer) {
    out.budget_exhausted = true;
    budget_exhaustions.fetch_add(1, std::memory_order_relaxed);
    if (!satisfied_by(space, target)) return false;
    std::copy(target, target + space.start.size(), answer);
    return true;
}

// The level-by-level search over single steps: the reference for the grouped search, and the search for
// units whose dimensions are not all small whole numbers. Writes the answer's exponents to `answer`.
bool level_search(const Space& space, const std::int32_t* target, std::uint64_t budget,
                  const SearchOptions& options, SearchStats& out, Pause& pause, Arena& arena,
                  std::int32_t* answer) {
    const std::size_t width = space.movable.size();
    if (width == 0) return false;

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
        if (total == 0) return false;  // every map within reach has been examined

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
        pause.note(limit);

        const std::uint64_t found = job.best.load(std::memory_order_relaxed);
        if (found != NOT_FOUND) {
            out.maps_examined += found + 1;
            decode(space, children.steps.data() + found * width, answer);
            return true;
        }
        out.maps_examined += limit;
        if (limit < total) break;
        std::swap(parents, children);
    }

    return out_of_budget(space, target, out, answer);
}


// --- The grouped search -------------------------------------------------------------------------------
//
// On the whole-number path a map reproduces the vector when start_rest minus the sum of steps times step
// changes is zero, so only the total number of steps taken by each group of units with the same step
// change matters. The level-by-level search meets the maps of a level in descending lexicographic order
// of their step counts (a map is made from the parent that undoes its last step, after that parent's
// earlier siblings), and its answer is the first satisfying map of the lowest level that has one. Among
// the maps with given group totals the lexicographically largest is the greedy one (each unit, in map
// order, takes as many of its group's steps as it can), so the answer is the largest greedy fill over the
// satisfying totals of the lowest level, and its position in that search can be counted.
//
// The totals are found with linear algebra: some groups (pivots) have independent step changes spanning
// those of the others, and for every choice of the free groups' totals the pivots' totals are fixed by
// one small integer system. Only the free totals are enumerated, by increasing sum, with the pivots'
// scaled totals carried from parent to child.

__extension__ typedef __int128 Wide;

constexpr Wide WIDE_LIMIT = Wide{1} << 100;
constexpr std::int64_t CARRY_LIMIT = std::int64_t{1} << 62;

Wide wide_abs(Wide value) noexcept { return value < 0 ? -value : value; }

Wide wide_gcd(Wide a, Wide b) noexcept {
    a = wide_abs(a);
    b = wide_abs(b);
    while (b != 0) {
        const Wide r = a % b;
        a = b;
        b = r;
    }
    return a;
}

// A fraction-free echelon basis of vectors of `length` entries: tells whether a vector is independent of
// those added so far. False from add() also when the numbers grow too large to be trusted.
class Echelon {
public:
    explicit Echelon(std::size_t length) noexcept : length_(length) {}

    // Adds the vector when it is independent of the basis; `independent` says whether it was.
    bool add(const Wide* vector, bool& independent) noexcept {
        std::array<Wide, DIMENSION_COUNT> v{};
        for (std::size_t k = 0; k < length_; ++k) v[k] = vector[k];
        for (std::size_t b = 0; b < count_; ++b) {
            const Wide lead = rows_[b][pivot_[b]];
            const Wide factor = v[pivot_[b]];
            if (factor == 0) continue;
            Wide divisor = 0;
            for (std::size_t k = 0; k < length_; ++k) {
                v[k] = v[k] * lead - rows_[b][k] * factor;
                if (wide_abs(v[k]) > WIDE_LIMIT) return false;
                if (count_ > 1) divisor = wide_gcd(divisor, v[k]);
            }
            if (divisor > 1) {
                for (std::size_t k = 0; k < length_; ++k) v[k] /= divisor;
            }
        }
        independent = false;
        for (std::size_t k = 0; k < length_ && !independent; ++k) {
            if (v[k] == 0) continue;
            independent = true;
            pivot_[count_] = k;
            rows_[count_] = v;
            ++count_;
        }
        return true;
    }
    std::size_t size() const noexcept { return count_; }

private:
    std::size_t length_;
    std::size_t count_ = 0;
    std::array<std::array<Wide, DIMENSION_COUNT>, DIMENSION_COUNT> rows_;  // the first count_ are set
    std::array<std::size_t, DIMENSION_COUNT> pivot_;
};

using Square = std::array<std::array<Wide, DIMENSION_COUNT>, DIMENSION_COUNT>;

// The determinant of the leading n-by-n block, by fraction-free elimination (every division exact).
Wide determinant(Square m, std::size_t n) noexcept {
    Wide sign = 1;
    Wide previous = 1;
    for (std::size_t k = 0; k < n; ++k) {
        std::size_t row = k;
        while (row < n && m[row][k] == 0) ++row;
        if (row == n) return 0;
        if (row != k) {
            std::swap(m[row], m[k]);
            sign = -sign;
        }
        for (std::size_t i = k + 1; i < n; ++i) {
            for (std::size_t j = k + 1; j < n; ++j) m[i][j] = (m[i][j] * m[k][k] - m[i][k] * m[k][j]) / previous;
            m[i][k] = 0;
        }
        previous = m[k][k];
    }
    return sign * m[n - 1][n - 1];
}

// Saturating counts: a stored count at `cap` means "at least cap".
struct Counter {
    std::uint64_t cap;
    std::uint64_t clamp(Wide value) const noexcept {
        return value >= static_cast<Wide>(cap) ? cap : static_cast<std::uint64_t>(value);
    }
};

// poly times (1 + x + ... + x^range), keeping its length.
void times_run(std::pmr::vector<std::uint64_t>& poly, std::uint64_t range, const Counter& counter) noexcept {
    const std::size_t top = poly.size();
    if (top == 0) return;
    Wide window = 0;
    const std::size_t last = top - 1;
    const std::size_t low = range >= last ? 0 : static_cast<std::size_t>(last - range);
    for (std::size_t j = low; j <= last; ++j) window += poly[j];
    for (std::size_t l = top; l-- > 0;) {
        const std::uint64_t own = poly[l];
        poly[l] = counter.clamp(window);
        window -= own;
        if (range < l) window += poly[l - static_cast<std::size_t>(range) - 1];
    }
}

struct Group {
    WholeDimensions change{};
    std::uint64_t range = 0;  // the members' steps together
};

struct GroupedSearch {
    explicit GroupedSearch(Arena& arena)
        : group_of(&arena), groups(&arena), free(&arena), pivots(&arena), carried(&arena), step(&arena),
          low(&arena), high(&arena), least(&arena), totals(&arena), candidate(&arena), best(&arena),
          left(&arena) {}

    const Space* space = nullptr;
    Pause* pause = nullptr;
    std::pmr::vector<std::uint32_t> group_of;  // per movable unit
    std::pmr::vector<Group> groups;
    std::pmr::vector<std::uint32_t> free;      // group numbers
    std::pmr::vector<std::uint32_t> pivots;    // group numbers
    std::int64_t scale = 1;                    // the pivots' totals times this are carried
    std::pmr::vector<std::int64_t> carried;    // per pivot
    std::pmr::vector<std::int64_t> step;       // free x pivot: what one step of a free group takes from it
    std::pmr::vector<std::int64_t> low;        // (free + 1) x pivot: the least the later free groups add
    std::pmr::vector<std::int64_t> high;       // (free + 1) x pivot: the most they add
    std::pmr::vector<Wide> least;              // free + 1: the least the later free groups add to the level
    std::pmr::vector<std::uint64_t> totals;    // per group
    std::pmr::vector<std::uint32_t> candidate; // per movable unit
    std::pmr::vector<std::uint32_t> best;      // per movable unit, valid when best_level is set
    std::pmr::vector<std::uint64_t> left;      // per group
    std::uint64_t bound = 0;                   // the highest level still of interest
    std::uint64_t best_level = 0;
    bool found = false;

    // Fills the free totals of free groups i.., those before having taken `taken` steps. Prunes with the
    // pivots' ranges and with a lower bound on the level (scaled by `scale`).
    void visit(std::size_t i, std::uint64_t taken) noexcept {
        pause->note(1);
        const std::size_t r = pivots.size();
        Wide level = static_cast<Wide>(scale) * taken + least[i];
        for (std::size_t g = 0; g < r; ++g) {
            const std::int64_t most = scale * static_cast<std::int64_t>(groups[pivots[g]].range);
            if (carried[g] + high[i * r + g] < 0 || carried[g] + low[i * r + g] > most) return;
            level += carried[g];
        }
        if (level > static_cast<Wide>(scale) * bound) return;
        if (i == free.size()) {
            leaf();
            return;
        }
        const std::uint32_t group = free[i];
        std::uint64_t t = 0;
        for (;; ++t) {
            totals[group] = t;
            visit(i + 1, taken + t);
            // The bound shrinks as answers are found.
            if (t == groups[group].range || taken + t + 1 > bound) break;
            for (std::size_t g = 0; g < r; ++g) carried[g] -= step[i * r + g];
        }
        for (std::size_t g = 0; g < r; ++g) carried[g] += static_cast<std::int64_t>(t) * step[i * r + g];
        totals[group] = 0;
    }

    // Every free vector up to the bound, in passes of doubling bounds up to `deepest`: an answer of a low
    // level ends the search early.
    void run(std::uint64_t deepest) noexcept {
        for (std::uint64_t limit = std::min<std::uint64_t>(deepest, 2);; limit = std::min(deepest, limit * 2)) {
            bound = limit;
            visit(0, 0);
            if (found || limit == deepest) return;
        }
    }

    void leaf() noexcept {
        std::uint64_t level = 0;
        for (std::uint32_t group : free) level += totals[group];
        for (std::size_t g = 0; g < pivots.size(); ++g) {
            if (carried[g] % scale != 0) return;
            const auto total = static_cast<std::uint64_t>(carried[g] / scale);
            totals[pivots[g]] = total;
            level += total;
        }
        if (level == 0 || level > bound) return;
        // The pivots' system used only some components; the others must vanish too.
        std::array<Wide, DIMENSION_COUNT> rest{};
        for (std::size_t k = 0; k < DIMENSION_COUNT; ++k) rest[k] = space->start_rest[k];
        for (std::size_t g = 0; g < groups.size(); ++g) {
            if (totals[g] == 0) continue;
            for (std::size_t k = 0; k < DIMENSION_COUNT; ++k) {
                rest[k] -= static_cast<Wide>(totals[g]) * groups[g].change[k];
            }
        }
        for (Wide component : rest) {
            if (component != 0) return;
        }
        // The greedy fill of these totals, against the best so far.
        for (std::size_t g = 0; g < groups.size(); ++g) left[g] = totals[g];
        for (std::size_t m = 0; m < candidate.size(); ++m) {
            const std::uint32_t g = group_of[m];
            const std::uint64_t taken = std::min<std::uint64_t>(space->range[m], left[g]);
            candidate[m] = static_cast<std::uint32_t>(taken);
            left[g] -= taken;
        }
        if (found && level == best_level &&
            !std::lexicographical_compare(best.begin(), best.end(), candidate.begin(), candidate.end())) {
            return;
        }
        best.assign(candidate.begin(), candidate.end());
        best_level = level;
        found = true;
        bound = level;
    }
};

enum class Grouped { Found, None, OutOfBudget, Unsuitable };

// Sets up the groups, the pivots and their integer system; false when its numbers would be too large.
bool prepare(GroupedSearch& search, const Space& space) {
    const std::size_t width = space.movable.size();
    search.group_of.resize(width);
    for (std::size_t m = 0; m < width; ++m) {
        std::size_t g = 0;
        while (g < search.groups.size() && search.groups[g].change != space.step_change[m]) ++g;
        if (g == search.groups.size()) search.groups.push_back(Group{space.step_change[m], 0});
        search.groups[g].range += space.range[m];
        search.group_of[m] = static_cast<std::uint32_t>(g);
    }
    const std::size_t count = search.groups.size();

    // Pivots: the groups of the largest ranges that are independent, so that the enumerated ones are small.
    std::pmr::vector<std::uint32_t> order(count, search.groups.get_allocator());
    for (std::size_t g = 0; g < count; ++g) order[g] = static_cast<std::uint32_t>(g);
    for (std::size_t i = 1; i < count; ++i) {  // stable, by decreasing range
        for (std::size_t j = i; j > 0 && search.groups[order[j - 1]].range < search.groups[order[j]].range; --j) {
            std::swap(order[j - 1], order[j]);
        }
    }
    Echelon columns(DIMENSION_COUNT);
    std::pmr::vector<bool> is_pivot(count, false, search.groups.get_allocator());
    for (std::uint32_t g : order) {
        if (columns.size() == DIMENSION_COUNT) break;
        std::array<Wide, DIMENSION_COUNT> column{};
        for (std::size_t k = 0; k < DIMENSION_COUNT; ++k) column[k] = search.groups[g].change[k];
        bool independent = false;
        if (!columns.add(column.data(), independent)) return false;
        is_pivot[g] = independent;
    }
    for (std::size_t g = 0; g < count; ++g) {
        (is_pivot[g] ? search.pivots : search.free).push_back(static_cast<std::uint32_t>(g));
    }
    const std::size_t r = search.pivots.size();

    // Components on which the pivots' changes are independent: their square system decides the totals.
    Echelon rows(r);
    std::array<std::size_t, DIMENSION_COUNT> component{};
    for (std::size_t k = 0; k < DIMENSION_COUNT && rows.size() < r; ++k) {
        std::array<Wide, DIMENSION_COUNT> row{};
        for (std::size_t g = 0; g < r; ++g) row[g] = search.groups[search.pivots[g]].change[k];
        bool independent = false;
        const std::size_t before = rows.size();
        if (!rows.add(row.data(), independent)) return false;
        if (independent) component[before] = k;
    }
    Square a;  // only its leading r-square is used
    double hadamard = 1.0;
    for (std::size_t g = 0; g < r; ++g) {
        double norm = 0.0;
        for (std::size_t i = 0; i < r; ++i) {
            a[i][g] = search.groups[search.pivots[g]].change[component[i]];
            norm += static_cast<double>(a[i][g]) * static_cast<double>(a[i][g]);
        }
        hadamard *= std::sqrt(norm);
    }
    if (hadamard > 1e24) return false;
    Wide det = r == 0 ? Wide{1} : determinant(a, r);
    if (det == 0) return false;  // cannot happen with independent rows; refuse rather than divide by it
    // The adjugate: totals = adjugate * (right-hand side) / det.
    Square adjugate;  // only its leading r-square is used
    for (std::size_t i = 0; i < r; ++i) {
        for (std::size_t j = 0; j < r; ++j) {
            Square minor;  // only its leading (r - 1)-square is written and read
            for (std::size_t x = 0, mx = 0; x < r; ++x) {
                if (x == j) continue;
                for (std::size_t y = 0, my = 0; y < r; ++y) {
                    if (y == i) continue;
                    minor[mx][my++] = a[x][y];
                }
                ++mx;
            }
            const Wide cofactor = r == 1 ? Wide{1} : determinant(minor, r - 1);
            adjugate[i][j] = (i + j) % 2 == 0 ? cofactor : -cofactor;
        }
    }
    if (det < 0) {
        det = -det;
        for (std::size_t i = 0; i < r; ++i) {
            for (std::size_t j = 0; j < r; ++j) adjugate[i][j] = -adjugate[i][j];
        }
    }
    if (det > CARRY_LIMIT) return false;
    search.scale = static_cast<std::int64_t>(det);

    const std::size_t f = search.free.size();
    auto apply = [&](std::size_t g, const WholeDimensions& v) {
        Wide sum = 0;
        for (std::size_t j = 0; j < r; ++j) sum += adjugate[g][j] * static_cast<Wide>(v[component[j]]);
        return sum;
    };
    search.carried.resize(r);
    search.step.resize(f * r);
    search.low.assign((f + 1) * r, 0);
    search.high.assign((f + 1) * r, 0);
    search.least.assign(f + 1, 0);
    for (std::size_t g = 0; g < r; ++g) {
        const Wide start = apply(g, space.start_rest);
        Wide reach = wide_abs(start) + static_cast<Wide>(search.scale) * search.groups[search.pivots[g]].range;
        std::array<Wide, 2> bounds{0, 0};
        for (std::size_t i = f; i-- > 0;) {
            const Wide one = apply(g, search.groups[search.free[i]].change);
            const Wide all = one * static_cast<Wide>(search.groups[search.free[i]].range);
            reach += wide_abs(all);
            if (reach > CARRY_LIMIT) return false;
            search.step[i * r + g] = static_cast<std::int64_t>(one);
            // Taking `all` away: the later groups' sums lie between these.
            bounds[0] += std::min<Wide>(0, -all);
            bounds[1] += std::max<Wide>(0, -all);
            search.low[i * r + g] = static_cast<std::int64_t>(bounds[0]);
            search.high[i * r + g] = static_cast<std::int64_t>(bounds[1]);
        }
        if (reach > CARRY_LIMIT) return false;
        search.carried[g] = static_cast<std::int64_t>(start);
    }
    // A step of free group i changes the scaled level by scale minus what it takes from the pivots.
    for (std::size_t i = f; i-- > 0;) {
        Wide change = search.scale;
        for (std::size_t g = 0; g < r; ++g) change -= search.step[i * r + g];
        const Wide all = change * static_cast<Wide>(search.groups[search.free[i]].range);
        search.least[i] = search.least[i + 1] + std::min<Wide>(0, all);
    }
    search.totals.assign(count, 0);
    search.left.assign(count, 0);
    search.candidate.assign(width, 0);
    search.best.reserve(width);
    return true;
}

// `counted`: the statistics are wanted. Without them a search whose every map fits in the budget needs
// no counting at all.
Grouped grouped_search(const Space& space, std::uint64_t budget, bool counted, SearchStats& out, Pause& pause,
                       Arena& arena, std::int32_t* answer) {
    const std::size_t width = space.movable.size();
    GroupedSearch search(arena);
    search.space = &space;
    search.pause = &pause;
    if (!prepare(search, space)) return Grouped::Unsuitable;

    if (!counted) {
        Wide maps = 1;  // every map within reach, the start map included
        for (std::uint32_t range : space.range) {
            maps *= Wide{range} + 1;
            if (maps - 1 > Wide{budget}) break;
        }
        if (maps - 1 <= Wide{budget}) {
            std::uint64_t deepest = 0;
            for (std::uint32_t range : space.range) deepest += range;
            search.run(deepest);
            if (!search.found) return Grouped::None;
            decode(space, search.best.data(), answer);
            return Grouped::Found;
        }
    }

    // Level sizes of the level-by-level search, up to the first level that fills the budget.
    const Counter counter{budget == std::numeric_limits<std::uint64_t>::max() ? budget : budget + 1};
    std::uint64_t deepest = 0;  // the sum of all ranges
    for (std::uint32_t range : space.range) deepest += range;
    std::pmr::vector<std::uint64_t> sizes(&arena);
    std::pmr::vector<std::uint64_t> before(&arena);  // before[l]: maps of levels 1 .. l - 1
    for (std::uint64_t degree = std::min<std::uint64_t>(deepest, 16);; degree = std::min(deepest, degree * 2)) {
        sizes.assign(static_cast<std::size_t>(degree) + 1, 0);
        sizes[0] = 1;
        for (std::uint32_t range : space.range) times_run(sizes, range, counter);
        pause.note(degree * width);
        before.assign(sizes.size() + 1, 0);
        for (std::size_t l = 1; l < sizes.size(); ++l) before[l + 1] = counter.clamp(Wide{before[l]} + sizes[l]);
        if (before.back() >= budget || degree == deepest) break;
    }
    const std::uint64_t reached = before.back();  // maps of levels 1 .. degree
    // Levels whose first map lies within the budget.
    std::uint64_t last_level = 0;
    while (last_level + 1 < sizes.size() && before[last_level + 1] < budget) ++last_level;

    search.run(last_level);

    auto exhausted = [&] {
        std::uint32_t levels = 0;
        while (levels + 1 < sizes.size() && before[levels + 1] < budget) ++levels;
        // The first level whose end reaches the budget.
        out.levels = levels;
        out.maps_examined = budget;
        return Grouped::OutOfBudget;
    };
    if (!search.found) {
        if (sizes.size() - 1 == deepest && reached <= budget) {
            out.levels = static_cast<std::uint32_t>(deepest);
            out.maps_examined = reached;
            return Grouped::None;
        }
        return exhausted();
    }

    // The answer's position in its level: the maps of the level that are lexicographically larger.
    const std::uint64_t level = search.best_level;
    std::pmr::vector<std::uint64_t> prefix(width + 1, 0, &arena);
    for (std::size_t m = 0; m < width; ++m) prefix[m + 1] = prefix[m] + search.best[m];
    std::pmr::vector<std::uint64_t> ways(static_cast<std::size_t>(level) + 1, 0, &arena);
    ways[0] = 1;  // ways[x]: step counts of the units after m with x steps in all
    Wide larger = 0;
    for (std::size_t m = width; m-- > 0;) {
        const std::uint64_t rest = level - prefix[m];
        const std::uint64_t most = std::min<std::uint64_t>(space.range[m], rest);
        for (std::uint64_t v = std::uint64_t{search.best[m]} + 1; v <= most && larger < budget; ++v) {
            larger += ways[static_cast<std::size_t>(rest - v)];
        }
        times_run(ways, space.range[m], counter);
    }
    pause.note(level * width);
    const std::uint64_t position = counter.clamp(Wide{before[static_cast<std::size_t>(level)]} + larger);
    if (position >= budget) return exhausted();
    out.levels = static_cast<std::uint32_t>(level);
    out.maps_examined = position + 1;
    decode(space, search.best.data(), answer);
    return Grouped::Found;
}


// The commonest search, settled without setting anything up: every unit that may step changes the
// remainder alike (m.ft, s.min/Hz), and all its maps fit in the budget. The grouped search with a single
// group and no counting, on the caller's arrays.
enum class Quick { Found, None, Unsuitable };

Quick one_group_search(const Dimensions* const* units, const std::int32_t* target, const std::int32_t* start,
                       std::size_t n, const Dimensions& dimensions, std::uint64_t budget, std::int32_t* answer) {
    constexpr std::size_t MOST = 16;
    if (n > MOST) return Quick::Unsuitable;
    for (double component : dimensions) {
        if (!is_whole(component, WHOLE_TARGET_LIMIT)) return Quick::Unsuitable;
    }
    WholeDimensions rest{};
    for (std::size_t k = 0; k < DIMENSION_COUNT; ++k) rest[k] = static_cast<std::int64_t>(dimensions[k]);
    WholeDimensions change{};
    std::array<std::int32_t, MOST> direction{};
    std::int64_t steps = 0;  // the group's range
    Wide maps = 1;
    bool first = true;
    for (std::size_t i = 0; i < n; ++i) {
        const Dimensions& unit = *units[i];
        WholeDimensions own;
        for (std::size_t k = 0; k < DIMENSION_COUNT; ++k) {
            if (!is_whole(unit[k], WHOLE_UNIT_LIMIT)) return Quick::Unsuitable;
            own[k] = static_cast<std::int64_t>(unit[k]);
            if (start[i] != 0) rest[k] -= own[k] * start[i];
        }
        const std::int64_t from = start[i];
        const std::int64_t to = target[i];
        if (from < to && to > 0) direction[i] = 1;
        if (from > to && to < 0) direction[i] = -1;
        if (direction[i] == 0) continue;
        if (direction[i] < 0) {
            for (std::int64_t& component : own) component = -component;
        }
        if (!first && own != change) return Quick::Unsuitable;
        change = own;
        first = false;
        const std::int64_t range = to > from ? to - from : from - to;
        steps += range;
        maps *= Wide{range} + 1;
        if (maps - 1 > Wide{budget}) return Quick::Unsuitable;
    }
    if (first) return Quick::None;
    // The group's total t solves t * change = rest.
    std::int64_t t = 1;  // a change of zero: one step is the shortest
    std::size_t k = 0;
    while (k < DIMENSION_COUNT && change[k] == 0) ++k;
    if (k < DIMENSION_COUNT) {
        if (rest[k] % change[k] != 0) return Quick::None;
        t = rest[k] / change[k];
    }
    if (t < 1 || t > steps) return Quick::None;
    for (std::size_t j = 0; j < DIMENSION_COUNT; ++j) {
        if (rest[j] != t * change[j]) return Quick::None;
    }
    for (std::size_t i = 0; i < n; ++i) {
        answer[i] = start[i];
        if (direction[i] == 0) continue;
        const std::int64_t range = target[i] > start[i] ? std::int64_t{target[i]} - start[i]
                                                        : std::int64_t{start[i]} - target[i];
        const std::int64_t taken = std::min(range, t);
        t -= taken;
        answer[i] = static_cast<std::int32_t>(start[i] + direction[i] * taken);
    }
    return Quick::Found;
}

// Shared by both entry points: the arena, the space, the budget, and the choice of search.
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
    if (space.whole && !reference && !small_space(space)) {
        switch (grouped_search(space, budget, counted, out, pause, arena, answer)) {
            case Grouped::Found: return true;
            case Grouped::None: return false;
            case Grouped::OutOfBudget: return out_of_budget(space, target, out, answer);
            case Grouped::Unsuitable: out = SearchStats{}; break;
        }
    }
    return level_search(space, target, budget, options, out, pause, arena, answer);
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
