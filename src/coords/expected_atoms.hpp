// ExpectedAtoms: the atoms a build needs, as a coordinate file must list them: species in build
// order, each species' copies one after another, each copy's pseudo atoms in molecule-file order.
// Gives their number and each one's pseudo-atom name without spelling out a name per atom.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "ff/counted_molecule.hpp"
#include "ff/molecule.hpp"

namespace boxwright {

class ExpectedAtoms {
  public:
    // The molecules must outlive the ExpectedAtoms. Fails as total_atoms does when the atoms of
    // all copies are more than 64 bits count.
    static Result<ExpectedAtoms> of(std::vector<CountedMolecule> species);

    std::uint64_t size() const { return first_atoms_.empty() ? 0 : first_atoms_.back(); }

    struct Atom {
        const std::string& name;     // the pseudo-atom name
        const std::string& species;  // the molecule's name
    };
    // The atom at 0-based `index` of the build; index < size().
    Atom at(std::uint64_t index) const;

    // The species with their counts, in build order.
    std::span<const CountedMolecule> species() const { return species_; }

  private:
    explicit ExpectedAtoms(std::vector<CountedMolecule> species);

    std::vector<CountedMolecule> species_;
    std::vector<std::uint64_t> first_atoms_;  // of each species, and the total at the end
};

}  // namespace boxwright
