// BuildReport: what a finished build tells. The summary of the specified module (files written,
// system size, its warning lines) and every diagnostic of the build; for the package's builds
// also each species' size, mass and charge, the box, mass density and net charge, the closest
// contact between molecules and what the checks of the finished build (build_checks.hpp) found.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "decomposition/decomposed_pack.hpp"
#include "geometry/closest_contact.hpp"
#include "lammps/pair_style.hpp"
#include "pipeline/diagnostics.hpp"
#include "pipeline/output_set.hpp"
#include "pipeline/placement.hpp"
#include "pipeline/request.hpp"
#include "pipeline/system.hpp"

namespace boxwright {

// The files written and the size of the system, as the summary shows them.
struct BuildSummary {
    std::string data_path;
    std::string forcefield_path;
    std::vector<std::string> skipped;  // count-0 species, in species order
    double box_length = 0;
    std::uint64_t atom_count = 0, bond_count = 0, angle_count = 0, dihedral_count = 0;
    std::uint64_t atom_type_count = 0, bond_type_count = 0, angle_type_count = 0,
                  dihedral_type_count = 0;
    // How a packing split into sub-boxes ran, shown after the box line; never set by the builds
    // of the specified module, whose summary it leaves as it is.
    std::optional<std::string> packing;
};

struct SpeciesReport {
    std::string name;
    std::uint64_t count = 0;
    std::uint64_t atoms_per_molecule = 0;
    double molecular_mass = 0;  // g/mol
    double charge = 0;          // e, per molecule
};

// One atom type of data.lmp: its number there, the pseudo atom it stands for and the species
// that use it.
struct AtomTypeReport {
    std::uint64_t number = 0;  // from 1, as in data.lmp
    std::string pseudo_atom;
    std::vector<std::string> species;  // in species order
};

struct BuildReport {
    BuildSummary summary;
    std::vector<Diagnostic> diagnostics;  // in the order the steps reported them
    std::optional<PairSetup> pair_setup;  // as written into forcefield.lmp
    std::vector<std::string> files;       // data.lmp, forcefield.lmp and in.lmp if written
    std::optional<SplitPacking> split;    // how the box was split, when it was
    // The full report only.
    std::vector<SpeciesReport> species;      // with copies, in species order
    std::vector<AtomTypeReport> atom_types;  // in type order
    double density = 0;                      // kg/m³
    double net_charge = 0;                   // e
    std::optional<Contact> closest_contact;

    // The few lines returned to the caller: files written, system size, the summary's warnings.
    std::string summary_text() const;
    // The text of every warning, in order.
    std::vector<std::string> warnings() const;
};

// The last step of every build: the report on what was written. Adds the note on the long-range
// solver of forcefield.lmp and, when the request asks for the full report, the package's checks.
// The watch's stop is asked while the closest contact is sought: a report made after a stop is
// not to be used.
Result<BuildReport> make_build_report(const BuildRequest& request, const ResolvedSystem& system,
                                      const PlacedAtoms& placed, WrittenFiles files,
                                      Diagnostics diagnostics, const Watch& watch);

}  // namespace boxwright
