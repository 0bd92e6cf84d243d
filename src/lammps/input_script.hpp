// in.lmp: the LAMMPS input that runs the system of data.lmp and forcefield.lmp as written, with
// a start that survives the close contacts of a packed box: units and styles, the cutoffs and
// PPPM accuracy of the run, the constraints each species needs, a relaxation, velocities, a
// limited-displacement stage and an NPT (or NVT) run. When data.lmp carries the velocities of an
// earlier run, they are kept and the run follows the constraints at once. It ends by writing
// final.data (positions and velocities, for a rebuild from them) and final.restart. The settings
// a user changes most are index variables at the top, so that `lmp -var steps 500000 -in in.lmp`
// overrides them.
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
    // The positions come from an equilibration elsewhere (RASPA3's Monte Carlo), not from a
    // packing: they need no start that survives close contacts.
    bool equilibrated = false;
};

// What a caller sets of the preset's pair style and long-range solver in place of what
// forcefield.lmp has; in.lmp gives them after including it. Unset, the Lennard-Jones cutoff is the
// force field's CutOffVDW and the others are the preset's.
struct PairSettings {
    std::optional<double> cutoff = std::nullopt;           // Lennard-Jones, Å
    std::optional<double> coulomb_cutoff = std::nullopt;   // Å
    std::optional<double> kspace_accuracy = std::nullopt;  // PPPM's relative error in forces
};

// The cutoffs a run of in.lmp uses with a preset, Å.
struct RunCutoffs {
    double lj = PRESET_CUTOFF;
    std::optional<double> coulomb = std::nullopt;  // for a preset with a Coulomb term
    double longest() const { return coulomb && *coulomb > lj ? *coulomb : lj; }
    bool operator==(const RunCutoffs&) const = default;
};

RunCutoffs run_cutoffs(PairSetup setup, double cutoff_vdw, const PairSettings& settings);

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
    // The cutoffs of the run, where they differ from the preset's.
    std::optional<RunCutoffs> cutoffs;
    PairSettings asked;  // what the caller set
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
                                  std::optional<PairSetup> pair_setup, const RunSettings& run,
                                  const PairSettings& pair_settings);

std::string input_script_text(const InputScriptPlan& plan);

}  // namespace boxwright
