// CountedMolecule: a molecule and the number of its copies in a build, the view of the system for
// a step that places copies and needs neither force-field records nor LAMMPS types (the packer);
// and the 64-bit-checked arithmetic of totals over copies, shared by everything that counts them.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "base/error.hpp"
#include "ff/molecule.hpp"

namespace boxwright {

struct CountedMolecule {
    const Molecule* molecule = nullptr;  // must outlive the view
    std::uint64_t count = 0;
};

// `total` plus `per_copy` for each copy of `species`; when the product or the sum leaves 64 bits,
// a failure naming `what` ("atoms", "bonds", ...), the count and the molecule, so a huge request
// fails instead of wrapping.
Result<std::uint64_t> add_copies(std::uint64_t total, const CountedMolecule& species,
                                 std::uint64_t per_copy, std::string_view what);

// Every atom of every copy, checked as add_copies checks.
Result<std::uint64_t> total_atoms(std::span<const CountedMolecule> species);

}  // namespace boxwright
