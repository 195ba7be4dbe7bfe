#pragma once
// What every method and slot needs at the edge between C++ and CPython: turning library errors into
// Python exceptions, and a catch-all so that no C++ exception ever unwinds into the interpreter.

#include <Python.h>

#include <cxxabi.h>

#include <new>
#include <string_view>

#include "error/tarvel_error.hpp"

namespace tarvel::py {

// Created once per process (BaseException subclass); nullptr with an exception set on failure.
PyObject* panic_exception_type();

// Sets the Python exception of a library error: LookupError for the not-found kinds, TypeError for the
// others, ValueError for an invalid power. Always returns nullptr.
std::nullptr_t raise_error(const TarvelError& error);
// Sets PanicException with the message. Always returns nullptr.
std::nullptr_t raise_panic(std::string_view message);

// Runs `body` and turns any C++ exception into a Python exception (InternalError and any other exception
// -> PanicException, std::bad_alloc -> MemoryError), returning `on_exception` then. The one exception let
// through is the forced unwind that ends a thread at interpreter shutdown: it is no error, and swallowing
// it aborts the process (so this function is not noexcept either).
template <class Body, class Ret>
Ret guarded(Ret on_exception, Body&& body) {
    try {
        return body();
    } catch (const abi::__forced_unwind&) {
        throw;
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& error) {
        raise_panic(error.what());
    } catch (...) {
        raise_panic("unknown internal error");
    }
    return on_exception;
}

// Python objects from C++ values; nullptr with an exception set on failure.
PyObject* to_py_str(std::string_view text);
PyObject* to_py_float(double value);
// int() of a float: exact; ValueError for NaN, OverflowError for infinities.
PyObject* to_py_int(double value);

}  // namespace tarvel::py
