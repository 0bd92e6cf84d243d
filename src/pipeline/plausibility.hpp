// Plausibility: the checks of input that is consistent but most likely not what the user meant: a
// density in g/cm³, energies in kcal/mol, σ and ε swapped, a geometry in nm, a mistyped mass. Each
// finding is a warning that names the likely mistake; none stops the build. The ranges come from
// the force fields users run (TraPPE, SPC/E, TIP3P/TIP4P, OPLS united atoms) and are stated in
// docs/force-field.md.
#pragma once

#include "pipeline/diagnostics.hpp"
#include "pipeline/request.hpp"
#include "pipeline/system.hpp"

namespace boxwright {

// What liquids and dense gases have, kg/m³: from a gas at some tens of bar to the densest
// molecular liquids (diiodomethane 3325).
inline constexpr double PLAUSIBLE_DENSITY_MIN = 50;
inline constexpr double PLAUSIBLE_DENSITY_MAX = 3500;

// The force field's numbers for the pseudo atoms and molecules of the build, and the density a
// packing asks for.
void check_input_plausibility(const BuildRequest& request, const ResolvedSystem& system,
                              Diagnostics& diagnostics);

// A density above any molecular liquid's, as given coordinates and their box make it: a box or
// coordinates in nm most likely.
void check_given_density(double density, Diagnostics& diagnostics);

}  // namespace boxwright
