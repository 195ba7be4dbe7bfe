#include "unit/search/pause.hpp"

#include <atomic>

namespace tarvel {

namespace {
std::atomic<std::uint64_t> search_pause_count{0};
thread_local const SearchPauseHooks* pause_hooks = nullptr;
}  // namespace

std::uint64_t search_pauses() noexcept { return search_pause_count.load(std::memory_order_relaxed); }

SearchPauseScope::SearchPauseScope(const SearchPauseHooks& hooks) noexcept : previous_(pause_hooks) {
    pause_hooks = &hooks;
}
SearchPauseScope::~SearchPauseScope() { pause_hooks = previous_; }

namespace search_detail {

const SearchPauseHooks* current_pause_hooks() noexcept { return pause_hooks; }
void count_search_pause() noexcept { search_pause_count.fetch_add(1, std::memory_order_relaxed); }

}  // namespace search_detail

}  // namespace tarvel
