#include "module/search_lock.hpp"

#include <Python.h>

#include <bit>
#include <cstdint>

namespace tarvel::py {

namespace {

void* save_thread() { return PyEval_SaveThread(); }
void restore_thread(void* state) { PyEval_RestoreThread(static_cast<PyThreadState*>(state)); }

bool same_bits(double a, double b) noexcept { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

}  // namespace

const SearchPauseHooks& interpreter_pause_hooks() noexcept {
    static const SearchPauseHooks hooks{save_thread, restore_thread, 256};
    return hooks;
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
