// Limits: what a build may ask for, checked once the system is resolved and before anything is
// planned, packed or written. The totals must not wrap; and the package's builds refuse what
// LAMMPS cannot number, what one Packmol run cannot pack, and a box too small for any molecule.
#pragma once

#include "base/error.hpp"
#include "pipeline/request.hpp"
#include "pipeline/system.hpp"

namespace boxwright {

// The system's totals, and for a packing its size and its box.
Result<void> check_system_size(const BuildRequest& request, const ResolvedSystem& system);

// The box of given coordinates, once they are read.
Result<void> check_given_box(const BuildRequest& request, double box_length);

}  // namespace boxwright
