// build_from_coords_file: the build for positions in a coordinate file (XYZ, PDB or a LAMMPS data
// file), read natively after the force field and the species have been checked, with no Python
// object per atom. Its caller is boxwright.pack.from_coords, which passes every argument.
#pragma once

#include "python/py_ref.hpp"

namespace boxwright::python {

PyMethodDef* build_from_coords_file_method();

}  // namespace boxwright::python
