#include "unit/search/level_search.hpp"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace tarvel::search_detail {

namespace {

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

}  // namespace

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
        pause.bound_remaining(budget - out.maps_examined - limit);
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


}  // namespace tarvel::search_detail
