#include "lammps/input_script.hpp"

#include <algorithm>
#include <iterator>
#include <set>
#include <string_view>

#include "base/numbers.hpp"
#include "base/text_buffer.hpp"
#include "base/units.hpp"
#include "lammps/molecule_shape.hpp"

namespace boxwright {
namespace {

using Out = fmt::memory_buffer;

constexpr std::uint64_t SEED = 4928459;
// The Berendsen barostat's bulk modulus, atm: above any of these liquids' own (hexane about 10^4,
// water 2*10^4), so that it approaches the target pressure no faster than its damping time allows.
// At 10^4 it rescaled the bonds SHAKE holds in propane enough each step that their constraint
// forces turned the pressure's sign every step, growing until LAMMPS lost the atoms.
constexpr std::string_view HANDOVER_MODULUS = "50000";
// The hand-over with rigid bodies: the Berendsen barostat scales the atoms outside them and their
// centres; the bodies place their own atoms. Its last scaling comes after they did, and a rigid
// fix rebuilds its bodies from the atoms it is given at each run (reinit yes, the default), which
// would bend those lying across the box's faces.
constexpr std::string_view HANDOVER_WITH_BODIES =
    "# The atoms outside the rigid bodies and the bodies' centres move with the box (dilate\n"
    "# partial); the bodies, built once (reinit no), place their atoms in the final box in one\n"
    "# more step, since the barostat's last scaling came after they had.\n";

// "name            arguments\n": commands in one column, their arguments in the next.
template <class... Args>
void command(Out& out, std::string_view name, fmt::format_string<Args...> arguments,
             Args&&... args) {
    fmt::format_to(std::back_inserter(out), "{:<15} ", name);
    fmt::format_to(std::back_inserter(out), arguments, std::forward<Args>(args)...);
    out.push_back('\n');
}

void section(Out& out, std::string_view title) {
    fmt::format_to(std::back_inserter(out), "\n# --- {} {:-<{}}\n", title, "",
                   std::max<int>(3, 73 - static_cast<int>(title.size())));
}

// "217:246" for molecules 217 to 246, as a group command takes them; "217-246" for a reader.
std::string molecule_range(const ScriptSpecies& species, char between = ':') {
    return fmt::format("{}{}{}", species.first_molecule, between,
                       species.first_molecule + species.molecules - 1);
}

std::string molecules_text(const ScriptSpecies& species) {
    return species.molecules == 1 ? fmt::format("molecule {}", species.first_molecule)
                                  : "molecules " + molecule_range(species, '-');
}

std::string molecules_of(std::span<const ScriptSpecies> species, Hold hold) {
    std::vector<std::string> ranges;
    for (const auto& s : species) {
        if (s.hold.hold == hold) ranges.push_back(molecule_range(s));
    }
    return fmt::format("{}", fmt::join(ranges, " "));
}

bool any_held(std::span<const ScriptSpecies> species, Hold hold) {
    return std::any_of(species.begin(), species.end(),
                       [hold](const ScriptSpecies& s) { return s.hold.hold == hold; });
}

// Every atom outside the rigid bodies.
bool has_mobile_atoms(std::span<const ScriptSpecies> species) {
    return std::any_of(species.begin(), species.end(),
                       [](const ScriptSpecies& s) { return s.hold.hold != Hold::RigidBody; });
}

// The pressure's variable in atm, the unit of LAMMPS's real units.
std::string_view pressure_atm(const RunSettings& run) {
    return run.pressure_unit == PressureUnit::Atm ? "${pressure}" : "${pressure_atm}";
}

void append_header(Out& out, const InputScriptPlan& plan) {
    const RunSettings& run = plan.run;
    append(out,
           "# LAMMPS input for the system of data.lmp and forcefield.lmp, written by boxwright.\n"
           "# Run it in this directory:  lmp -in in.lmp\n"
           "# The settings below can be changed here or on the command line, for example\n"
           "#   lmp -var temperature 350 -var steps 500000 -in in.lmp\n");
    section(out, "Run settings");
    command(out, "variable", "temperature index {:<10} # K", list_number(run.temperature));
    if (run.pressure) {
        command(out, "variable", "pressure index {:<13} # {}", list_number(*run.pressure),
                pressure_unit_name(run.pressure_unit));
    }
    command(out, "variable", "timestep index {:<13} # fs", list_number(run.timestep));
    command(out, "variable", "steps index {:<16} # of the production run", run.steps);
    command(out, "variable", "thermostat_damping index {:<6} # fs, of every thermostat",
            list_number(run.thermostat_damping));
    if (run.pressure) {
        command(out, "variable", "barostat_damping index {:<8} # fs, of both barostats",
                list_number(run.barostat_damping));
    }
    command(out, "variable", "thermo_every index {:<9} # steps between thermo lines",
            run.thermo_every);
    if (run.dump_every > 0) {
        command(out, "variable", "dump_every index {:<11} # steps between trajectory frames",
                run.dump_every);
    }
    if (run.pressure && run.pressure_unit != PressureUnit::Atm) {
        append(out, "# LAMMPS's real units take pressures in atm.\n");
        command(out, "variable", "pressure_atm equal ${{pressure}}*{}",
                list_number(atm_per(run.pressure_unit)));
    }
    if (plan.velocities_kept) return;
    command(out, "variable", "start_steps index {:<10} # of the thermostatted start",
            run.start_steps);
    if (run.pressure) {
        command(out, "variable", "handover_steps index {:<7} # of the Berendsen barostat",
                run.handover_steps);
    }
    command(out, "variable", "seed index {:<17} # of the velocities and the start's thermostat",
            SEED);
}

void append_custom_pair_style(Out& out) {
    append(
        out,
        "# No pair-style preset was chosen. Write your pair style (and a kspace style if it has\n"
        "# long-range terms) in place of the two lines below: it must come before\n"
        "# forcefield.lmp, which sets its coefficients. For example:\n"
        "#   pair_style      lj/cut/coul/long 12.0\n"
        "#   pair_modify     mix arithmetic tail yes\n"
        "#   kspace_style    pppm 1.0e-4\n");
    command(out, "print", "\"in.lmp: no pair style was chosen; write yours here\"");
    command(out, "quit", "1");
}

// The pair style again with the cutoffs of the run, which keeps every pair_coeff and pair_modify
// setting of forcefield.lmp, and the PPPM accuracy asked for.
void append_pair_settings(Out& out, const InputScriptPlan& plan) {
    if (plan.cutoffs) {
        const RunCutoffs& cutoffs = *plan.cutoffs;
        if (plan.asked.cutoff || plan.asked.coulomb_cutoff) {
            fmt::format_to(std::back_inserter(out),
                           "# The cutoffs of this run in place of the preset's {} \u00c5: "
                           "Lennard-Jones {} \u00c5{}.\n",
                           plain_number(PRESET_CUTOFF), plain_number(cutoffs.lj),
                           cutoffs.coulomb
                               ? fmt::format(", Coulomb {} \u00c5", plain_number(*cutoffs.coulomb))
                               : "");
            append(out,
                   "# The same pair style given again keeps every pair_coeff and pair_modify "
                   "setting.\n");
        } else {
            fmt::format_to(std::back_inserter(out),
                           "# The force field's cutoff (CutOffVDW {} \u00c5) in place of the "
                           "preset's {} \u00c5: the same\n# pair style given again keeps every "
                           "pair_coeff and pair_modify setting.\n",
                           plain_number(cutoffs.lj), plain_number(PRESET_CUTOFF));
        }
        const std::string line = pair_style_command(*plan.pair_setup, plan.water, cutoffs.lj,
                                                    cutoffs.coulomb.value_or(PRESET_CUTOFF));
        constexpr std::string_view NAME = "pair_style ";
        // The command as forcefield.lmp has it, in this file's columns.
        command(out, "pair_style", "{}",
                std::string_view(line).substr(NAME.size(), line.size() - NAME.size() - 1));
    }
    if (plan.asked.kspace_accuracy) {
        append(out,
               "# The PPPM accuracy asked for (relative error in forces) in place of "
               "forcefield.lmp's.\n");
        command(out, "kspace_style", "{} {}", kspace_style_name(*plan.pair_setup),
                list_number(*plan.asked.kspace_accuracy));
    }
}

void append_system(Out& out, const InputScriptPlan& plan) {
    section(out, "System");
    command(out, "units", "real");
    command(out, "atom_style", "full");
    command(out, "boundary", "p p p");
    command(out, "read_data", "data.lmp");
    if (!plan.pair_setup) append_custom_pair_style(out);
    command(out, "include", "forcefield.lmp");
    append_pair_settings(out, plan);
    append(
        out,
        "# Bonded neighbours (1-2, 1-3, 1-4) interact through their bonds, angles and dihedrals\n"
        "# only, as in TraPPE and the rigid models; OPLS-AA would use lj/coul 0.0 0.0 0.5.\n");
    command(out, "special_bonds", "lj/coul 0.0 0.0 0.0");
    command(out, "neighbor", "2.0 bin");
    command(out, "neigh_modify", "delay 0 every 1 check yes");
    command(out, "thermo_style", "custom step temp press density pe ke etotal");
    command(out, "thermo_modify", "norm no flush yes");
    command(out, "thermo", "${{thermo_every}}");
}

// The contacts of packing relaxed by a minimisation, before any constraint: fix shake takes no
// part in one. A site with a charge but no Lennard-Jones core has nothing to keep it off an
// opposite charge, and a minimiser's line search can drop it there; the charges are off while it
// runs (the cores and the bonded terms relax the contacts), then restored from a copy.
void append_relaxation(Out& out, const InputScriptPlan& plan) {
    section(out, "Relaxation of the close contacts left by packing");
    append(out, "# Before any constraint: fix shake takes no part in a minimisation.\n");
    if (!plan.bare_charge) {
        command(out, "minimize", "1.0e-4 1.0e-6 1000 10000");
        return;
    }
    fmt::format_to(std::back_inserter(out),
                   "# {} carries a charge without a Lennard-Jones core, which a minimisation "
                   "could bring\n# onto an opposite charge: the charges are off while it runs "
                   "(the Lennard-Jones cores\n# and the bonded terms relax the contacts), then "
                   "restored from a copy.\n",
                   *plan.bare_charge);
    const bool solver = has_long_range_solver(plan.pair_setup);
    command(out, "fix", "charges all store/state 0 q");
    command(out, "set", "group all charge 0.0");
    if (solver) {
        append(out,
               "# PPPM cannot size its splitting from no charge; LAMMPS warns of a kspace solver "
               "without\n# charges. Given back 0, it sizes it again from the charges.\n");
        command(out, "kspace_modify", "gewald 0.3");
    } else if (!plan.pair_setup) {
        append(out,
               "# With PPPM in your pair style, uncomment: it cannot size its splitting from no "
               "charge.\n# kspace_modify   gewald 0.3\n");
    }
    command(out, "minimize", "1.0e-4 1.0e-6 1000 10000");
    command(out, "variable", "charge atom f_charges");
    command(out, "set", "group all charge v_charge");
    if (solver) command(out, "kspace_modify", "gewald 0.0");
    if (!plan.pair_setup) append(out, "# kspace_modify   gewald 0.0\n");
    command(out, "variable", "charge delete");
    command(out, "unfix", "charges");
}

// fix rigid/small takes a straight molecule only when its atoms lie exactly on one line; the
// positions of data.lmp carry rounding, so each molecule is put back onto its axis: through its
// centre of mass, along the offset-weighted sum of its atom positions.
void append_straightening(Out& out, const ScriptSpecies& species, std::size_t number) {
    const auto& offsets = species.hold.straight_offsets;
    double mean = 0;
    for (double s : offsets) mean += s / static_cast<double>(offsets.size());
    const std::string p = fmt::format("straight{}", number);
    fmt::format_to(std::back_inserter(out), "# {} put exactly onto the axes of its molecules\n",
                   species.name);
    command(out, "group", "{} molecule {}", p, molecule_range(species));
    command(out, "variable", "{}_k atom (id-{})%{}", p, species.first_atom,
            species.atoms_per_molecule);
    // Each atom's offset, picked by its place k in the molecule.
    std::vector<std::string> terms;
    for (std::size_t k = 0; k < offsets.size(); ++k) {
        if (offsets[k] != 0) {
            terms.push_back(fmt::format("({})*(v_{}_k=={})", list_number(offsets[k]), p, k));
        }
    }
    command(out, "variable", "{}_s atom {}", p, fmt::join(terms, "+"));
    command(out, "compute", "{0}_u {0} property/atom xu yu zu", p);
    // Weights that sum to zero over a molecule, so that its position drops out of the sum.
    const std::string weight =
        mean == 0 ? fmt::format("v_{}_s", p) : fmt::format("(v_{}_s-({}))", p, list_number(mean));
    for (int a = 1; a <= 3; ++a) {
        command(out, "variable", "{0}_w{1} atom {2}*c_{0}_u[{1}]", p, a, weight);
    }
    command(out, "compute", "{0}_mol {0} chunk/atom molecule compress yes", p);
    // One sum per component: given k inputs, reduce/chunk zeroes only the first 1/k of its rows
    // (LAMMPS 29 Sep 2021) and adds the other molecules' sums to whatever its array held, from
    // reused memory or an earlier call, which turns them about arbitrary axes. With one input
    // every row starts from zero.
    append(out,
           "# One reduce/chunk per component: given several inputs, LAMMPS 29 Sep 2021 leaves "
           "most\n# molecules' sums uncleared.\n");
    for (int a = 1; a <= 3; ++a) {
        command(out, "compute", "{0}_axis{1} {0} reduce/chunk {0}_mol sum v_{0}_w{1}", p, a);
    }
    command(out, "compute", "{0}_com {0} com/chunk {0}_mol", p);
    command(out, "compute",
            "{0}_at {0} chunk/spread/atom {0}_mol c_{0}_axis1 c_{0}_axis2 c_{0}_axis3 "
            "c_{0}_com[*]",
            p);
    command(out, "variable", "{0}_n atom sqrt(c_{0}_at[1]^2+c_{0}_at[2]^2+c_{0}_at[3]^2)", p);
    static constexpr std::string_view AXES[] = {"x", "y", "z"};
    for (int a = 1; a <= 3; ++a) {
        command(out, "variable",
                "{0}_{1} atom {1}+c_{0}_at[{2}]+v_{0}_s*c_{0}_at[{3}]/v_{0}_n-c_{0}_u[{3}]", p,
                AXES[a - 1], a + 3, a);
    }
    command(out, "fix", "{0} {0} ave/atom 1 1 1 v_{0}_x v_{0}_y v_{0}_z", p);
    command(out, "run", "0 post no");
    for (int a = 1; a <= 3; ++a) {
        command(out, "variable", "{0}_new{1} atom f_{0}[{1}]", p, a);
    }
    command(out, "set", "group {0} x v_{0}_new1 y v_{0}_new2 z v_{0}_new3", p);
    command(out, "unfix", "{}", p);
    for (std::string_view c : {"at", "com", "axis3", "axis2", "axis1", "mol", "u"}) {
        command(out, "uncompute", "{}_{}", p, c);
    }
}

// "bond type 3", "bond types 1 2"
std::string types_text(std::string_view kind, const std::vector<std::size_t>& types) {
    return fmt::format("{} type{} {}", kind, types.size() == 1 ? "" : "s", fmt::join(types, " "));
}

void append_species_comment(Out& out, const ScriptSpecies& s) {
    fmt::format_to(std::back_inserter(out), "# {} ({}): ", s.name, molecules_text(s));
    switch (s.hold.hold) {
        case Hold::Nothing:
            append(out, s.atoms_per_molecule == 1
                            ? "single atoms, nothing to hold\n"
                            : "flexible, held by its bonds, angles and dihedrals\n");
            return;
        case Hold::Shake:
            if (s.hold.flexible) {
                fmt::format_to(std::back_inserter(out),
                               "flexible, the bonds its model holds fixed held by SHAKE on {}\n",
                               types_text("bond", s.hold.bond_types));
                return;
            }
            fmt::format_to(std::back_inserter(out), "rigid, held by SHAKE on {}{}\n",
                           types_text("bond", s.hold.bond_types),
                           s.hold.angle_types.empty()
                               ? ""
                               : " and " + types_text("angle", s.hold.angle_types));
            return;
        case Hold::RigidBody:
            append(out, s.hold.straight_offsets.empty()
                            ? "rigid, integrated as rigid bodies\n"
                            : "rigid and straight, integrated as rigid bodies\n");
            return;
    }
}

void append_constraints(Out& out, const InputScriptPlan& plan) {
    section(out, "Constraints");
    for (const auto& s : plan.species) append_species_comment(out, s);
    if (any_held(plan.species, Hold::Shake)) {
        // One fix shake for all: LAMMPS takes no second one.
        std::set<std::size_t> bonds, angles;
        for (const auto& s : plan.species) {
            if (s.hold.hold != Hold::Shake) continue;
            bonds.insert(s.hold.bond_types.begin(), s.hold.bond_types.end());
            angles.insert(s.hold.angle_types.begin(), s.hold.angle_types.end());
        }
        command(out, "group", "shaken molecule {}", molecules_of(plan.species, Hold::Shake));
        command(out, "fix", "shake shaken shake 1.0e-6 100 0 b {}{}", fmt::join(bonds, " "),
                angles.empty() ? "" : fmt::format(" a {}", fmt::join(angles, " ")));
    }
    std::size_t straight = 0;
    for (const auto& s : plan.species) {
        if (!s.hold.straight_offsets.empty()) append_straightening(out, s, ++straight);
    }
    if (any_held(plan.species, Hold::RigidBody)) {
        command(out, "group", "bodies molecule {}", molecules_of(plan.species, Hold::RigidBody));
        command(out, "group", "mobile subtract all bodies");
    } else {
        command(out, "group", "mobile union all");
    }
}

// Degrees of freedom of the rigid bodies and of the atoms outside them, for the barostat's piston.
struct Freedom {
    double bodies = 0, mobile = 0;
};

Freedom degrees_of_freedom(std::span<const ScriptSpecies> species) {
    Freedom freedom;
    for (const auto& s : species) {
        const auto molecules = static_cast<double>(s.molecules);
        const auto atoms = static_cast<double>(s.atoms_per_molecule);
        switch (s.hold.hold) {
            case Hold::RigidBody:
                freedom.bodies += molecules * (s.hold.straight_offsets.empty() ? 6 : 5);
                break;
            case Hold::Shake:  // a rigid diatomic or bent triatomic, or a few bonds held
                freedom.mobile +=
                    molecules * (!s.hold.flexible
                                     ? (atoms == 2 ? 5 : 6)
                                     : 3 * atoms - static_cast<double>(s.hold.bond_types.size()));
                break;
            case Hold::Nothing:
                freedom.mobile += molecules * 3 * atoms;
                break;
        }
    }
    return freedom;
}

void append_velocities(Out& out, const InputScriptPlan& plan) {
    section(out, "Velocities");
    if (plan.velocities_kept) {
        append(out,
               "# Those of data.lmp, kept: they come with its positions from an earlier run, "
               "which has\n# relaxed the contacts of packing, so no minimisation or start "
               "follows.\n");
        command(out, "timestep", "${{timestep}}");
        return;
    }
    if (any_held(plan.species, Hold::Shake)) {
        append(out, "# After SHAKE, which takes the motions it forbids out.\n");
    }
    if (any_held(plan.species, Hold::RigidBody)) {
        append(out,
               "# Before the rigid bodies, which keep only the rigid motion of their atoms.\n");
    }
    command(out, "velocity", "all create ${{temperature}} ${{seed}} mom yes rot yes dist gaussian");
    command(out, "timestep", "${{timestep}}");
}

// The start's Langevin baths, the rigid bodies' own and the other atoms', with the production's
// damping, their target falling from `from` to the temperature over each run. Bodies built for a
// hand-over are built once (reinit no): see HANDOVER_WITH_BODIES.
void append_baths(Out& out, const InputScriptPlan& plan, std::string_view from, bool reinit) {
    if (any_held(plan.species, Hold::RigidBody)) {
        command(out, "fix",
                "bodies bodies rigid/small molecule langevin {} ${{temperature}} "
                "${{thermostat_damping}} ${{seed}}{}",
                from, reinit ? "" : " reinit no");
    }
    if (has_mobile_atoms(plan.species)) {
        command(out, "fix",
                "start_bath mobile langevin {} ${{temperature}} ${{thermostat_damping}} ${{seed}}",
                from);
    }
}

void remove_baths(Out& out, const InputScriptPlan& plan) {
    if (has_mobile_atoms(plan.species)) command(out, "unfix", "start_bath");
    if (any_held(plan.species, Hold::RigidBody)) command(out, "unfix", "bodies");
}

// A Berendsen barostat brings the pressure to the target: it relaxes the volume at a rate
// proportional to the pressure's distance from it, with no piston to overshoot, so the
// Nose-Hoover barostat of the production takes over a box already at its density.
void append_handover(Out& out, const InputScriptPlan& plan) {
    const bool bodies = any_held(plan.species, Hold::RigidBody);
    section(out, "Hand-over to the pressure of the production");
    fmt::format_to(std::back_inserter(out),
                   "# A Berendsen barostat (bulk modulus {} atm, above a liquid's) brings the "
                   "pressure\n# to the target without the overshoot of a Nose-Hoover piston "
                   "launched far from it.\n{}",
                   HANDOVER_MODULUS,
                   bodies ? HANDOVER_WITH_BODIES : "# Every atom moves with the box.\n");
    command(out, "fix",
            "handover {0} press/berendsen iso {2} {2} ${{barostat_damping}} modulus {3} dilate {1}",
            bodies ? "mobile" : "all", bodies ? "partial" : "all", pressure_atm(plan.run),
            HANDOVER_MODULUS);
    command(out, "run", "${{handover_steps}}");
    command(out, "unfix", "handover");
    if (bodies) command(out, "run", "1 post no");
}

// The start at the volume as packed, under Langevin thermostats with the production's damping,
// which take up the heat of the relaxed contacts (or settle velocities drawn afresh) without
// damping the motion itself. Packed molecules all have the conformation of their file: a packed
// box starts at twice the temperature, falling to it over the start, so that they cross their
// torsional barriers within it (a butane liquid at 298 K takes some 50 ps to leave its packed
// all-trans chains, and densifies by 3 % meanwhile); the potential energy levels off by its end.
// The hand-over follows at the temperature.
void append_start(Out& out, const InputScriptPlan& plan) {
    if (plan.velocities_kept) return;
    const bool hot = !plan.run.equilibrated;
    const bool handover = plan.run.pressure.has_value();
    section(out, "Start: thermostatted at the volume as packed");
    if (hot) {
        append(out,
               "# Every packed molecule has the conformation of its file: the thermostats' target "
               "falls\n# from twice the temperature to it, so that chains cross their torsional "
               "barriers and\n# the potential energy has levelled off by the end.\n");
        command(out, "variable", "hot equal 2*${{temperature}}");
    } else {
        append(out,
               "# The positions are an equilibrated fluid's, so nothing relaxes them: the "
               "velocities\n# drawn at the temperature settle under a Langevin thermostat.\n");
    }
    if (has_mobile_atoms(plan.species)) command(out, "fix", "start mobile nve");
    append_baths(out, plan, hot ? "${hot}" : "${temperature}", !(handover && !hot));
    command(out, "run", "${{start_steps}}");
    if (handover) {
        if (hot) {
            append(out,
                   "# The hand-over's baths, at the temperature: a bath's target ramps anew in "
                   "every run.\n");
            remove_baths(out, plan);
            append_baths(out, plan, "${temperature}", false);
        }
        append_handover(out, plan);
    }
    remove_baths(out, plan);
    if (has_mobile_atoms(plan.species)) command(out, "unfix", "start");
}

// The rigid bodies carry the barostat whenever there are any: rigid/npt/small scales the box and
// places the bodies' atoms in one step, so they keep their shape exactly (a barostat on the other
// atoms scales the box after the bodies have placed theirs, and bends the bodies across the box's
// faces). Its piston's mass follows the bodies' degrees of freedom alone; a few bodies among many
// other atoms would make it light and quick to overshoot, so its damping time is lengthened by the
// square root of the system's degrees of freedom over the bodies', which weighs it as the whole
// system's.
void append_bodies_barostat(Out& out, const InputScriptPlan& plan, std::string_view thermostat) {
    const Freedom freedom = degrees_of_freedom(plan.species);
    std::string_view damping = "${barostat_damping}";
    if (freedom.mobile > 0) {
        fmt::format_to(std::back_inserter(out),
                       "# The rigid bodies carry the barostat, which keeps them exact as the box "
                       "changes.\n# Its piston weighs as their {} degrees of freedom; its damping "
                       "time, lengthened\n# by sqrt({}/{}), weighs it as the whole system's.\n",
                       freedom.bodies, freedom.bodies + freedom.mobile, freedom.bodies);
        command(out, "variable", "piston_damping equal ${{barostat_damping}}*sqrt({}/{})",
                freedom.bodies + freedom.mobile, freedom.bodies);
        damping = "${piston_damping}";
    } else {
        append(out, "# The rigid bodies carry the barostat.\n");
    }
    command(out, "fix", "bodies bodies rigid/npt/small molecule {0} iso {1} {1} {2} dilate all",
            thermostat, pressure_atm(plan.run), damping);
    if (freedom.mobile > 0) command(out, "fix", "md mobile nvt {}", thermostat);
}

void append_production(Out& out, const InputScriptPlan& plan) {
    const bool npt = plan.run.pressure.has_value();
    const bool bodies = any_held(plan.species, Hold::RigidBody);
    const bool mobile = has_mobile_atoms(plan.species);
    section(out, npt ? "Production run: NPT" : "Production run: NVT at the density as built");
    append(out,
           "# Its steps count from 0: the trajectory's frames fall on multiples of dump_every, "
           "the\n# last on its end.\n");
    command(out, "reset_timestep", "0");
    const std::string thermostat = "temp ${temperature} ${temperature} ${thermostat_damping}";
    append(out, npt ? "# Nose-Hoover thermostat and barostat" : "# Nose-Hoover thermostat");
    if (!bodies) {
        append(out, ".\n");
        const std::string barostat =
            npt ? fmt::format(" iso {0} {0} ${{barostat_damping}}", pressure_atm(plan.run)) : "";
        command(out, "fix", "md all {} {}{}", npt ? "npt" : "nvt", thermostat, barostat);
    } else if (!npt) {
        append(out, "; the rigid bodies have their own.\n");
        command(out, "fix", "bodies bodies rigid/nvt/small molecule {}", thermostat);
        if (mobile) command(out, "fix", "md mobile nvt {}", thermostat);
    } else {
        append(out, ".\n");
        append_bodies_barostat(out, plan, thermostat);
    }
    if (plan.run.dump_every > 0) {
        append(out, "# The production's positions; -var dump_every 0 writes none.\n");
        command(out, "if",
                "\"${{dump_every}} > 0\" then \"dump trajectory all custom ${{dump_every}} "
                "trajectory.lammpstrj id mol type x y z ix iy iz\"");
    } else {
        append(out,
               "# Uncomment to write the positions every 1000 steps:\n"
               "# dump            trajectory all custom 1000 trajectory.lammpstrj id mol type x y "
               "z ix iy iz\n");
    }
    command(out, "run", "${{steps}}");
}

void append_final_state(Out& out) {
    section(out, "Final state");
    append(out,
           "# Positions and velocities for a rebuild with this or another preset, without the\n"
           "# coefficients, which stay in forcefield.lmp (boxwright from-coords --coords "
           "final.data);\n# and a restart file to continue this run with read_restart.\n");
    command(out, "write_data", "final.data nocoeff");
    command(out, "write_restart", "final.restart");
}

}  // namespace

RunCutoffs run_cutoffs(PairSetup setup, double cutoff_vdw, const PairSettings& settings) {
    RunCutoffs cutoffs{settings.cutoff.value_or(cutoff_vdw), std::nullopt};
    if (has_coulomb_term(setup)) cutoffs.coulomb = settings.coulomb_cutoff.value_or(PRESET_CUTOFF);
    return cutoffs;
}

std::string_view pressure_unit_name(PressureUnit unit) {
    return PRESSURE_UNIT_NAMES[static_cast<std::size_t>(unit)];
}

std::optional<PressureUnit> pressure_unit_named(std::string_view name) {
    for (std::size_t i = 0; i < PRESSURE_UNIT_NAMES.size(); ++i) {
        if (PRESSURE_UNIT_NAMES[i] == name) return static_cast<PressureUnit>(i);
    }
    return std::nullopt;
}

double pascal_per(PressureUnit unit) {
    switch (unit) {
        case PressureUnit::Atm:
            return PASCAL_PER_ATM;
        case PressureUnit::Bar:
            return 1e5;
        case PressureUnit::KPa:
            return 1e3;
        case PressureUnit::MPa:
            return 1e6;
        case PressureUnit::Pa:
            return 1;
    }
    return PASCAL_PER_ATM;
}

double atm_per(PressureUnit unit) {
    return unit == PressureUnit::Atm ? 1 : pascal_per(unit) / PASCAL_PER_ATM;
}

InputScriptPlan plan_input_script(std::span<const ActivePair> active,
                                  const TypeRegistries& registries, const ForceField& force_field,
                                  std::optional<PairSetup> pair_setup, const RunSettings& run,
                                  const PairSettings& pair_settings) {
    InputScriptPlan plan;
    plan.pair_setup = pair_setup;
    plan.water = tip4p_water_types(active, registries).value_or(Tip4pTypes{});
    plan.asked = pair_settings;
    if (pair_setup) {
        const auto cutoffs = run_cutoffs(*pair_setup, force_field.cutoff_vdw, pair_settings);
        if (cutoffs != run_cutoffs(*pair_setup, PRESET_CUTOFF, {})) plan.cutoffs = cutoffs;
    }
    plan.run = run;
    for (const auto& entry : registries.atoms.entries()) {
        if (is_bare_charge(force_field.checked_pseudo_atom(entry.key))) {
            plan.bare_charge = entry.key;
            break;
        }
    }
    std::uint64_t molecule = 1, atom = 1;
    for (const auto& pair : active) {
        const std::uint64_t atoms = pair.resolved.molecule->pseudo_atoms.size();
        plan.species.push_back({pair.resolved.molecule->name, molecule, pair.count, atom, atoms,
                                hold_for(pair.resolved, registries, force_field)});
        molecule += pair.count;
        atom += pair.count * atoms;
    }
    return plan;
}

std::string input_script_text(const InputScriptPlan& plan) {
    Out out;
    append_header(out, plan);
    append_system(out, plan);
    if (!plan.velocities_kept && !plan.run.equilibrated) append_relaxation(out, plan);
    append_constraints(out, plan);
    append_velocities(out, plan);
    append_start(out, plan);
    append_production(out, plan);
    append_final_state(out);
    return fmt::to_string(out);
}

}  // namespace boxwright
