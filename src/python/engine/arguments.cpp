#include "python/engine/arguments.hpp"

#include <cmath>
#include <limits>

#include "python/conversions.hpp"

namespace boxwright::python {
namespace {

const char* type_name(PyObject* value) { return Py_TYPE(value)->tp_name; }

// "counts[2]": an element of a sequence parameter, for its messages.
std::string element_name(const char* parameter, Py_ssize_t index) {
    return std::string(parameter) + "[" + std::to_string(index) + "]";
}

// A private snapshot of a sequence parameter (never a str): converting an item can run the
// caller's code, which may change the caller's list but never this tuple.
PyRef items_of(PyObject* value, const char* parameter, const char* what) {
    if (PyUnicode_Check(value) || !PySequence_Check(value)) {
        PyErr_Format(PyExc_TypeError, "%s must be a sequence of %s, not %.200s", parameter, what,
                     type_name(value));
        return {};
    }
    PyRef items = PyRef::steal(PySequence_Tuple(value));
    if (!items) add_parameter_note(parameter);  // the sequence's own code raised
    return items;
}

// None, or what `convert` makes of the value.
template <class T>
bool to_optional(PyObject* value, const char* parameter,
                 bool (*convert)(PyObject*, const char*, T&), std::optional<T>& out) {
    if (Py_IsNone(value)) {
        out.reset();
        return true;
    }
    T converted{};
    if (!convert(value, parameter, converted)) return false;
    out = converted;
    return true;
}

// The int a whole-number parameter holds (anything with __index__), or null with the exception
// set.
// A bool is refused: True is no count of anything.
PyRef whole_number(PyObject* value, const char* parameter) {
    if (!PyIndex_Check(value) || PyBool_Check(value)) {
        PyErr_Format(PyExc_TypeError, "%s must be a whole number, not %.200s", parameter,
                     type_name(value));
        return {};
    }
    PyRef integer = PyRef::steal(PyNumber_Index(value));
    if (!integer) add_parameter_note(parameter);
    return integer;
}

bool to_int64(PyObject* value, const char* parameter, std::int64_t& number) {
    PyRef integer = whole_number(value, parameter);
    if (!integer) return false;
    int overflow = 0;
    const long long converted = PyLong_AsLongLongAndOverflow(integer.get(), &overflow);
    if (overflow != 0) {
        PyErr_Format(PyExc_ValueError, "%s must fit in 64 bits, got %R", parameter, integer.get());
        return false;
    }
    number = converted;
    return true;
}

}  // namespace

bool to_any_number(PyObject* value, const char* parameter, double& number) {
    if (!is_number(value)) {
        PyErr_Format(PyExc_TypeError, "%s must be a number, not %.200s", parameter,
                     type_name(value));
        return false;
    }
    const double converted = PyFloat_AsDouble(value);
    if (converted == -1.0 && PyErr_Occurred()) {
        if (PyErr_ExceptionMatches(PyExc_OverflowError)) {  // an int beyond the range of floats
            PyErr_Clear();
            PyErr_Format(PyExc_ValueError, "%s is too large for a float", parameter);
        } else {
            add_parameter_note(parameter);
        }
        return false;
    }
    number = converted;
    return true;
}

bool to_optional_number(PyObject* value, const char* parameter, std::optional<double>& number) {
    return to_optional(value, parameter, to_any_number, number);
}

bool to_count(PyObject* value, const char* parameter, std::uint64_t& count) {
    return to_count_up_to(value, parameter, std::numeric_limits<std::uint64_t>::max(), count);
}

bool to_count_up_to(PyObject* value, const char* parameter, std::uint64_t most,
                    std::uint64_t& count) {
    PyRef integer = whole_number(value, parameter);
    if (!integer) return false;
    int overflow = 0;
    const long long signed_value = PyLong_AsLongLongAndOverflow(integer.get(), &overflow);
    if (overflow < 0 || (overflow == 0 && signed_value < 0)) {
        PyErr_Format(PyExc_ValueError, "%s must be 0 or more, got %R", parameter, integer.get());
        return false;
    }
    const unsigned long long converted = PyLong_AsUnsignedLongLong(integer.get());
    if (converted == std::numeric_limits<unsigned long long>::max() && PyErr_Occurred()) {
        PyErr_Clear();
        PyErr_Format(PyExc_ValueError, "%s must be at most %llu, got %R", parameter,
                     static_cast<unsigned long long>(most), integer.get());
        return false;
    }
    count = converted;
    return true;
}

bool to_optional_count(PyObject* value, const char* parameter,
                       std::optional<std::uint64_t>& count) {
    return to_optional(value, parameter, to_count, count);
}

bool to_optional_int64(PyObject* value, const char* parameter,
                       std::optional<std::int64_t>& number) {
    return to_optional(value, parameter, to_int64, number);
}

namespace {

// Every item of a sequence converted by `convert`, which names it "parameter[i]" in its message;
// `what` names the items a sequence of the wrong kind should have held.
template <class T>
bool to_list_of(PyObject* value, const char* parameter, const char* what,
                bool (*convert)(PyObject*, const char*, T&), std::vector<T>& out) {
    PyRef items = items_of(value, parameter, what);
    if (!items) return false;
    const Py_ssize_t size = PyTuple_GET_SIZE(items.get());
    std::vector<T> converted(static_cast<std::size_t>(size));
    for (Py_ssize_t i = 0; i < size; ++i) {
        const auto name = element_name(parameter, i);
        if (!convert(PyTuple_GET_ITEM(items.get(), i), name.c_str(),
                     converted[static_cast<std::size_t>(i)])) {
            return false;
        }
    }
    out = std::move(converted);
    return true;
}

}  // namespace

bool to_counts(PyObject* value, const char* parameter, std::vector<std::uint64_t>& counts) {
    return to_list_of(value, parameter, "whole numbers", to_count, counts);
}

bool to_numbers(PyObject* value, const char* parameter, std::vector<double>& numbers) {
    return to_list_of(value, parameter, "numbers", to_any_number, numbers);
}

bool convert_amounts(PyObject* counts, PyObject* mole_fractions, PyObject* molecules,
                     std::vector<std::uint64_t>& numbers, std::optional<Composition>& composition) {
    const auto given = [](PyObject* value) { return value != nullptr && !Py_IsNone(value); };
    const bool by_composition = given(mole_fractions) || given(molecules);
    if (given(counts)) {
        if (!by_composition) return to_counts(counts, "counts", numbers);
        PyErr_SetString(PyExc_TypeError, "give counts or mole_fractions with molecules, not both");
        return false;
    }
    if (!by_composition) {
        PyErr_SetString(PyExc_TypeError,
                        "counts is required unless mole_fractions and molecules are given");
        return false;
    }
    if (!given(molecules) || !given(mole_fractions)) {
        PyErr_SetString(PyExc_TypeError, given(molecules)
                                             ? "molecules needs mole_fractions"
                                             : "mole_fractions needs molecules, the total number "
                                               "of molecules");
        return false;
    }
    Composition converted;
    // A total beyond 64 bits is told with the build's own limit, which is far lower.
    if (!to_numbers(mole_fractions, "mole_fractions", converted.mole_fractions) ||
        !to_count_up_to(molecules, "molecules", MOST_MOLECULES, converted.molecules)) {
        return false;
    }
    composition = std::move(converted);
    return true;
}

bool to_optional_cells(PyObject* value, const char* parameter, std::optional<GridCells>& cells) {
    if (Py_IsNone(value)) {
        cells.reset();
        return true;
    }
    std::vector<std::uint64_t> numbers;
    if (!to_counts(value, parameter, numbers)) return false;
    if (numbers.size() != 3) {
        PyErr_Format(PyExc_ValueError, "%s must be 3 whole numbers (nx, ny, nz), got %zu",
                     parameter, numbers.size());
        return false;
    }
    GridCells grid{};
    for (std::size_t axis = 0; axis < 3; ++axis) {
        constexpr auto MOST = std::numeric_limits<std::uint32_t>::max();
        if (numbers[axis] > MOST) {
            PyErr_Format(PyExc_ValueError, "%s[%zu] must be at most %lu, got %llu", parameter, axis,
                         static_cast<unsigned long>(MOST),
                         static_cast<unsigned long long>(numbers[axis]));
            return false;
        }
        grid[axis] = static_cast<std::uint32_t>(numbers[axis]);
    }
    cells = grid;
    return true;
}

bool to_bool(PyObject* value, const char* parameter, bool& flag) {
    if (!PyBool_Check(value)) {
        PyErr_Format(PyExc_TypeError, "%s must be a bool, not %.200s", parameter, type_name(value));
        return false;
    }
    flag = value == Py_True;
    return true;
}

bool to_text(PyObject* value, const char* parameter, std::string& text) {
    if (!PyUnicode_Check(value)) {
        PyErr_Format(PyExc_TypeError, "%s must be a str, not %.200s", parameter, type_name(value));
        return false;
    }
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(value, &size);
    if (utf8 == nullptr) return false;
    text.assign(utf8, static_cast<std::size_t>(size));
    return true;
}

bool to_optional_callable(PyObject* value, const char* parameter, PyObject*& callable) {
    if (Py_IsNone(value)) {
        callable = nullptr;
        return true;
    }
    if (!PyCallable_Check(value)) {
        PyErr_Format(PyExc_TypeError, "%s must be callable or None, not %.200s", parameter,
                     type_name(value));
        return false;
    }
    callable = value;
    return true;
}

}  // namespace boxwright::python
