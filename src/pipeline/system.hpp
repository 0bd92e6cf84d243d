// The resolved system: the second step of every build. Drops the count-0 species, resolves the
// rest into LAMMPS records, numbers every type once for all the files and the report (parameter
// conflicts fail here, before anything is packed or written), reports each rigid-placeholder bond
// and angle type, and settles the pair-style preset.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "base/error.hpp"
#include "ff/counted_molecule.hpp"
#include "ff/force_field.hpp"
#include "ff/molecule.hpp"
#include "lammps/pair_style.hpp"
#include "lammps/resolved.hpp"
#include "lammps/type_registry.hpp"
#include "pipeline/diagnostics.hpp"
#include "pipeline/inputs.hpp"
#include "pipeline/request.hpp"

namespace boxwright {

struct ActiveSpecies {
    ActiveList active;          // species with a non-zero count, in species order
    TypeRegistries registries;  // the type numbers of every file of the build
};

// Numbers the types of resolved species and reports their rigid placeholders at the level given.
// Bond and angle conflicts are found first, then pseudo atoms missing from the force field.
Result<ActiveSpecies> number_types(ActiveList active, const ForceField& force_field,
                                   Diagnostics& diagnostics,
                                   DiagnosticLevel placeholders = DiagnosticLevel::Warning);

// Resolves the species with a non-zero count, then number_types. The molecules must outlive the
// result: each ResolvedMolecule refers to its Molecule.
Result<ActiveSpecies> resolve_active(std::span<const Molecule> molecules,
                                     std::span<const std::uint64_t> counts,
                                     const ForceField& force_field, Diagnostics& diagnostics,
                                     DiagnosticLevel placeholders = DiagnosticLevel::Warning);

// Every molecule with a placeholder is rigid, and in.lmp holds rigid molecules: with it, the
// placeholders are a note; without it, the user must hold them.
DiagnosticLevel placeholder_level(const BuildRequest& request);

std::optional<PairSetup> settle_pair_setup(PresetRule rule, std::optional<PairSetup> requested,
                                           std::span<const ActivePair> active,
                                           const ForceField& force_field);

// What a build is made of from its second step on. Moved, never copied: the active species refer
// to the loaded molecules, whose storage moves with them.
struct ResolvedSystem {
    LoadedSpecies loaded;
    ActiveSpecies species;
    std::optional<PairSetup> pair_setup;  // as written into forcefield.lmp

    const ForceField& force_field() const { return loaded.force_field; }
    std::span<const ActivePair> active() const { return species.active; }
    // The active species as molecules and counts, for the steps that need no LAMMPS records.
    std::vector<CountedMolecule> counted() const;
};

// load_molecules (its unknown keys reported), a check that every pseudo atom of an active species
// is declared by the force field, resolve_active and the preset.
Result<ResolvedSystem> resolve_system(const BuildRequest& request, Diagnostics& diagnostics);

}  // namespace boxwright
