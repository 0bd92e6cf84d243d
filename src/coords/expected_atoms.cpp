#include "coords/expected_atoms.hpp"

#include <algorithm>

#include "base/invariant.hpp"

namespace boxwright {

Result<ExpectedAtoms> ExpectedAtoms::of(std::vector<CountedMolecule> species) {
    BW_TRY_VOID(total_atoms(species));  // so that the sums below cannot wrap
    return ExpectedAtoms(std::move(species));
}

ExpectedAtoms::ExpectedAtoms(std::vector<CountedMolecule> species) : species_(std::move(species)) {
    std::uint64_t total = 0;
    first_atoms_.push_back(total);
    for (const auto& [molecule, count] : species_) {
        total += molecule->pseudo_atoms.size() * count;
        first_atoms_.push_back(total);
    }
}

ExpectedAtoms::Atom ExpectedAtoms::at(std::uint64_t index) const {
    invariant(index < size(), "an expected atom's index is within the build");
    // The last species whose first atom is at or before the index; empty species are stepped over.
    const auto after = std::upper_bound(first_atoms_.begin(), first_atoms_.end(), index);
    const auto k = static_cast<std::size_t>(after - first_atoms_.begin()) - 1;
    const Molecule& molecule = *species_[k].molecule;
    const std::uint64_t within = (index - first_atoms_[k]) % molecule.pseudo_atoms.size();
    return {molecule.pseudo_atoms[within].name, molecule.name};
}

}  // namespace boxwright
