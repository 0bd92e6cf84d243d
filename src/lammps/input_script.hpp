// in.lmp: the LAMMPS input that runs the system of data.lmp and forcefield.lmp as written, with
// a start that survives the close contacts of a packed box: units and styles, the force field's
// cutoff, the constraints each species needs, a relaxation, velocities, a limited-displacement
// stage and an NPT (or NVT) run. When data.lmp carries the velocities of an earlier run, they are
// kept and the run follows the constraints at once. It ends by writing final.data (positions and
// velocities, for a rebuild from them) and final.restart. The settings a user changes most are
// index variables at the top, so that `lmp -var steps 500000 -in in.lmp` overrides them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ff/force_field.hpp"
#include "lammps/constraints.hpp"
#include "lammps/pair_style.hpp"
#include "lammps/resolved.hpp"
#include "lammps/type_registry.hpp"

namespace boxwright {

struct RunSettings {
    double temperature = 298.15;           // K
    std::optional<double> pressure = 1.0;  // atm; none runs NVT at the box as built
    double timestep = 1.0;                 // fs
    std::uint64_t steps = 100000;          // of the production run
};

// A charge without a Lennard-Jones core (ε or σ zero): nothing keeps it off an opposite charge.
bool is_bare_charge(const PseudoAtomParams& params);

struct ScriptSpecies {
    std::string name;
    std::uint64_t first_molecule = 0, molecules = 0;       // 1-based molecule IDs of data.lmp
    std::uint64_t first_atom = 0, atoms_per_molecule = 0;  // 1-based atom IDs
    SpeciesHold hold;
};

struct InputScriptPlan {
    std::vector<ScriptSpecies> species;
    std::optional<PairSetup> pair_setup;
    Tip4pTypes water;
    std::optional<double> lj_cutoff;  // the force field's, where it differs from the preset's
    // The first pseudo atom with a bare charge: a minimisation could collapse it, so there is
    // none, and the limited-displacement stage relaxes the contacts alone.
    std::optional<std::string> bare_charge;
    RunSettings run;
    // data.lmp has a Velocities section (set by the caller): no relaxation, no start.
    bool velocities_kept = false;
};

// `active` without count-0 species, as a build has it after resolve_active.
InputScriptPlan plan_input_script(std::span<const ActivePair> active,
                                  const TypeRegistries& registries, const ForceField& force_field,
                                  std::optional<PairSetup> pair_setup, const RunSettings& run);

std::string input_script_text(const InputScriptPlan& plan);

}  // namespace boxwright
