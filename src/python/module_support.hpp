// What both extension modules of the package do while they are executed: add a function and
// list it in the module's __all__.
#pragma once

#include "python/py_ref.hpp"

namespace boxwright::python {

// The module's __all__, created as an empty list when it is not there yet; null on failure.
PyRef all_list(PyObject* module);

// Appends `name` to the module's __all__.
int add_to_all(PyObject* module, const char* name);

// Adds the function described by `definition` (valid for the life of the process) and lists it
// in __all__.
int add_function(PyObject* module, PyMethodDef* definition);

}  // namespace boxwright::python
