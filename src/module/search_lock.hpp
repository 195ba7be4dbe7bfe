#pragma once
// Releasing the interpreter lock around long work that touches no Python object: a simplification search
// (which then works on a snapshot of the quantity taken while access to the instance was held, and takes
// access again only to store a result) and the element loops of large arrays.
//
// Taking the lock back is where a daemon thread meets interpreter shutdown: CPython ends such a thread
// with a forced unwind. A thread that comes back after shutdown began never takes the lock: it waits
// until the process ends, as CPython's own threads are meant to, so that no destructor of its frames runs
// against an interpreter being torn down. One that was already asking for the lock when shutdown began is
// ended by CPython with a forced unwind; reacquire_interpreter stops that unwind in its handler and waits
// there, so that again none of those destructors runs.

#include <utility>

#include "quantity/quantity.hpp"
#include "unit/search.hpp"

namespace tarvel::py {

// Releases the lock; the token is for reacquire_interpreter.
void* release_interpreter() noexcept;
// Takes the lock back (or never returns, see above).
void reacquire_interpreter(void* token);

// Runs `body` without the lock. `body` touches no Python object.
template <class Body>
void without_interpreter_lock(Body&& body) {
    void* token = release_interpreter();
    try {
        std::forward<Body>(body)();
    } catch (...) {
        reacquire_interpreter(token);
        throw;
    }
    reacquire_interpreter(token);
}

// Hooks that save the thread state (releasing the lock) and restore it.
const SearchPauseHooks& interpreter_pause_hooks() noexcept;

// Whether a search over q's units can be long enough to be worth a snapshot. A single unit is settled at
// once, and so are two whose exponents span few maps (m/s, N.m); two with large exponents can take
// milliseconds, (hf.J)**1e6 with hf a unit of fractional dimensions.
bool may_search_long(const Quantity& q) noexcept;

// Bit-for-bit the same value and the same unit entries: nothing changed the quantity in between.
bool same_quantity(const Quantity& a, const Quantity& b) noexcept;

}  // namespace tarvel::py
