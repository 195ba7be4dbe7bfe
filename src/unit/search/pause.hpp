#pragma once
// Letting other threads run while a long search works: hooks a host installs, and the pause a search
// keeps to call them.

#include <cstdint>
#include <limits>

namespace tarvel {

// Hooks a host installs so that other threads can run while a long search works. Inside a
// SearchPauseScope, a search on the same thread looks at its progress every `after` units of work (a map
// examined, roughly). Once it has run for `hold_ns` nanoseconds, and unless what it knows of the work
// left says it ends within that time again, it calls release(), then works on its own data only, and
// calls reacquire() with release()'s value before it returns. Releasing and taking back a lock costs a
// switch of threads, so a search that will end soon keeps it. Searches outside any scope never call
// them. reacquire() may throw, and such an exception leaves the search.
struct SearchPauseHooks {
    void* (*release)() = nullptr;
    void (*reacquire)(void*) = nullptr;
    std::uint64_t after = 2048;
    std::uint64_t hold_ns = 0;
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

// Lets other threads run while a long search works: the hooks of the innermost SearchPauseScope of this
// thread. A search calls resume() before it returns; the destructor takes the lock back only when an
// exception leaves the search.
class Pause {
public:
    Pause() noexcept;
    Pause(const Pause&) = delete;
    Pause& operator=(const Pause&) = delete;
    ~Pause() {
        if (released_) hooks_->reacquire(token_);
    }

    void note(std::uint64_t work) noexcept {
        work_ += work;
        if (work_ >= next_) [[unlikely]] consider();
    }
    // The most work the search can still do, in the units of note(); unknown until set.
    void bound_remaining(std::uint64_t work) noexcept { remaining_ = work; }
    // Takes back what release() gave up, if it did.
    void resume() {
        if (!released_) return;
        released_ = false;
        hooks_->reacquire(token_);
    }

private:
    static constexpr std::uint64_t NEVER = std::numeric_limits<std::uint64_t>::max();

    void consider() noexcept;

    const SearchPauseHooks* hooks_;
    std::uint64_t next_ = NEVER;
    std::uint64_t work_ = 0;
    std::uint64_t remaining_ = NEVER;
    std::int64_t started_ns_ = 0;
    void* token_ = nullptr;
    bool released_ = false;
};

}  // namespace search_detail

}  // namespace tarvel
