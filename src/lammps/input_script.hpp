// in.lmp: the LAMMPS input that takes the system of data.lmp and forcefield.lmp from its packed
// positions to equilibrium without a shock, then runs it: units and styles, the cutoffs and PPPM
// accuracy of the run, a minimisation (with the charges off when a site has a charge but no
// Lennard-Jones core), the constraints each species needs, velocities, a thermostatted start at
// the packed volume, a Berendsen barostat that brings the pressure to the target, and a
// Nose-Hoover NPT (or NVT) production. Coordinates marked as equilibrated skip the minimisation;
// when data.lmp carries the velocities of an earlier run, they are kept and the production
// follows the constraints at once. It ends by writing final.data (positions and velocities, for a
// rebuild from them) and final.restart. The settings a user changes most are index variables at
// the top, so that `lmp -var steps 500000 -in in.lmp` overrides them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ff/force_field.hpp"
#include "lammps/constraints.hpp"
#include "lammps/pair_style.hpp"
#include "lammps/resolved.hpp"
#include "lammps/type_registry.hpp"

namespace boxwright {

// The units a pressure is given in; in.lmp converts it to LAMMPS's atm.
enum class PressureUnit { Atm, Bar, KPa, MPa, Pa };
// Their names, in the enumeration's order.
inline constexpr std::array<std::string_view, 5> PRESSURE_UNIT_NAMES = {"atm", "bar", "kPa", "MPa",
                                                                        "Pa"};

std::string_view pressure_unit_name(PressureUnit unit);  // "atm", "bar", "kPa", "MPa", "Pa"
std::optional<PressureUnit> pressure_unit_named(std::string_view name);
double pascal_per(PressureUnit unit);  // 101325 for atm, 100000 for bar
double atm_per(PressureUnit unit);     // 1 for atm, 0.986923... for bar

struct RunSettings {
    double temperature = 298.15;           // K
    std::optional<double> pressure = 1.0;  // in pressure_unit; none runs NVT at the box as built
    PressureUnit pressure_unit = PressureUnit::Atm;
    double timestep = 1.0;                // fs
    std::uint64_t steps = 100000;         // of the production run
    double thermostat_damping = 100.0;    // fs, of every thermostat
    double barostat_damping = 1000.0;     // fs, of the Berendsen and the Nose-Hoover barostat
    std::uint64_t thermo_every = 1000;    // steps between thermo lines
    std::uint64_t dump_every = 1000;      // steps between frames of the production; 0: no dump
    std::uint64_t start_steps = 10000;    // of the thermostatted start at the packed volume
    std::uint64_t handover_steps = 5000;  // of the Berendsen barostat before an NPT production
    // The positions are an equilibrated fluid's (RASPA3's Monte Carlo, or another program's
    // without velocities): no minimisation; velocities at the temperature and the
    // thermostatted start alone.
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
    // The first pseudo atom with a bare charge: a minimisation with the charges on could collapse
    // it onto an opposite charge, so the charges are off while it runs.
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
