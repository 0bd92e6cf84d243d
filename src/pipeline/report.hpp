// BuildReport: what a finished build tells beyond its summary text. Each species' size, mass and
// charge; the box, mass density and net charge; the closest contact between molecules; the files
// written; and every warning: the summary's, then those of set-ups that are physically doubtful
// or that LAMMPS would refuse, each check written beside its message.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "decomposition/decomposed_pack.hpp"
#include "ff/force_field.hpp"
#include "geometry/closest_contact.hpp"
#include "lammps/input_script.hpp"
#include "lammps/pair_style.hpp"
#include "lammps/resolved.hpp"
#include "lammps/type_registry.hpp"
#include "pipeline/outputs.hpp"

namespace boxwright {

struct SpeciesReport {
    std::string name;
    std::uint64_t count = 0;
    std::uint64_t atoms_per_molecule = 0;
    double molecular_mass = 0;  // g/mol
    double charge = 0;          // e, per molecule
};

struct BuildReport {
    BuildSummary summary;
    std::optional<PairSetup> pair_setup;  // as written into forcefield.lmp
    std::vector<SpeciesReport> species;   // with copies, in species order
    double density = 0;                   // kg/m³
    double net_charge = 0;                // e
    std::optional<Contact> closest_contact;
    std::optional<SplitPacking> split;  // how the box was split, when it was
    std::vector<std::string> warnings;
    std::vector<std::string> files;
};

// What the report is about, all of it read only; `active` without count-0 species.
struct FinishedBuild {
    const ForceField& force_field;
    std::span<const ActivePair> active;
    const TypeRegistries& registries;
    std::span<const Position> coordinates;
    std::optional<PairSetup> pair_setup;
    // The caller gave the positions (a packed box keeps its own tolerance): close contacts
    // are warned about.
    bool given_coordinates = false;
    // in.lmp is written, and with it the force field's own cutoff.
    bool input_script = false;
    // Packed in sub-boxes: the summary says how, and a contact closer than the tolerance kept
    // across their faces is warned about.
    std::optional<SplitPacking> split = std::nullopt;
};

// The report of a build whose files `summary` names; `files` lists them and in.lmp, if written.
BuildReport make_build_report(const FinishedBuild& build, BuildSummary summary,
                              std::vector<std::string> files);

}  // namespace boxwright
