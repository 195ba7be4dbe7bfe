#include "module/search_lock.hpp"

#include <Python.h>

#include <cxxabi.h>

#include <bit>
#include <cmath>
#include <chrono>
#include <cstdint>
#include <thread>

namespace tarvel::py {

namespace {

bool interpreter_finalizing() noexcept {
#if PY_VERSION_HEX >= 0x030D0000
    return Py_IsFinalizing() != 0;
#else
    return _Py_IsFinalizing() != 0;
#endif
}

// Whether shutdown had begun when this thread released the lock: then this thread is the one that runs
// it (no other holds the lock after it has begun), and it takes the lock back as usual.
thread_local bool released_while_finalizing = false;

[[noreturn]] void wait_for_process_end() {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

void* save_thread() { return release_interpreter(); }
void restore_thread(void* state) { reacquire_interpreter(state); }

bool same_bits(double a, double b) noexcept { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

}  // namespace

void* release_interpreter() noexcept {
    released_while_finalizing = interpreter_finalizing();
    return PyEval_SaveThread();
}

void reacquire_interpreter(void* token) {
    if (!released_while_finalizing && interpreter_finalizing()) wait_for_process_end();
    try {
        PyEval_RestoreThread(static_cast<PyThreadState*>(token));
    } catch (const abi::__forced_unwind&) {
        // Shutdown began between the check above and the request: CPython ends this thread without the
        // lock. Unwinding on would run destructors that release Python objects (arrays, buffers) without
        // the lock while the interpreter is torn down, and the thread-local tables' destructors after
        // them. The thread waits inside the handler instead, so the unwind is neither swallowed nor resumed.
        wait_for_process_end();
    }
}

const SearchPauseHooks& interpreter_pause_hooks() noexcept {
    // The progress is looked at every 256 maps; the lock is given up after a quarter of a millisecond,
    // unless the search is about to end. Searches of microseconds never reach it; searches of a
    // millisecond or two (two units with large exponents) let other threads run for most of their time.
    static const SearchPauseHooks hooks{save_thread, restore_thread, 256, 250'000};
    return hooks;
}

bool may_search_long(const Quantity& q) noexcept {
    const UnitMap& map = q.units->unit_map;
    if (map.size() != 2) return map.size() > 2;
    constexpr double FEW_MAPS = 256.0;
    return (std::fabs(map[0].exponent) + 1.0) * (std::fabs(map[1].exponent) + 1.0) > FEW_MAPS;
}

bool same_quantity(const Quantity& a, const Quantity& b) noexcept {
    if (!same_bits(a.value, b.value)) return false;
    if (a.units.same_as(b.units)) return true;
    if (!same_bits(a.units->factor, b.units->factor)) return false;
    for (std::size_t k = 0; k < DIMENSION_COUNT; ++k) {
        if (!same_bits(a.units->dimensions[k], b.units->dimensions[k])) return false;
    }
    const UnitMap& x = a.units->unit_map;
    const UnitMap& y = b.units->unit_map;
    if (x.size() != y.size()) return false;
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (!(x[i].unit == y[i].unit) || !same_bits(x[i].exponent, y[i].exponent)) return false;
    }
    return true;
}

}  // namespace tarvel::py
