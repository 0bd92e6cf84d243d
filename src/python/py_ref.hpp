// PyRef: the one owner of a strong reference to a Python object. A handle is made only by an
// explicit steal (taking over a new reference) or borrow (adding one); it drops the reference when
// it goes out of scope, and release() hands it back to the interpreter. No Python-facing code in
// this module pairs Py_INCREF/Py_DECREF by hand.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace boxwright::python {

class PyRef {
  public:
    PyRef() noexcept = default;
    PyRef(PyRef&& other) noexcept : object_(other.release()) {}
    PyRef& operator=(PyRef&& other) noexcept {
        PyRef(std::move(other)).swap(*this);
        return *this;
    }
    PyRef(const PyRef&) = delete;
    PyRef& operator=(const PyRef&) = delete;
    ~PyRef() { Py_XDECREF(object_); }

    // Takes over a new reference, as returned by most of the C API; null stays null.
    [[nodiscard]] static PyRef steal(PyObject* object) noexcept { return PyRef(object); }
    // Adds a reference to a borrowed object.
    [[nodiscard]] static PyRef borrow(PyObject* object) noexcept {
        return PyRef(Py_XNewRef(object));
    }

    PyObject* get() const noexcept { return object_; }
    explicit operator bool() const noexcept { return object_ != nullptr; }
    // Gives up ownership, for a C API call that steals or for returning to the interpreter.
    [[nodiscard]] PyObject* release() noexcept { return std::exchange(object_, nullptr); }
    void swap(PyRef& other) noexcept { std::swap(object_, other.object_); }

  private:
    explicit PyRef(PyObject* object) noexcept : object_(object) {}
    PyObject* object_ = nullptr;
};

}  // namespace boxwright::python
