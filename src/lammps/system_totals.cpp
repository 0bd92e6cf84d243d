#include "lammps/system_totals.hpp"

#include <string_view>

#include "ff/counted_molecule.hpp"

namespace boxwright {

Result<SystemTotals> system_totals(std::span<const ActivePair> active) {
    SystemTotals totals;
    for (const auto& pair : active) {
        const ResolvedMolecule& resolved = pair.resolved;
        const CountedMolecule species{resolved.molecule, pair.count};
        const struct {
            std::string_view what;
            std::uint64_t& total;
            std::uint64_t per_molecule;
        } parts[] = {
            {"molecules", totals.molecules, 1},
            {"atoms", totals.atoms, resolved.molecule->pseudo_atoms.size()},
            {"bonds", totals.bonds, resolved.bonds.size()},
            {"angles", totals.angles, resolved.angles.size()},
            {"dihedrals", totals.dihedrals, resolved.dihedrals.size()},
        };
        for (const auto& part : parts) {
            BW_TRY(part.total, add_copies(part.total, species, part.per_molecule, part.what));
        }
    }
    return totals;
}

}  // namespace boxwright
