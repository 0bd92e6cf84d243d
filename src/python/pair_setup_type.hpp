// PyPairSetup: the Python class through which callers pick a pair-style preset. Its only instances
// are three singletons, one per PairSetup, stored as the class attributes Tip4p, LjCut and
// LjCutCoulLong. The class object is process-wide: created on first need, then kept. Only
// `_native` exposes it; `_engine` has its own copy of this code and takes presets as integers, so
// that the package never sees two classes of the same name.
#pragma once

#include <optional>

#include "pipeline/request.hpp"
#include "python/py_ref.hpp"

namespace boxwright::python {

// The class object (a borrowed reference that stays valid for the life of the process), or null
// with a Python error set when it cannot be created. Callers hold the interpreter lock; concurrent
// first uses end up with the same object.
PyTypeObject* pair_setup_type();

// The preset held by `object` when it is a PyPairSetup instance; nothing for any other object.
std::optional<PairSetup> pair_setup_of(PyObject* object);

}  // namespace boxwright::python
