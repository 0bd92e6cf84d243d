// RASPA3's input for one system: simulation.json, force_field.json and one molecule file per
// species, written from this system's molecules and force field so that RASPA3 computes the same
// energy as LAMMPS will from the written files. What differs between the two formats is settled
// here and nowhere else:
//   - a rigid species is one rigid body (RASPA3 takes a molecule with bonds as flexible);
//   - a four-site water gets its massless M site as an explicit atom after its own, carrying the
//     oxygen's charge (LAMMPS's TIP4P styles place it from "MSite"; RASPA3 needs the atom);
//   - each bond, bend and torsion of a flexible molecule is matched by exactly one entry (a second
//     match is an error in RASPA3), potentials named in RASPA3's letter case, a torsion's constant
//     c0 left out as LAMMPS's OPLS form leaves it out, and held bonds ("FixedBonds") FIXED;
//   - the force field lists only keys RASPA3 accepts (an unknown one is an error there);
//   - the cutoffs are at most half the box, as RASPA3's minimum image needs.
// Moves are chosen per species: translation and rotation for a rigid one, configurational-bias
// reinsertion besides for a flexible one, and volume moves when a pressure is given.
// Knows nothing about LAMMPS types or about running RASPA3.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "ff/counted_molecule.hpp"
#include "ff/force_field.hpp"

namespace boxwright {

struct RaspaConditions {
    double box_length = 0;                             // Å, the cube RASPA3 starts from
    double temperature = 298.15;                       // K
    std::optional<double> pressure_pa = std::nullopt;  // Pa; NPT with volume moves, else NVT
    std::uint64_t init_cycles = 0;                     // RASPA3's initialisation cycles
    std::uint64_t cycles = 0;                          // production cycles
    std::optional<std::uint64_t> seed = std::nullopt;  // RASPA3 picks one when absent
    double cutoff_vdw = 12;                            // Å, Lennard-Jones
    double cutoff_coulomb = 10;                        // Å, the real-space part of the Ewald sum
    std::uint64_t print_every = 1;                     // cycles between RASPA3's progress reports
};

struct RaspaFile {
    std::string name;  // in the run directory
    std::string text;
};

// The component name RASPA3 knows a species by, and the file it reads it from (name + ".json").
std::string component_name(const Molecule& molecule);

// Sites RASPA3 carries after a molecule's own atoms: 1 for a four-site water, else 0.
std::size_t extra_sites(const Molecule& molecule);

// Whether any atom RASPA3 gets carries a charge: then it runs an Ewald sum.
bool carries_charges(std::span<const CountedMolecule> species, const ForceField& force_field);

// The files, each species with a non-zero count a component in species order. The force field
// must declare every pseudo atom of the species (a resolved system's does).
Result<std::vector<RaspaFile>> raspa_input_files(std::span<const CountedMolecule> species,
                                                 const ForceField& force_field,
                                                 const RaspaConditions& conditions);

}  // namespace boxwright
