// What the entry functions of both extension modules share: their text comes back as str, a
// failed build raises RuntimeError with its message alone, and no C++ exception unwinds into the
// interpreter.
#pragma once

#include <exception>
#include <new>
#include <string>

#include "ff/error.hpp"
#include "python/py_ref.hpp"

namespace boxwright::python {

// Messages and summaries are UTF-8 by construction; "replace" keeps a stray byte from turning a
// result into a UnicodeDecodeError.
inline PyObject* to_str(const std::string& text) {
    return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
}

// Raises RuntimeError carrying the failure's message and nothing else; returns null.
inline PyObject* raise_failure(const FfError& failure) {
    PyRef message = PyRef::steal(to_str(failure.what()));
    if (message) PyErr_SetObject(PyExc_RuntimeError, message.get());
    return nullptr;
}

// No C++ exception may unwind into the interpreter. The library reports failures as values, so
// anything caught here is running out of memory or a fault of our own.
template <class Body>
PyObject* without_cpp_exceptions(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    } catch (const std::exception& fault) {
        PyErr_Format(PyExc_SystemError, "internal error: %s", fault.what());
    } catch (...) {
        PyErr_SetString(PyExc_SystemError, "internal error: unknown C++ exception");
    }
    return nullptr;
}

// PyArg_ParseTupleAndKeywords takes `char**` on 3.12; it never writes through it.
inline char* keyword(const char* name) { return const_cast<char*>(name); }

// METH_KEYWORDS functions are stored as PyCFunction; going through void(*)() keeps the compiler's
// function-cast check quiet about the intended cast.
inline PyCFunction as_method(PyCFunctionWithKeywords function) {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

}  // namespace boxwright::python
