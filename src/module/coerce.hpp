#pragma once
// Taking Python values in as quantities (anything unit-like: a Tarvel, a LogTarvel, a float, an int of
// any size, unit text) and as numbers (a float, an int, a LogTarvel).

#include <Python.h>

#include <optional>
#include <string>
#include <utility>

#include "module/access.hpp"
#include "quantity/log_quantity.hpp"
#include "quantity/quantity.hpp"

namespace tarvel::py {

// A unit-like argument turned into a quantity. A Tarvel argument is read in place under shared access,
// held for as long as the operand lives, so nothing is copied; other arguments are converted.
class QuantityOperand {
public:
    const Quantity& get() const noexcept { return *quantity_; }

    void read_in_place(const Quantity& quantity, SharedAccess&& access) noexcept {
        access_ = std::move(access);
        quantity_ = &quantity;
    }
    void hold(Quantity&& quantity) {
        owned_.emplace(std::move(quantity));
        quantity_ = &*owned_;
    }
    // Keeps a copy (its units shared, not copied) and gives the instance back: for work that outlasts the
    // read, such as an element loop that releases the interpreter lock.
    void detach() {
        if (owned_) return;
        hold(Quantity(*quantity_));
        access_ = SharedAccess{};
    }

private:
    const Quantity* quantity_ = nullptr;
    std::optional<Quantity> owned_;
    SharedAccess access_;
};

enum class Extraction {
    Ok,
    // The argument cannot be taken. For a named method the argument's exception is set (without the
    // note: the caller adds it); for a slot no exception is left set and the slot answers NotImplemented.
    Failed,
    // Converting the argument raised something other than TypeError (KeyboardInterrupt, SystemExit,
    // MemoryError, ...): that exception is left set, and slots and methods alike let it propagate.
    Raised,
};

// `for_slot`: the caller discards failures, so no failure text (the object's str()) is built.
Extraction extract_unit_coercible(PyObject* object, QuantityOperand& out, bool for_slot);

// A number-like argument: its linear value, and the logarithmic quantity when it is a LogTarvel.
Extraction extract_py_number(PyObject* object, LogOperand& out, bool for_slot);

// The object's str() for error messages; "<unprintable T object>" (reporting the exception through the
// unraisable hook) when str() raises.
std::string text_of_object(PyObject* object);
// The kind of value an object is, for refusals: an ndarray's dtype ("complex128"), else its type's name.
std::string value_type_name(PyObject* object);

}  // namespace tarvel::py
