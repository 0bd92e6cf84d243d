// The dict an engine build returns: a BuildReport as plain Python values, for the package to wrap.
//   summary str, pair_style str | None, species [ {name, count, atoms_per_molecule,
//   molecular_mass, charge} ], atom_types [ {number, name, species [str]} ], totals {atoms, bonds,
//   angles, dihedrals, atom_types, bond_types, angle_types, dihedral_types}, box_length, density,
//   net_charge float, min_distance float | None, closest_atoms [i, j] | None (0-based), warnings
//   [str], files [str]
#pragma once

#include "pipeline/report.hpp"
#include "python/py_ref.hpp"

namespace boxwright::python {

// A new reference, or null with the exception set.
PyObject* report_dict(const BuildReport& report);

}  // namespace boxwright::python
