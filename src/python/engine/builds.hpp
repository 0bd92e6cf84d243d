// The package's two builds, build_packmol and build_from_coords: the pipeline of the `_native`
// entries (so data.lmp and forcefield.lmp come out the same), then in.lmp and the build report,
// returned as a dict (see report_dict.hpp). Keyword arguments after the required ones; the
// package passes them all, with its own defaults.
#pragma once

#include "python/py_ref.hpp"

namespace boxwright::python {

PyMethodDef* build_packmol_method();
PyMethodDef* build_from_coords_method();
// run_raspa3: RASPA3's placement alone, for boxwright.raspa_init.pack_with_raspa3.
PyMethodDef* run_raspa3_method();

}  // namespace boxwright::python
