// The package's arguments converted for a build, each refusal naming the parameter as the
// package's caller wrote it: TypeError for a value of the wrong type ("density must be a number,
// not str"), ValueError for one out of range or of the wrong shape ("counts[1] must be 0 or
// more, got -1"). What needs no file is refused here, before anything is read; the values'
// ranges that are rules of a build (a positive temperature, a density) are the build's to check.
// An exception the caller's own code raises while converting (a __float__ or __index__) goes on
// as it was, with a note naming the parameter.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pipeline/request.hpp"
#include "python/py_ref.hpp"

namespace boxwright::python {

// Converts an argument the caller gave (`given` not null) into `out`; an omitted one keeps the
// default already in `out`.
template <class T>
bool convert_parameter(PyObject* given, const char* parameter,
                       bool (*convert)(PyObject*, const char*, T&), T& out) {
    return given == nullptr || convert(given, parameter, out);
}

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
