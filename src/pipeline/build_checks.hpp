// The checks of a finished build: set-ups that are physically doubtful or that LAMMPS would
// refuse or run otherwise than meant (a net charge, a preset that drops the charges or finds no
// water for its M site, a pseudo atom without a core or a mass, a flexible bond too stiff for the
// timestep, a box under twice the cutoff, overlapping or too close atoms), each check written
// beside its message. Every finding goes to the diagnostics as a warning, or as a note when it is
// a fact the user may want; none fails the build. Measuring the build is the report's business.
#pragma once

#include <optional>
#include <span>

#include "decomposition/decomposed_pack.hpp"
#include "ff/force_field.hpp"
#include "ff/molecule.hpp"
#include "geometry/closest_contact.hpp"
#include "lammps/input_script.hpp"
#include "lammps/pair_style.hpp"
#include "lammps/resolved.hpp"
#include "lammps/type_registry.hpp"
#include "pipeline/diagnostics.hpp"
#include "pipeline/report.hpp"

namespace boxwright {

// What the full report and its checks look at, all of it read only; `active` without count-0
// species.
struct FinishedBuild {
    const ForceField& force_field;
    std::span<const ActivePair> active;
    const TypeRegistries& registries;
    std::span<const Position> coordinates;
    std::optional<PairSetup> pair_setup;
    // The caller gave the positions (a packed box keeps its own tolerance): close contacts
    // are warned about.
    bool given_coordinates = false;
    // in.lmp is written, and with it the force field's own cutoff or the one asked for.
    bool input_script = false;
    PairSettings pair_settings = {};
    // Packed in sub-boxes: the summary says how.
    std::optional<SplitPacking> split = std::nullopt;
    // Packed: a contact closer than the tolerance is warned about.
    std::optional<double> packing_tolerance = std::nullopt;
    // Measured by the packing already, when it was.
    std::optional<Contact> packed_contact = std::nullopt;
    // in.lmp's timestep, when it is written.
    std::optional<double> timestep_fs = std::nullopt;
    // Asked while the closest contact is sought.
    GiveUp give_up = {};
};

// Runs every check on `build`, with the numbers the report has measured of it (species,
// density, net charge, closest contact, box).
void check_finished_build(const FinishedBuild& build, const BuildReport& report,
                          Diagnostics& diagnostics);

}  // namespace boxwright
