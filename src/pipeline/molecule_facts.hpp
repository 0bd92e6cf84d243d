// describe_molecule: what a molecule is, told without a build, for the listing of the bundled
// models: its sites, how a LAMMPS run holds its shape (the rules of constraints.hpp) and its
// charge. Reads the molecule file and its force-field file; writes nothing.
#pragma once

#include <cstdint>
#include <string>

#include "base/error.hpp"

namespace boxwright {

struct MoleculeFacts {
    std::uint64_t sites = 0;  // atoms of data.lmp, plus the massless M site of a four-site water
    // "one site"; "rigid"; "fixed bonds" (a flexible molecule whose every bond is held, its bends
    // and torsions free); or "flexible"
    std::string shape;
    double charge = 0;     // net, e
    bool charged = false;  // any site carries a partial charge
};

Result<MoleculeFacts> describe_molecule(const std::string& molecule_path,
                                        const std::string& force_field_path);

}  // namespace boxwright
