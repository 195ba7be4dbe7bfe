#pragma once
// Letting other threads run while a long search works: hooks a host installs, and the pause a search
// keeps to call them.

#include <cstdint>
#include <limits>

namespace tarvel {

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

namespace search_detail {

const SearchPauseHooks* current_pause_hooks() noexcept;
void count_search_pause() noexcept;

// Lets other threads run while a long search works: the hooks of the innermost SearchPauseScope of this
// thread are called once the search has done `after` units of work, and again when it ends.
class Pause {
public:
    Pause() noexcept
        : hooks_(current_pause_hooks()),
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
        count_search_pause();
    }

    const SearchPauseHooks* hooks_;
    std::uint64_t next_;
    std::uint64_t work_ = 0;
    void* token_ = nullptr;
    bool released_ = false;
};

}  // namespace search_detail

}  // namespace tarvel
