#pragma once
// What the three classes (Tarvel, LogTarvel, TarvelArray) share, written once: the failure sentinel, the
// method and slot adaptors of their tables, access to an instance's record, results from library calls,
// the class object made once from its spec and added to the module, and the copy and pickle protocols.
// A class file holds its own methods and its slot table.

#include <Python.h>

#include <array>
#include <algorithm>
#include <atomic>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "module/access.hpp"
#include "module/args.hpp"
#include "module/boundary.hpp"
#include "module/objects.hpp"
#include "module/py_ref.hpp"

namespace tarvel::py {

// What every method and slot returning an object returns on failure (an exception is set).
inline constexpr PyObject* FAILED = nullptr;

// --- Method tables ---------------------------------------------------------------------------------------

using FastMethod = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
using KeywordMethod = PyObject* (*)(PyObject*, PyObject*, PyObject*);

// PyMethodDef stores every kind of method as PyCFunction; the flags tell the interpreter the real
// signature. Going through void (*)() keeps the compiler's cast-function-type check quiet.
inline PyCFunction as_method(FastMethod function) noexcept {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}
inline PyCFunction as_method(KeywordMethod function) noexcept {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

template <class Function>
void* as_slot(Function function) noexcept {
    return reinterpret_cast<void*>(function);
}

inline constexpr int INSTANCE = METH_FASTCALL | METH_KEYWORDS;
inline constexpr int CLASS = METH_FASTCALL | METH_KEYWORDS | METH_CLASS;

// --- The class object ------------------------------------------------------------------------------------

// A class object made from its spec on first use and kept for the life of the process. Publication is
// atomic: two threads racing to make it (free-threaded builds) both end with the same object, the loser
// dropping its own.
class ClassObject {
public:
    using SpecMaker = PyType_Spec& (*)();
    explicit constexpr ClassObject(SpecMaker make) noexcept : make_(make) {}

    // The class, or nullptr with an exception set when it could not be made.
    PyTypeObject* get() {
        PyTypeObject* type = type_.load(std::memory_order_acquire);
        return type ? type : make();
    }
    // An exact instance (the classes cannot be subclassed); false before the class exists.
    bool is_instance(PyObject* object) const noexcept {
        PyTypeObject* type = type_.load(std::memory_order_acquire);
        return type && Py_IS_TYPE(object, type);
    }

private:
    PyTypeObject* make();
    SpecMaker make_;
    std::atomic<PyTypeObject*> type_{nullptr};
};

// The spec of a class whose instances are `Object`s (no item size).
template <class Object>
constexpr PyType_Spec class_spec(const char* name, unsigned int flags, PyType_Slot* slots) noexcept {
    return PyType_Spec{name, static_cast<int>(sizeof(Object)), 0, flags, slots};
}

// module.<class name> = type, the name appended to module.__all__ (made on first use); -1 on failure.
int add_class(PyObject* module, PyTypeObject* type);

// A method's name as a template argument: no_arguments<"exp", body> is the method exp($self).
template <std::size_t N>
struct MethodName {
    char text[N];
    constexpr MethodName(const char (&name)[N]) { std::copy_n(name, N, text); }  // NOLINT: implicit by design
};

// A method without parameters: body(self) once the call is checked to pass nothing.
template <MethodName Name, PyObject* (*Body)(PyObject*)>
PyObject* no_arguments(PyObject* self, PyObject* const*, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded(FAILED, [&]() -> PyObject* {
        if (!parse_no_arguments(Name.text, nargsf, kwnames)) return nullptr;
        return Body(self);
    });
}

// A method of one parameter: body(self, argument) once the call is checked; an optional argument that
// was not given is nullptr.
template <MethodName Name, MethodName Parameter, bool Required, PyObject* (*Body)(PyObject*, PyObject*)>
PyObject* one_argument(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded(FAILED, [&]() -> PyObject* {
        PyObject* argument = nullptr;
        if (!parse_one_argument(Name.text, Parameter.text, Required, args, nargsf, kwnames, argument)) {
            return nullptr;
        }
        return Body(self, argument);
    });
}

// --- Forwarding a call ------------------------------------------------------------------------------------

// A vectorcall method's own arguments (args, nargsf, kwnames) with `leading` put in front, handed to
// call(stack, positional count): how a method forwards to a callable with the instance (or more) first.
template <class Call>
PyObject* with_leading(std::initializer_list<PyObject*> leading, PyObject* const* args, Py_ssize_t nargsf,
                       PyObject* kwnames, Call&& call) {
    const auto positional = static_cast<std::size_t>(PyVectorcall_NARGS(nargsf));
    const std::size_t own = positional + static_cast<std::size_t>(kwnames ? PyTuple_GET_SIZE(kwnames) : 0);
    const std::size_t total = leading.size() + own;
    PyObject* small[8];
    std::unique_ptr<PyObject*[]> large;
    PyObject** stack = small;
    if (total > std::size(small)) {
        large.reset(new PyObject*[total]);
        stack = large.get();
    }
    std::copy(leading.begin(), leading.end(), stack);
    std::copy(args, args + own, stack + leading.size());
    return call(static_cast<PyObject* const*>(stack), leading.size() + positional);
}

// --- Access to an instance's record ----------------------------------------------------------------------

inline Quantity& record_of(TarvelObject* object) noexcept { return object->quantity; }
inline LogQuantity& record_of(LogTarvelObject* object) noexcept { return object->log; }

// Runs body(const record&) while the instance is shared; RuntimeError when it is held exclusively.
// Guarded: no C++ exception leaves it.
template <class Object, class Body>
PyObject* with_shared(PyObject* self, Body&& body) {
    return guarded(FAILED, [&]() -> PyObject* {
        Object* object = reinterpret_cast<Object*>(self);
        SharedAccess access(object->access);
        if (!access) return raise_already_mutably_borrowed();
        return body(std::as_const(record_of(object)));
    });
}

// Runs body(record&) while the instance is held exclusively; RuntimeError when any access is held.
template <class Object, class Body>
PyObject* with_exclusive(PyObject* self, Body&& body) {
    return guarded(FAILED, [&]() -> PyObject* {
        Object* object = reinterpret_cast<Object*>(self);
        ExclusiveAccess access(object->access);
        if (!access) return raise_already_borrowed();
        return body(record_of(object));
    });
}

// The comparison of a rich-comparison slot's `op`; nullopt for an unknown one.
inline std::optional<CompareOp> compare_op(int op) noexcept {
    // Py_LT .. Py_GE are numbered in the order of CompareOp.
    if (op < Py_LT || op > Py_GE) return std::nullopt;
    return static_cast<CompareOp>(op);
}

// --- Results of library calls ------------------------------------------------------------------------------

// Inline: they stand on the hot path of every operator.
inline PyObject* tarvel_or_raise(Result<Quantity>&& result) {
    if (!result) return raise_error(result.error());
    return new_tarvel(std::move(*result));
}
inline PyObject* float_or_raise(const Result<double>& result) {
    if (!result) return raise_error(result.error());
    return PyFloat_FromDouble(*result);
}
inline PyObject* str_or_raise(const Result<std::string>& result) {
    if (!result) return raise_error(result.error());
    return to_py_str(*result);
}

// --- Copy and pickle ---------------------------------------------------------------------------------

// The per-class parts, defined in pickling.cpp: a new instance holding a copy of the record, the record's
// pickled state (empty with an exception set on failure), and an instance read back from a state.
inline PyObject* instance_of(const Quantity& q) { return new_tarvel(Quantity(q)); }
inline PyObject* instance_of(const LogQuantity& log) { return new_log_tarvel(log); }
PyRef state_of(const Quantity& q);
PyRef state_of(const LogQuantity& log);
PyObject* read_state(PyObject* state, const TarvelObject*);
PyObject* read_state(PyObject* state, const LogTarvelObject*);

// (type(self).<rebuilder>, arguments): the reduction pickle stores. Steals `arguments` (a tuple).
PyObject* reduction(PyObject* self, const char* rebuilder, PyRef arguments);

// __copy__($self) and __deepcopy__($self, memo): an instance holds no Python objects, so both make the
// same independent instance.
template <class Object>
PyObject* copy_method(PyObject* self, PyObject* const*, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded(FAILED, [&]() -> PyObject* {
        if (!parse_no_arguments("__copy__", nargsf, kwnames)) return nullptr;
        return with_shared<Object>(self, [](const auto& record) { return instance_of(record); });
    });
}

template <class Object>
PyObject* deepcopy_method(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded(FAILED, [&]() -> PyObject* {
        static const Parameters<1> parameters{"__deepcopy__", {"memo"}, 1};
        std::array<PyObject*, 1> arguments{};
        if (!parse_arguments(parameters, args, nargsf, kwnames, arguments)) return nullptr;
        return with_shared<Object>(self, [](const auto& record) { return instance_of(record); });
    });
}

// __reduce__($self): (Class._from_state, (state,)). The module holds no reconstructor of its own, so pickle
// reaches it as an attribute of the class.
template <class Object>
PyObject* reduce_method(PyObject* self, PyObject* const*, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded(FAILED, [&]() -> PyObject* {
        if (!parse_no_arguments("__reduce__", nargsf, kwnames)) return nullptr;
        return with_shared<Object>(self, [&](const auto& record) -> PyObject* {
            PyRef state = state_of(record);
            if (!state) return nullptr;
            return reduction(self, "_from_state", PyRef::steal(PyTuple_Pack(1, state.get())));
        });
    });
}

// _from_state($cls, state): rebuilds an instance from the state __reduce__ gave, after checking all of it
// (TypeError for a value of the wrong type, ValueError for a wrong value).
template <class Object>
PyObject* from_state_method(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded(FAILED, [&]() -> PyObject* {
        static const Parameters<1> parameters{"_from_state", {"state"}, 1};
        std::array<PyObject*, 1> arguments{};
        if (!parse_arguments(parameters, args, nargsf, kwnames, arguments)) return nullptr;
        return read_state(arguments[0], static_cast<const Object*>(nullptr));
    });
}

}  // namespace tarvel::py
