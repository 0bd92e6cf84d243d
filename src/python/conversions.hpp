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
bool to_path(PyObject* value, std::string& path);
// A sequence (never a str) of str.
bool to_path_list(PyObject* value, std::vector<std::string>& paths);
// A sequence (never a str) of non-negative integers within 64 bits.
bool to_count_list(PyObject* value, std::vector<std::uint64_t>& counts);
// A float, an int, or anything with __float__ or __index__.
bool to_number(PyObject* value, double& number);
// Exactly a bool.
bool to_flag(PyObject* value, bool& flag);
// A PyPairSetup, or None for no preset.
bool to_pair_setup(PyObject* value, std::optional<PairSetup>& setup);

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
bool to_coordinate_rows(PyObject* value, CoordinateRows& rows);
// The same for the package, whose messages name `parameter` and the row: a buffer of numbers of
// any other shape is a ValueError ("coords has shape (9,); expected (n, 3), ..."), never read
// as rows; a buffer of something else, a row that is no sequence and a number that is no number
// are TypeErrors ("coords[4] must be a row [x, y, z], not float").
bool to_coordinate_array(PyObject* value, const char* parameter, CoordinateRows& rows);

// A float, an int, or anything with __float__ or __index__: what PyFloat_AsDouble takes.
bool is_number(PyObject* value);

// The package's choice of preset: its name ("auto", "tip4p", ..., "none"), None, or a preset's
// integer code (0 Tip4p, 1 LjCut, 2 LjCutCoulLong).
bool to_pair_choice(PyObject* value, PairChoice& choice);

// Attaches a note to the exception being raised, as its add_note() does.
void add_note(const std::string& text);
// Attaches "while processing '<parameter>'".
void add_parameter_note(const char* parameter);

// Converts an argument the caller gave (`given` not null) into `out`; an omitted one keeps the
// default already in `out`. A failure gets the parameter's note.
template <class T>
bool convert_argument(PyObject* given, const char* parameter, bool (*convert)(PyObject*, T&),
                      T& out) {
    if (given == nullptr || convert(given, out)) return true;
    add_parameter_note(parameter);
    return false;
}

}  // namespace boxwright::python
