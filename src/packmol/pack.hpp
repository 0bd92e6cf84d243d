// pack_system: places the active species in a cubic box of the requested density by running the
// external packmol program in a working directory the caller owns and provides.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ff/counted_molecule.hpp"
#include "ff/error.hpp"
#include "ff/force_field.hpp"
#include "ff/molecule.hpp"
#include "packmol/cancellation.hpp"

namespace boxwright {

struct SpeciesTemplate {
    std::string path;
    std::uint64_t count = 0;
};

struct PackedSystem {
    std::vector<Position> coordinates;  // in the order of packmol's output
    double box_edge = 0;                // Å
    std::optional<std::string> note;    // packmol failed but its output passed every check
};

// Packmol runs in `work_dir`; the force field gives the masses, and so the box edge, and species
// with count 0 get no template. When `cancel` asks for it, packmol is stopped and the call fails.
Result<PackedSystem> pack_system(const std::string& work_dir,
                                 std::span<const CountedMolecule> species,
                                 const ForceField& force_field, double density, double tolerance,
                                 Cancellation& cancel = no_cancellation());

}  // namespace boxwright
