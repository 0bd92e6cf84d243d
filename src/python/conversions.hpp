// Conversions of the entry functions' Python arguments into the values a build takes. Each one
// returns false with the interpreter's exception set when the value does not fit; convert_argument
// then names the parameter in a note, the way a Python function's binding would report it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "pipeline/request.hpp"
#include "python/py_buffer.hpp"
#include "python/py_ref.hpp"

namespace boxwright::python {

// A str, as the file-system bytes the operating system would get from Python itself.
bool to_path(PyObject* value, const char* parameter, std::string& path);
// A sequence (never a str) of str.
bool to_path_list(PyObject* value, const char* parameter, std::vector<std::string>& paths);
// A sequence (never a str) of non-negative integers within 64 bits.
bool to_count_list(PyObject* value, const char* parameter, std::vector<std::uint64_t>& counts);
// A float, an int, or anything with __float__ or __index__.
bool to_number(PyObject* value, const char* parameter, double& number);
// Exactly a bool.
bool to_flag(PyObject* value, const char* parameter, bool& flag);
// A PyPairSetup, or None for no preset.
bool to_pair_setup(PyObject* value, const char* parameter, std::optional<PairSetup>& setup);

// Rows of numbers that should each be an (x, y, z) triple. Every row is converted; the first one of
// another length is remembered rather than refused, because the caller checks the shape only after
// all its arguments have been converted.
//
// An object exporting a 2-D buffer of numbers, such as a NumPy array, is read from its memory: no
// Python object per number, and no copy when it is C-contiguous float64 laid out as the positions
// are; any other integer or float type, byte order or strides is converted to float64. A 2-D
// buffer of anything else, or one of more dimensions, is a TypeError. Everything else, 1-D
// buffers included, follows the sequence rules.
struct CoordinateRows {
    struct BadRow {
        std::size_t index = 0;
        std::size_t length = 0;
    };
    std::optional<BadRow> first_bad_row;

    // The triples, wherever they are: in the caller's buffer or in the private copy.
    std::span<const Position> positions() const {
        return exported ? in_place : std::span<const Position>(triples);
    }
    // Copies triples read in place, so later changes to the caller's buffer are not seen.
    void take_private_copy();

    std::vector<Position> triples;       // converted from a sequence, or copied from a buffer
    PyBufferRef exported;                // held while the triples are read in place
    std::span<const Position> in_place;  // over the exported memory
};
// A sequence (never a str) of sequences (never a str) of numbers, or a numeric (n, 3) buffer.
bool to_coordinate_rows(PyObject* value, const char* parameter, CoordinateRows& rows);
// The same for the package, whose messages name `parameter` and the row: a buffer of numbers of
// any other shape is a ValueError ("coords has shape (9,); expected (n, 3), ..."), never read
// as rows; a buffer of something else, a row that is no sequence and a number that is no number
// are TypeErrors ("coords[4] must be a row [x, y, z], not float").
bool to_coordinate_array(PyObject* value, const char* parameter, CoordinateRows& rows);

// A float, an int, or anything with __float__ or __index__: what PyFloat_AsDouble takes.
bool is_number(PyObject* value);

// The package's choice of preset: its name ("auto", "tip4p", ..., "none"), None, or a preset's
// integer code (0 Tip4p, 1 LjCut, 2 LjCutCoulLong).
bool to_pair_choice(PyObject* value, const char* parameter, PairChoice& choice);

// Attaches a note to the exception being raised, as its add_note() does.
void add_note(const std::string& text);
// Attaches "while processing '<parameter>'".
void add_parameter_note(const char* parameter);

// A converter: `bool convert(PyObject* value, const char* parameter, T& out)`, false with the
// exception set when the value does not fit. The specified module's converters keep Python's own
// wording and leave `parameter` to a note; the package's name it in the message.
template <class T>
using Converter = bool (*)(PyObject*, const char*, T&);

// Converts an argument the caller gave (`given` not null) into `out`; an omitted one keeps the
// default already in `out`. A failure gets the parameter's note, as the specified module's do.
template <class T>
bool convert_argument(PyObject* given, const char* parameter, Converter<T> convert, T& out) {
    if (given == nullptr || convert(given, parameter, out)) return true;
    add_parameter_note(parameter);
    return false;
}

// The same for the package's converters, whose messages name the parameter already.
template <class T>
bool convert_parameter(PyObject* given, const char* parameter, Converter<T> convert, T& out) {
    return given == nullptr || convert(given, parameter, out);
}

// --- The package's conversions -----------------------------------------------------------
// Each refusal names the parameter as the package's caller wrote it: TypeError for a value of the
// wrong type ("density must be a number, not str"), ValueError for one of the wrong shape
// ("counts[1] must be 0 or more, got -1"). The values' ranges are the build's to check (the
// option table's). An exception the caller's own code raises while converting (a __float__ or
// __index__) goes on as it was, with a note naming the parameter.

// A float, an int, or anything with __float__ or __index__.
bool to_any_number(PyObject* value, const char* parameter, double& number);
// None, or any number.
bool to_optional_number(PyObject* value, const char* parameter, std::optional<double>& number);
// An integer (or anything with __index__, but no bool) from 0 to 2**64 - 1.
bool to_count(PyObject* value, const char* parameter, std::uint64_t& count);
// The same, an integer beyond 64 bits told as beyond `most`, the limit the build checks.
bool to_count_up_to(PyObject* value, const char* parameter, std::uint64_t most,
                    std::uint64_t& count);
// None, or a count.
bool to_optional_count(PyObject* value, const char* parameter, std::optional<std::uint64_t>& count);
// None, or an integer of either sign within 64 bits.
bool to_optional_int64(PyObject* value, const char* parameter, std::optional<std::int64_t>& number);
// A sequence (never a str) of counts.
bool to_counts(PyObject* value, const char* parameter, std::vector<std::uint64_t>& counts);
// None, or a sequence of three counts up to 2**32 - 1: a sub-box grid (nx, ny, nz).
bool to_optional_cells(PyObject* value, const char* parameter, std::optional<GridCells>& cells);
// Exactly a bool.
bool to_bool(PyObject* value, const char* parameter, bool& flag);
// A str, as UTF-8 text.
bool to_text(PyObject* value, const char* parameter, std::string& text);
// None for all of them, or a list or tuple of the run settings the caller gave by their names:
// "temperature", "pressure", "timestep".
bool to_run_given(PyObject* value, const char* parameter, GivenRunSettings& given);
// A callable or None (kept as null), borrowed.
bool to_optional_callable(PyObject* value, const char* parameter, PyObject*& callable);

// A sequence (never a str) of numbers, finite or not.
bool to_numbers(PyObject* value, const char* parameter, std::vector<double>& numbers);

// How much of each species is asked for, one way or the other: `counts`, or `mole_fractions` with
// `molecules` (None is left out). Either way is a TypeError otherwise. The fractions' values and
// their number are the build's to check, as it turns them into counts.
bool convert_amounts(PyObject* counts, PyObject* mole_fractions, PyObject* molecules,
                     std::vector<std::uint64_t>& numbers, std::optional<Composition>& composition);

}  // namespace boxwright::python
