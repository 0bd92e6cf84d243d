// How both extension modules hand a build's outcome to Python: the summary as a str, a failure as
// RuntimeError with its message, and never a C++ exception through the interpreter.
#pragma once

#include <exception>
#include <new>
#include <string>

#include "ff/error.hpp"
#include "pipeline/outputs.hpp"
#include "python/py_ref.hpp"

namespace boxwright::python {

// Messages and summaries are UTF-8 by construction; "replace" keeps a stray byte from turning a
// result into a UnicodeDecodeError.
PyObject* to_str(const std::string& text);

// The summary's display text, or null with RuntimeError(message) raised.
PyObject* summary_or_raise(const Result<BuildSummary>& built);

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

}  // namespace boxwright::python
