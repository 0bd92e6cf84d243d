#include "python/conversions.hpp"

#include <utility>

#include "python/pair_setup_type.hpp"

namespace boxwright::python {
namespace {

const char* type_name(PyObject* value) { return Py_TYPE(value)->tp_name; }

// A private snapshot of a sequence argument. Converting an item can run the caller's Python code
// (__index__, __float__), which may change the caller's list but never this tuple.
PyRef sequence_items(PyObject* value) {
    if (PyUnicode_Check(value)) {
        PyErr_SetString(PyExc_TypeError, "Can't extract `str` to `Vec`");
        return {};
    }
    if (!PySequence_Check(value)) {
        PyErr_Format(PyExc_TypeError, "'%.200s' object is not a sequence", type_name(value));
        return {};
    }
    return PyRef::steal(PySequence_Tuple(value));
}

// Converts every item of a sequence argument; `out` changes only when all of them convert.
template <class T>
bool to_list(PyObject* value, std::vector<T>& out, bool (*convert_item)(PyObject*, T&)) {
    PyRef items = sequence_items(value);
    if (!items) return false;
    const Py_ssize_t size = PyTuple_GET_SIZE(items.get());
    std::vector<T> converted;
    converted.reserve(static_cast<std::size_t>(size));
    for (Py_ssize_t i = 0; i < size; ++i) {
        T item{};
        if (!convert_item(PyTuple_GET_ITEM(items.get(), i), item)) return false;
        converted.push_back(std::move(item));
    }
    out = std::move(converted);
    return true;
}

bool to_count(PyObject* value, std::uint64_t& count) {
    PyRef integer = PyRef::steal(PyNumber_Index(value));
    if (!integer) return false;
    const unsigned long long converted = PyLong_AsUnsignedLongLong(integer.get());
    if (converted == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
    count = converted;
    return true;
}

}  // namespace

bool to_path(PyObject* value, std::string& path) {
    if (!PyUnicode_Check(value)) {
        PyErr_Format(PyExc_TypeError, "must be str, not %.200s", type_name(value));
        return false;
    }
    // The file-system encoding with surrogateescape, exactly as Python's own os functions encode
    // a path, so a name listed by os.listdir() reaches the same file.
    PyRef bytes = PyRef::steal(PyUnicode_EncodeFSDefault(value));
    if (!bytes) return false;
    path.assign(PyBytes_AS_STRING(bytes.get()),
                static_cast<std::size_t>(PyBytes_GET_SIZE(bytes.get())));
    return true;
}

bool to_path_list(PyObject* value, std::vector<std::string>& paths) {
    return to_list(value, paths, to_path);
}

bool to_count_list(PyObject* value, std::vector<std::uint64_t>& counts) {
    return to_list(value, counts, to_count);
}

bool to_number(PyObject* value, double& number) {
    const double converted = PyFloat_AsDouble(value);
    if (converted == -1.0 && PyErr_Occurred()) return false;
    number = converted;
    return true;
}

bool to_flag(PyObject* value, bool& flag) {
    if (!PyBool_Check(value)) {
        PyErr_Format(PyExc_TypeError, "must be bool, not %.200s", type_name(value));
        return false;
    }
    flag = value == Py_True;
    return true;
}

bool to_pair_setup(PyObject* value, std::optional<PairSetup>& setup) {
    if (Py_IsNone(value)) {
        setup.reset();
        return true;
    }
    if (auto variant = pair_setup_of(value)) {
        setup = variant;
        return true;
    }
    PyErr_Format(PyExc_TypeError, "must be PyPairSetup or None, not %.200s", type_name(value));
    return false;
}

bool to_coordinate_rows(PyObject* value, CoordinateRows& rows) {
    PyRef outer = sequence_items(value);
    if (!outer) return false;
    const Py_ssize_t row_count = PyTuple_GET_SIZE(outer.get());
    CoordinateRows converted;
    converted.triples.reserve(static_cast<std::size_t>(row_count));
    for (Py_ssize_t i = 0; i < row_count; ++i) {
        PyRef row = sequence_items(PyTuple_GET_ITEM(outer.get(), i));
        if (!row) return false;
        const Py_ssize_t length = PyTuple_GET_SIZE(row.get());
        Position triple{};
        for (Py_ssize_t j = 0; j < length; ++j) {
            double number = 0;
            if (!to_number(PyTuple_GET_ITEM(row.get(), j), number)) return false;
            if (j < 3) triple[static_cast<std::size_t>(j)] = number;
        }
        if (length == 3) {
            converted.triples.push_back(triple);
        } else if (!converted.first_bad_row) {
            converted.first_bad_row = CoordinateRows::BadRow{static_cast<std::size_t>(i),
                                                             static_cast<std::size_t>(length)};
        }
    }
    rows = std::move(converted);
    return true;
}

void add_parameter_note(const char* parameter) {
    PyRef raised = PyRef::steal(PyErr_GetRaisedException());
    PyRef note = PyRef::steal(PyUnicode_FromFormat("while processing '%s'", parameter));
    if (note) {
        PyRef added = PyRef::steal(PyObject_CallMethod(raised.get(), "add_note", "O", note.get()));
    }
    // Failing to attach the note must not hide the conversion's own error.
    PyErr_Clear();
    PyErr_SetRaisedException(raised.release());
}

}  // namespace boxwright::python
