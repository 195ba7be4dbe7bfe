#include "unit/search/pause.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>

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

void count_search_pause() noexcept { search_pause_count.fetch_add(1, std::memory_order_relaxed); }

namespace {
std::int64_t now_ns() noexcept {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
}  // namespace

Pause::Pause() noexcept : hooks_(pause_hooks) {
    if (!hooks_ || !hooks_->release || !hooks_->reacquire) return;
    next_ = std::max<std::uint64_t>(hooks_->after, 1);
    if (hooks_->hold_ns > 0) started_ns_ = now_ns();
}

void Pause::consider() noexcept {
    const std::uint64_t hold = hooks_->hold_ns;
    if (hold > 0) {
        const auto elapsed = static_cast<double>(now_ns() - started_ns_);
        // What is left, at the pace so far, ends within the hold time: keep the lock.
        const bool long_run = elapsed >= static_cast<double>(hold);
        const bool ends_soon = remaining_ != NEVER && static_cast<double>(remaining_) * elapsed /
                                                                 static_cast<double>(work_) <
                                                         static_cast<double>(hold);
        if (!long_run || ends_soon) {
            next_ = work_ + std::max<std::uint64_t>(hooks_->after, 1);
            return;
        }
    }
    next_ = NEVER;
    token_ = hooks_->release();
    released_ = true;
    count_search_pause();
}

}  // namespace search_detail

}  // namespace tarvel
