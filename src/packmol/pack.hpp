// pack_system: places the active species in a cubic box of the requested density by running the
// external packmol program in a working directory the caller owns and provides. Its parts serve a
// packing split into sub-boxes too: the box edge, and one Packmol run for any region and counts.
#pragma once

#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "ff/counted_molecule.hpp"
#include "ff/force_field.hpp"
#include "ff/molecule.hpp"

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

// One Packmol run: the species with the copies of each to place, the region that holds every
// atom, and the random seed.
struct PackmolJob {
    std::span<const CountedMolecule> species;  // file names keep each one's position in the list
    Position low{}, high{};                    // corners of the `inside box` region, Å
    double tolerance = 0;                      // Å
    std::optional<std::int32_t> seed;          // packmol's own default when absent
};

struct PackmolRun {
    std::vector<Position> coordinates;  // species by species, molecule by molecule, in job order
    std::optional<std::string> note;    // packmol failed but its output passed every check
};

// The edge of the cubic box that holds the species at `density`, after checking that there is
// something to pack and that the density is positive; the force field gives the masses.
Result<double> packing_box_edge(std::span<const CountedMolecule> species,
                                const ForceField& force_field, double density);

// Writes the templates (none for a species with count 0) and pack.inp into `work_dir`, runs
// packmol there and reads its output back, checking that it holds every atom of the job. Once
// `stop` is requested, packmol is stopped and the call fails.
Result<PackmolRun> run_packmol_job(const std::string& work_dir, const PackmolJob& job,
                                   const std::stop_token& stop = {});

// The box edge, then one run over the whole box, kept from its walls by the tolerance (at least
// 1.5 Å, at most a quarter of the edge). Once `stop` is requested, packmol is stopped and the
// call fails.
Result<PackedSystem> pack_system(const std::string& work_dir,
                                 std::span<const CountedMolecule> species,
                                 const ForceField& force_field, double density, double tolerance,
                                 const std::stop_token& stop = {});

}  // namespace boxwright
