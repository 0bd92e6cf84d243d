// The module's two functions, pack_packmol_py and pack_from_coords_py. Each binds and converts its
// arguments like a Python function with defaults, runs one build on the calling thread with the
// interpreter lock held throughout, and returns the build summary as a str; a failed build raises
// RuntimeError carrying the failure's message and nothing else.
#pragma once

#include "python/py_ref.hpp"

namespace boxwright::python {

// Definitions that stay valid for the life of the process, for PyCFunction_NewEx.
PyMethodDef* pack_packmol_method();
PyMethodDef* pack_from_coords_method();

}  // namespace boxwright::python
