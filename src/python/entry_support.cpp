#include "python/entry_support.hpp"

#include <cmath>

namespace boxwright::python {

PyObject* to_str(const std::string& text) {
    return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
}

PyObject* to_path_str(const std::string& path) {
    return PyUnicode_DecodeFSDefaultAndSize(path.data(), static_cast<Py_ssize_t>(path.size()));
}

PyObject* raise_failure(const FfError& failure, PyObject* type) {
    PyRef message = PyRef::steal(to_str(failure.what()));
    if (message) PyErr_SetObject(type, message.get());
    return nullptr;
}

bool check_positions(std::span<const Position> positions) {
    for (std::size_t i = 0; i < positions.size(); ++i) {
        for (std::size_t axis = 0; axis < 3; ++axis) {
            if (std::isfinite(positions[i][axis])) continue;
            PyRef shown = PyRef::steal(PyFloat_FromDouble(positions[i][axis]));
            if (shown) {
                PyErr_Format(PyExc_ValueError, "coords[%zu] has %c = %R; expected finite [x, y, z]",
                             i, "xyz"[axis], shown.get());
            }
            return false;
        }
    }
    return true;
}

bool check_box_length(double box_length) {
    if (std::isfinite(box_length) && box_length > 0) return true;
    PyRef shown = PyRef::steal(PyFloat_FromDouble(box_length));
    if (shown) {
        PyErr_Format(PyExc_ValueError, "box_len must be a positive finite number, got %R",
                     shown.get());
    }
    return false;
}

bool check_given_coordinates(const CoordinateRows& rows, double box_length) {
    if (const auto& bad = rows.first_bad_row) {
        PyErr_Format(PyExc_ValueError, "coords[%zu] has %zu elements; expected [x, y, z]",
                     bad->index, bad->length);
        return false;
    }
    return check_positions(rows.positions()) && check_box_length(box_length);
}

}  // namespace boxwright::python
