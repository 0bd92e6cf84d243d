// resolve_active: the second step of every build. Drops count-0 species, resolves the rest and
// reports parameter conflicts and rigid-placeholder warnings before anything is packed or written.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "ff/counted_molecule.hpp"
#include "ff/force_field.hpp"
#include "ff/molecule.hpp"
#include "lammps/pair_style.hpp"
#include "lammps/resolved.hpp"

namespace boxwright {

struct ActiveSpecies {
    ActiveList active;                  // species with a non-zero count, in species order
    std::vector<std::string> warnings;  // placeholder bond types, then placeholder angle types
};

// The molecules must outlive the result: each ResolvedMolecule refers to its Molecule.
Result<ActiveSpecies> resolve_active(std::span<const Molecule> molecules,
                                     std::span<const std::uint64_t> counts);

// How a build settles its pair-style preset once its species are known: as the caller asked, or
// (the package's "auto") LjCutCoulLong when any atom of the build carries a charge, else LjCut.
enum class PresetRule { AsRequested, FromCharges };

std::optional<PairSetup> settle_pair_setup(PresetRule rule, std::optional<PairSetup> requested,
                                           std::span<const ActivePair> active,
                                           const ForceField& force_field);

// The active species as molecules and counts, for the steps that need no LAMMPS records.
std::vector<CountedMolecule> counted_molecules(std::span<const ActivePair> active);

}  // namespace boxwright
