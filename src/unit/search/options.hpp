#pragma once
// What a caller may ask of a simplification search, and what it reports back.

#include <cstddef>
#include <cstdint>

namespace tarvel {

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

// How many searches in this process have run out of budget: a diagnostic, so that a test that records
// results can tell the answers that depend on the budget from the others.
std::uint64_t search_budget_exhaustions() noexcept;

}  // namespace tarvel
