// describe_molecule(molecule, force_field): the core's facts about one molecule file, for the
// package's listing of its bundled models, as a dict {sites, shape, charge, charged}. The shape
// rules are the core's (the constraints in.lmp writes), so the listing and a build never differ.
#pragma once

#include "python/py_ref.hpp"

namespace boxwright::python {

PyMethodDef* describe_molecule_method();

}  // namespace boxwright::python
