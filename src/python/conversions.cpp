#include "python/conversions.hpp"

#include <sys/mman.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
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
    PyRef items = PyRef::steal(PySequence_Tuple(value));
    // A memoryview of several dimensions cannot give its rows yet; that is a wrong type here.
    if (!items && PyErr_ExceptionMatches(PyExc_NotImplementedError)) {
        PyErr_Format(PyExc_TypeError, "'%.200s' object cannot be read as a sequence",
                     type_name(value));
    }
    return items;
}

// Converts every item of a sequence argument; `out` changes only when all of them convert.
template <class T>
bool to_list(PyObject* value, const char* parameter, std::vector<T>& out,
             bool (*convert_item)(PyObject*, const char*, T&)) {
    PyRef items = sequence_items(value);
    if (!items) return false;
    const Py_ssize_t size = PyTuple_GET_SIZE(items.get());
    std::vector<T> converted;
    converted.reserve(static_cast<std::size_t>(size));
    for (Py_ssize_t i = 0; i < size; ++i) {
        T item{};
        if (!convert_item(PyTuple_GET_ITEM(items.get(), i), parameter, item)) return false;
        converted.push_back(std::move(item));
    }
    out = std::move(converted);
    return true;
}

// The specified module's count: Python's own wording for anything else.
bool native_count(PyObject* value, const char* /*parameter*/, std::uint64_t& count) {
    PyRef integer = PyRef::steal(PyNumber_Index(value));
    if (!integer) return false;
    const unsigned long long converted = PyLong_AsUnsignedLongLong(integer.get());
    if (converted == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
    count = converted;
    return true;
}

// Where a row of coordinates sits, for the package's messages: the parameter and the row's
// index. Without a parameter, a refusal is worded as `_native` words it.
struct RowPlace {
    const char* parameter = nullptr;
    Py_ssize_t row = 0;
};

// Converts every number of a row, keeping the first three; the row's length, or -1 with the
// exception set.
Py_ssize_t convert_numbers(PyObject* const* items, Py_ssize_t length, Position& triple,
                           RowPlace place) {
    for (Py_ssize_t j = 0; j < length; ++j) {
        if (place.parameter != nullptr && !is_number(items[j])) {
            PyErr_Format(PyExc_TypeError, "%s[%zd][%zd] must be a number, not %.200s",
                         place.parameter, place.row, j, type_name(items[j]));
            return -1;
        }
        double number = 0;
        if (!to_number(items[j], place.parameter, number)) return -1;
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
Py_ssize_t convert_row(PyObject* row, Position& triple, RowPlace place) {
    if (is_plain_row(row)) {
        return convert_numbers(PySequence_Fast_ITEMS(row), PySequence_Fast_GET_SIZE(row), triple,
                               place);
    }
    if (place.parameter != nullptr && (PyUnicode_Check(row) || !PySequence_Check(row))) {
        PyErr_Format(PyExc_TypeError, "%s[%zd] must be a row [x, y, z], not %.200s",
                     place.parameter, place.row, type_name(row));
        return -1;
    }
    PyRef items = sequence_items(row);
    if (!items) return -1;
    return convert_numbers(PySequence_Fast_ITEMS(items.get()), PyTuple_GET_SIZE(items.get()),
                           triple, place);
}

// Room for `count` positions. A million positions are 24 MB, and on virtual machines faulting
// that in 4 KiB pages cost more than the conversion itself (bench/scale_bench.py times it), so
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

// One number of a buffer as the struct module describes it: a single integer or float code, with
// an optional byte order; `little` is the byte order of the data.
struct NumberFormat {
    enum class Kind { Signed, Unsigned, Float } kind;
    bool little;
    std::size_t size;
    bool native_float64;  // this machine's double: positions can be read where they are
};

std::optional<NumberFormat> number_format(const char* format, Py_ssize_t item_size) {
    using Kind = NumberFormat::Kind;
    std::string_view code = format != nullptr ? format : "B";  // no format means unsigned bytes
    constexpr bool native_little = std::endian::native == std::endian::little;
    bool little = native_little;
    if (code.size() == 2 && std::string_view("@=<>!").find(code[0]) != std::string_view::npos) {
        if (code[0] == '<') little = true;
        if (code[0] == '>' || code[0] == '!') little = false;
        code.remove_prefix(1);
    }
    if (code.size() != 1) return std::nullopt;
    const auto size = static_cast<std::size_t>(item_size);
    auto integer = [&](Kind kind) -> std::optional<NumberFormat> {
        if (size != 1 && size != 2 && size != 4 && size != 8) return std::nullopt;
        return NumberFormat{kind, little, size, false};
    };
    auto floating = [&](std::size_t expected) -> std::optional<NumberFormat> {
        if (size != expected) return std::nullopt;
        return NumberFormat{Kind::Float, little, size, size == 8 && little == native_little};
    };
    const char type = code[0];
    if (std::string_view("bhilqn").find(type) != std::string_view::npos) {
        return integer(Kind::Signed);
    }
    if (std::string_view("BHILQN").find(type) != std::string_view::npos) {
        return integer(Kind::Unsigned);
    }
    if (type == 'e') return floating(2);
    if (type == 'f') return floating(4);
    if (type == 'd') return floating(8);
    return std::nullopt;
}

double number_at(const char* item, const NumberFormat& format) {
    const int little = format.little ? 1 : 0;
    if (format.kind == NumberFormat::Kind::Float) {
        if (format.size == 2) return PyFloat_Unpack2(item, little);
        if (format.size == 4) return PyFloat_Unpack4(item, little);
        return PyFloat_Unpack8(item, little);
    }
    std::uint64_t bits = 0;
    for (std::size_t k = 0; k < format.size; ++k) {
        bits =
            (bits << 8) | static_cast<unsigned char>(item[format.little ? format.size - 1 - k : k]);
    }
    if (format.kind == NumberFormat::Kind::Unsigned) return static_cast<double>(bits);
    const unsigned width = 8 * static_cast<unsigned>(format.size);
    if (width < 64 && (bits >> (width - 1)) != 0) bits |= ~std::uint64_t{0} << width;
    return static_cast<double>(static_cast<std::int64_t>(bits));
}

// A 2-D numeric buffer, as NumPy arrays and memoryviews give them.
struct NumericBuffer {
    PyBufferRef view;
    NumberFormat format;
};

// Looks for a 2-D buffer of numbers in `value`: `found` holds it when there is one and stays empty
// when `value` exports no buffer with strides, or one of fewer dimensions, which follow the
// sequence rules. False, with the exception set, for a 2-D buffer of something else or a buffer of
// more dimensions (whose rows could not be read as sequences either), and when asking for the
// buffer raised something other than "not this kind of buffer" (an interrupt, no memory).
bool numeric_buffer(PyObject* value, std::optional<NumericBuffer>& found) {
    if (!PyObject_CheckBuffer(value)) return true;
    PyBufferRef view = PyBufferRef::get(value, PyBUF_RECORDS_RO);
    if (!view) {
        if (!PyErr_ExceptionMatches(PyExc_Exception) || PyErr_ExceptionMatches(PyExc_MemoryError)) {
            return false;
        }
        // One that needs suboffsets, for one: the sequence rules decide what it is.
        PyErr_Clear();
        return true;
    }
    if (view->ndim < 2) return true;
    auto format = view->ndim == 2 ? number_format(view->format, view->itemsize) : std::nullopt;
    if (!format) {
        PyErr_Format(PyExc_TypeError,
                     "coords buffer must be numbers of shape (n, 3), not format '%s' in %d "
                     "dimensions",
                     view->format != nullptr ? view->format : "B", view->ndim);
        return false;
    }
    found = NumericBuffer{std::move(view), *format};
    return true;
}

// Positions read straight from a C-contiguous float64 (n, 3) buffer, copied once when its memory
// is not aligned for doubles (a view cut at an odd byte offset), and converted number by number
// from any other element type or layout.
CoordinateRows rows_in_buffer(NumericBuffer buffer) {
    const Py_buffer& view = *buffer.view.get();
    CoordinateRows rows;
    const auto count = static_cast<std::size_t>(view.shape[0]);
    if (count == 0) return rows;
    if (view.shape[1] != 3) {
        rows.first_bad_row = CoordinateRows::BadRow{0, static_cast<std::size_t>(view.shape[1])};
        return rows;
    }
    const bool as_positions = buffer.format.native_float64 && PyBuffer_IsContiguous(&view, 'C');
    if (as_positions && reinterpret_cast<std::uintptr_t>(view.buf) % alignof(Position) == 0) {
        rows.in_place = {static_cast<const Position*>(view.buf), count};
        rows.exported = std::move(buffer.view);
    } else if (as_positions) {
        rows.triples.resize(count);
        std::memcpy(rows.triples.data(), view.buf, count * sizeof(Position));
    } else {
        // Some exporters (ctypes) leave the strides out of a C-contiguous buffer.
        const Py_ssize_t column_stride = view.strides ? view.strides[1] : view.itemsize;
        const Py_ssize_t row_stride = view.strides ? view.strides[0] : 3 * view.itemsize;
        reserve_positions(rows.triples, count);
        const auto* start = static_cast<const char*>(view.buf);
        for (std::size_t i = 0; i < count; ++i) {
            const char* row = start + static_cast<Py_ssize_t>(i) * row_stride;
            Position triple;
            for (std::size_t j = 0; j < 3; ++j) {
                triple[j] =
                    number_at(row + static_cast<Py_ssize_t>(j) * column_stride, buffer.format);
            }
            rows.triples.push_back(triple);
        }
    }
    return rows;
}

}  // namespace

bool to_path(PyObject* value, const char* /*parameter*/, std::string& path) {
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

bool to_path_list(PyObject* value, const char* parameter, std::vector<std::string>& paths) {
    return to_list(value, parameter, paths, to_path);
}

bool to_count_list(PyObject* value, const char* parameter, std::vector<std::uint64_t>& counts) {
    return to_list(value, parameter, counts, native_count);
}

bool to_number(PyObject* value, const char* /*parameter*/, double& number) {
    const double converted = PyFloat_AsDouble(value);
    if (converted == -1.0 && PyErr_Occurred()) return false;
    number = converted;
    return true;
}

bool to_flag(PyObject* value, const char* /*parameter*/, bool& flag) {
    if (!PyBool_Check(value)) {
        PyErr_Format(PyExc_TypeError, "must be bool, not %.200s", type_name(value));
        return false;
    }
    flag = value == Py_True;
    return true;
}

bool to_pair_setup(PyObject* value, const char* /*parameter*/, std::optional<PairSetup>& setup) {
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

namespace {

// "(9,)", "(2, 3, 4)": the shape of a buffer as NumPy shows it.
std::string shape_text(const Py_buffer& view) {
    std::string text = "(";
    for (int axis = 0; axis < view.ndim; ++axis) {
        if (axis > 0) text += ", ";
        text += std::to_string(view.shape[axis]);
    }
    return text + (view.ndim == 1 ? ",)" : ")");
}

// The package's reading of a buffer: numbers of shape (n, 3), or a TypeError or ValueError
// naming the parameter. False as well, with `found` left empty and no exception, for an exporter
// that gives no buffer with strides (one that needs suboffsets), which the sequence rules decide.
bool coordinate_buffer(PyObject* value, const char* parameter,
                       std::optional<NumericBuffer>& found) {
    PyBufferRef view = PyBufferRef::get(value, PyBUF_RECORDS_RO);
    if (!view) {
        if (!PyErr_ExceptionMatches(PyExc_Exception) || PyErr_ExceptionMatches(PyExc_MemoryError)) {
            return false;
        }
        PyErr_Clear();
        return true;
    }
    const auto format = number_format(view->format, view->itemsize);
    if (!format) {
        PyErr_Format(PyExc_TypeError, "%s must hold numbers, not buffer format '%s'", parameter,
                     view->format != nullptr ? view->format : "B");
        return false;
    }
    if (view->ndim != 2 || view->shape[1] != 3) {
        PyErr_Format(PyExc_ValueError,
                     "%s has shape %s; expected (n, 3), one row [x, y, z] per atom", parameter,
                     shape_text(*view.get()).c_str());
        return false;
    }
    found = NumericBuffer{std::move(view), *format};
    return true;
}

// Rows of numbers from a sequence of sequences; a refusal names `parameter` and the row unless
// it is null, which words it as `_native` does.
bool rows_of_sequences(PyObject* value, CoordinateRows& rows, const char* parameter) {
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
        const Py_ssize_t length = convert_row(row, triple, RowPlace{parameter, i});
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

}  // namespace

bool to_coordinate_rows(PyObject* value, const char* /*parameter*/, CoordinateRows& rows) {
    std::optional<NumericBuffer> buffer;
    if (!numeric_buffer(value, buffer)) return false;
    if (buffer) {
        rows = rows_in_buffer(std::move(*buffer));
        return true;
    }
    return rows_of_sequences(value, rows, nullptr);
}

bool to_coordinate_array(PyObject* value, const char* parameter, CoordinateRows& rows) {
    if (PyObject_CheckBuffer(value)) {
        std::optional<NumericBuffer> buffer;
        if (!coordinate_buffer(value, parameter, buffer)) return false;
        if (buffer) {
            rows = rows_in_buffer(std::move(*buffer));
            return true;
        }
    }
    if (PyUnicode_Check(value) || !PySequence_Check(value)) {
        PyErr_Format(PyExc_TypeError,
                     "%s must be rows [x, y, z] or a buffer of shape (n, 3), not %.200s", parameter,
                     type_name(value));
        return false;
    }
    return rows_of_sequences(value, rows, parameter);
}

bool is_number(PyObject* value) {
    const PyNumberMethods* methods = Py_TYPE(value)->tp_as_number;
    return PyFloat_Check(value) || PyLong_Check(value) ||
           (methods != nullptr && (methods->nb_float != nullptr || methods->nb_index != nullptr));
}

void CoordinateRows::take_private_copy() {
    if (!exported) return;
    triples.assign(in_place.begin(), in_place.end());
    in_place = {};
    exported = PyBufferRef();
}

void add_note(const std::string& text) {
    PyRef raised = PyRef::steal(PyErr_GetRaisedException());
    PyRef note = PyRef::steal(
        PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
    if (note) {
        PyRef added = PyRef::steal(PyObject_CallMethod(raised.get(), "add_note", "O", note.get()));
    }
    // Failing to attach the note must not hide the exception itself.
    PyErr_Clear();
    PyErr_SetRaisedException(raised.release());
}

void add_parameter_note(const char* parameter) {
    add_note(fmt::format("while processing '{}'", parameter));
}

bool to_pair_choice(PyObject* value, const char* /*parameter*/, PairChoice& choice) {
    if (PyUnicode_Check(value)) {
        Py_ssize_t size = 0;
        const char* name = PyUnicode_AsUTF8AndSize(value, &size);
        if (name == nullptr) return false;
        if (auto named = pair_choice_named({name, static_cast<std::size_t>(size)})) {
            choice = *named;
            return true;
        }
        PyErr_Format(PyExc_ValueError, "pair_style %.200R is not a preset; expected one of %s",
                     value, pair_choice_names().c_str());
        return false;
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
    PyErr_Format(PyExc_ValueError,
                 "must be a preset's name, None or its code 0, 1 or 2, not %.200R", value);
    return false;
}

// --- The package's conversions, whose messages name the parameter themselves ---------------

namespace {

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

bool to_run_given(PyObject* value, const char* parameter, GivenRunSettings& given) {
    if (Py_IsNone(value)) {
        given = {};
        return true;
    }
    // A list or tuple is read item by item without running the caller's code.
    if (!PyList_Check(value) && !PyTuple_Check(value)) {
        PyErr_Format(PyExc_TypeError, "%s must be a list or tuple of names or None, not %.200s",
                     parameter, type_name(value));
        return false;
    }
    PyRef items = PyRef::steal(PySequence_Tuple(value));
    if (!items) return false;
    GivenRunSettings named{.temperature = false, .pressure = false, .timestep = false};
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(items.get()); ++i) {
        PyObject* item = PyTuple_GET_ITEM(items.get(), i);
        std::string name;
        if (!to_text(item, parameter, name)) return false;
        bool* setting = name == "temperature" ? &named.temperature
                        : name == "pressure"  ? &named.pressure
                        : name == "timestep"  ? &named.timestep
                                              : nullptr;
        if (setting == nullptr) {
            PyErr_Format(PyExc_ValueError, "%s names temperature, pressure or timestep, not %.200R",
                         parameter, item);
            return false;
        }
        *setting = true;
    }
    given = named;
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
