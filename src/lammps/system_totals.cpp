#include "lammps/system_totals.hpp"

#include <string_view>

namespace boxwright {
namespace {

// Adds count × per_molecule to total; false when the product or the sum leaves 64 bits.
bool add_copies(std::uint64_t& total, std::uint64_t count, std::uint64_t per_molecule) {
    std::uint64_t product = 0;
    if (__builtin_mul_overflow(count, per_molecule, &product)) return false;
    return !__builtin_add_overflow(total, product, &total);
}

}  // namespace

Result<SystemTotals> system_totals(std::span<const ActivePair> active) {
    SystemTotals totals;
    for (const auto& pair : active) {
        const ResolvedMolecule& resolved = pair.resolved;
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
            if (!add_copies(part.total, pair.count, part.per_molecule)) {
                return fail(
                    "system too large: the total number of {} exceeds the 64-bit range at {} "
                    "copies of molecule '{}'",
                    part.what, pair.count, resolved.molecule->name);
            }
        }
    }
    return totals;
}

}  // namespace boxwright
