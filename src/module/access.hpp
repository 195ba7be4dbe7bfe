#pragma once
// Shared/exclusive access to an instance. The interpreter lock is held throughout every call, so the flag
// needs no atomics; conflicts arise only when Python code run inside an operation (an argument's
// __str__, __index__, ...) re-enters the same instance.

#include <cstdint>

namespace tarvel::py {

struct AccessFlag {
    // > 0: that many shared users; -1: one exclusive user; 0: free.
    std::int32_t state = 0;
};

// Raise RuntimeError "Already mutably borrowed" / "Already borrowed"; return nullptr for convenience.
std::nullptr_t raise_already_mutably_borrowed();
std::nullptr_t raise_already_borrowed();

class SharedAccess {
public:
    SharedAccess() noexcept = default;
    explicit SharedAccess(AccessFlag& flag) noexcept {
        if (flag.state >= 0) {
            ++flag.state;
            flag_ = &flag;
        }
    }
    SharedAccess(const SharedAccess&) = delete;
    SharedAccess& operator=(const SharedAccess&) = delete;
    SharedAccess(SharedAccess&& other) noexcept : flag_(other.flag_) { other.flag_ = nullptr; }
    SharedAccess& operator=(SharedAccess&& other) noexcept {
        if (this != &other) {
            reset();
            flag_ = other.flag_;
            other.flag_ = nullptr;
        }
        return *this;
    }
    ~SharedAccess() { reset(); }
    // False when the instance is under exclusive access.
    explicit operator bool() const noexcept { return flag_ != nullptr; }
    void reset() noexcept {
        if (flag_) --flag_->state;
        flag_ = nullptr;
    }

private:
    AccessFlag* flag_ = nullptr;
};

class ExclusiveAccess {
public:
    explicit ExclusiveAccess(AccessFlag& flag) noexcept {
        if (flag.state == 0) {
            flag.state = -1;
            flag_ = &flag;
        }
    }
    ExclusiveAccess(const ExclusiveAccess&) = delete;
    ExclusiveAccess& operator=(const ExclusiveAccess&) = delete;
    ~ExclusiveAccess() {
        if (flag_) flag_->state = 0;
    }
    // False when any other access is held.
    explicit operator bool() const noexcept { return flag_ != nullptr; }

private:
    AccessFlag* flag_ = nullptr;
};

}  // namespace tarvel::py
