#include "python/conversions.hpp"

#include <sys/mman.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>
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

// Converts every number of a row, keeping the first three; the row's length, or -1 with the
// exception set.
Py_ssize_t convert_numbers(PyObject* const* items, Py_ssize_t length, Position& triple) {
    for (Py_ssize_t j = 0; j < length; ++j) {
        double number = 0;
        if (!to_number(items[j], number)) return -1;
        if (j < 3) triple[static_cast<std::size_t>(j)] = number;
    }
    return length;
}

bool is_plain_number(PyObject* item) { return PyFloat_CheckExact(item) || PyLong_CheckExact(item); }

// A plain list or tuple of plain floats and ints, the usual row: converting it runs no caller
// code, so it cannot change meanwhile and is read where it is, without a private snapshot.
bool is_plain_row(PyObject* row) {
    if (!PyList_CheckExact(row) && !PyTuple_CheckExact(row)) return false;
    PyObject* const* items = PySequence_Fast_ITEMS(row);
    return std::all_of(items, items + PySequence_Fast_GET_SIZE(row), is_plain_number);
}

// One row of coordinates into `triple`; its length, or -1 with the exception set.
Py_ssize_t convert_row(PyObject* row, Position& triple) {
    if (is_plain_row(row)) {
        return convert_numbers(PySequence_Fast_ITEMS(row), PySequence_Fast_GET_SIZE(row), triple);
    }
    PyRef items = sequence_items(row);
    if (!items) return -1;
    return convert_numbers(PySequence_Fast_ITEMS(items.get()), PyTuple_GET_SIZE(items.get()),
                           triple);
}

// Room for `count` positions. A million positions are 24 MB, and on virtual machines faulting
// that in 4 KiB pages cost three times the conversion itself (measured: ~90 ms against ~30 ms), so
// a large block asks for transparent huge pages. Only advice: where it is refused nothing changes.
void reserve_positions(std::vector<Position>& triples, std::size_t count) {
    triples.reserve(count);
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t HUGE_PAGE = std::uintptr_t{2} << 20;
    const auto begin =
        (reinterpret_cast<std::uintptr_t>(triples.data()) + HUGE_PAGE - 1) & ~(HUGE_PAGE - 1);
    const auto end = reinterpret_cast<std::uintptr_t>(triples.data() + count) & ~(HUGE_PAGE - 1);
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#endif
}

// The memory of a float64 (n, 3) buffer is n positions exactly when it is suitably aligned.
static_assert(sizeof(Position) == 3 * sizeof(double) && alignof(Position) == alignof(double));
static_assert(std::numeric_limits<double>::is_iec559 && sizeof(double) == 8);

// A struct-module format for one IEEE double in this machine's byte order.
bool is_native_float64(const char* format) {
    if (format == nullptr) return false;  // no format means unsigned bytes
    std::string_view code(format);
    constexpr bool little = std::endian::native == std::endian::little;
    if (code.size() == 2 && (code[0] == '@' || code[0] == '=' || code[0] == (little ? '<' : '>') ||
                             (!little && code[0] == '!'))) {
        code.remove_prefix(1);
    }
    return code == "d";
}

// Looks for a C-contiguous float64 buffer of shape (n, 3) in `value`: `exported` holds it when
// there is one and stays empty otherwise. False, with the exception set, only when asking for the
// buffer raised something other than "not this kind of buffer" (an interrupt, no memory).
bool float64_triples(PyObject* value, PyBufferRef& exported) {
    if (!PyObject_CheckBuffer(value)) return true;
    PyBufferRef view = PyBufferRef::get(value, PyBUF_C_CONTIGUOUS | PyBUF_FORMAT);
    if (!view) {
        if (!PyErr_ExceptionMatches(PyExc_Exception) || PyErr_ExceptionMatches(PyExc_MemoryError)) {
            return false;
        }
        // A non-contiguous view, for one: the sequence rules decide what it is.
        PyErr_Clear();
        return true;
    }
    if (view->ndim == 2 && view->itemsize == 8 && is_native_float64(view->format) &&
        view->shape[1] == 3 && PyBuffer_IsContiguous(view.get(), 'C')) {
        exported = std::move(view);
    }
    return true;
}

// Positions read straight from an exported buffer, or copied once when its memory is not aligned
// for doubles (a view cut at an odd byte offset).
CoordinateRows rows_in_buffer(PyBufferRef exported) {
    CoordinateRows rows;
    const auto count = static_cast<std::size_t>(exported->shape[0]);
    if (count == 0) return rows;
    if (reinterpret_cast<std::uintptr_t>(exported->buf) % alignof(Position) == 0) {
        rows.in_place = {static_cast<const Position*>(exported->buf), count};
        rows.exported = std::move(exported);
    } else {
        rows.triples.resize(count);
        std::memcpy(rows.triples.data(), exported->buf, count * sizeof(Position));
    }
    return rows;
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
    PyBufferRef exported;
    if (!float64_triples(value, exported)) return false;
    if (exported) {
        rows = rows_in_buffer(std::move(exported));
        return true;
    }
    // A plain list is read where it is until a row might run caller code that could change it;
    // from that row on a snapshot is read, which is the list as it was at the start. A tuple
    // cannot change.
    PyRef outer = PyList_CheckExact(value) || PyTuple_CheckExact(value) ? PyRef::borrow(value)
                                                                        : sequence_items(value);
    if (!outer) return false;
    const Py_ssize_t row_count = PySequence_Fast_GET_SIZE(outer.get());
    CoordinateRows converted;
    reserve_positions(converted.triples, static_cast<std::size_t>(row_count));
    for (Py_ssize_t i = 0; i < row_count; ++i) {
        PyObject* row = PySequence_Fast_GET_ITEM(outer.get(), i);
        if (PyList_CheckExact(outer.get()) && !is_plain_row(row)) {
            outer = PyRef::steal(PyList_AsTuple(outer.get()));
            if (!outer) return false;
            row = PyTuple_GET_ITEM(outer.get(), i);
        }
        Position triple{};
        const Py_ssize_t length = convert_row(row, triple);
        if (length < 0) return false;
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

void CoordinateRows::take_private_copy() {
    if (!exported) return;
    triples.assign(in_place.begin(), in_place.end());
    in_place = {};
    exported = PyBufferRef();
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

bool to_pair_choice(PyObject* value, PairChoice& choice) {
    if (PyUnicode_Check(value) && PyUnicode_CompareWithASCIIString(value, "auto") == 0) {
        choice = {PresetRule::FromCharges, std::nullopt};
        return true;
    }
    choice.rule = PresetRule::AsRequested;
    if (Py_IsNone(value)) {
        choice.setup.reset();
        return true;
    }
    if (PyLong_CheckExact(value)) {
        const long code = PyLong_AsLong(value);
        if (code >= 0 && code <= 2) {
            choice.setup = static_cast<PairSetup>(code);
            return true;
        }
        PyErr_Clear();  // an overflow is just another code that names no preset
    }
    PyErr_Format(PyExc_ValueError, "must be 'auto', None or a preset code 0, 1 or 2, not %.200R",
                 value);
    return false;
}

bool to_optional_number(PyObject* value, std::optional<double>& number) {
    if (Py_IsNone(value)) {
        number.reset();
        return true;
    }
    double converted = 0;
    if (!to_number(value, converted)) return false;
    number = converted;
    return true;
}

bool to_whole_number(PyObject* value, std::uint64_t& number) { return to_count(value, number); }

}  // namespace boxwright::python
