// What the entry functions of both extension modules share around a build: keyword tables, the
// checks of given positions, Ctrl-C while a child program runs, results as str, failures as
// RuntimeError, and the guard that keeps C++ exceptions from unwinding into the interpreter.
#pragma once

#include <exception>
#include <new>
#include <span>
#include <stdexcept>
#include <string>

#include "pipeline/build.hpp"
#include "python/conversions.hpp"
#include "python/py_ref.hpp"

namespace boxwright::python {

// PyArg_ParseTupleAndKeywords takes `char**` on 3.12; it never writes through it.
inline char* keyword(const char* name) { return const_cast<char*>(name); }

// METH_KEYWORDS functions are stored as PyCFunction; going through void(*)() keeps the compiler's
// function-cast check quiet about the intended cast.
inline PyCFunction as_method(PyCFunctionWithKeywords function) {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

// Messages and summaries are UTF-8 by construction; "replace" keeps a stray byte from turning a
// result into a UnicodeDecodeError.
PyObject* to_str(const std::string& text);

// A path back in the file-system encoding it came in, so that it names the same file.
PyObject* to_path_str(const std::string& path);

// Raises RuntimeError (or `type`) carrying the failure's message and nothing else; returns null.
PyObject* raise_failure(const FfError& failure, PyObject* type = PyExc_RuntimeError);

// Positions and a box that data.lmp can hold: NaN or infinity would be written as words LAMMPS
// cannot read, and an edge that is not positive describes no box. Each sets ValueError on false.
bool check_positions(std::span<const Position> positions);
bool check_box_length(double box_length);
// Every row an (x, y, z) triple, then the checks above: all of it before any file is opened.
bool check_given_coordinates(const CoordinateRows& rows, double box_length);

// No C++ exception may unwind into the interpreter. The library reports failures as values, so
// anything caught here is running out of memory (or asking for more than a vector can hold, as a
// buffer that claims more rows than memory has does) or a fault of our own.
template <class Body>
inline PyObject* without_cpp_exceptions(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    } catch (const std::length_error&) {
        return PyErr_NoMemory();
    } catch (const std::exception& fault) {
        PyErr_Format(PyExc_SystemError, "internal error: %s", fault.what());
    } catch (...) {
        PyErr_SetString(PyExc_SystemError, "internal error: unknown C++ exception");
    }
    return nullptr;
}

}  // namespace boxwright::python
