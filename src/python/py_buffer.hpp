// PyBufferRef: the one owner of a buffer exported by a Python object (the buffer protocol). While
// the handle lives the exporter keeps the memory where it is (a bytearray, array.array or NumPy
// array refuses to resize); the export is released when the handle goes, on every path. The
// Py_buffer sits on the heap because exporters may point its shape at its own fields, so the struct
// itself must never move.
#pragma once

#include <memory>

#include "python/py_ref.hpp"

namespace boxwright::python {

class PyBufferRef {
  public:
    PyBufferRef() noexcept = default;

    // Asks `object` for a buffer with `flags`; an empty handle, with the exporter's exception set,
    // when it has none or cannot give one of that kind.
    [[nodiscard]] static PyBufferRef get(PyObject* object, int flags) {
        auto view = std::unique_ptr<Py_buffer, Release>(new Py_buffer{});
        if (PyObject_GetBuffer(object, view.get(), flags) < 0) {
            // Nothing was exported, so there is nothing to release.
            delete view.release();
            return {};
        }
        PyBufferRef held;
        held.view_ = std::move(view);
        return held;
    }

    const Py_buffer* get() const noexcept { return view_.get(); }
    const Py_buffer* operator->() const noexcept { return view_.get(); }
    explicit operator bool() const noexcept { return view_ != nullptr; }

  private:
    struct Release {
        void operator()(Py_buffer* view) const noexcept {
            PyBuffer_Release(view);
            delete view;
        }
    };
    std::unique_ptr<Py_buffer, Release> view_;
};

}  // namespace boxwright::python
