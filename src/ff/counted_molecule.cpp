#include "ff/counted_molecule.hpp"

namespace boxwright {

Result<std::uint64_t> add_copies(std::uint64_t total, const CountedMolecule& species,
                                 std::uint64_t per_copy, std::string_view what) {
    std::uint64_t product = 0;
    if (__builtin_mul_overflow(species.count, per_copy, &product) ||
        __builtin_add_overflow(total, product, &total)) {
        return fail(
            "system too large: the total number of {} exceeds the 64-bit range at {} copies of "
            "molecule '{}'",
            what, species.count, species.molecule->name);
    }
    return total;
}

Result<std::uint64_t> total_atoms(std::span<const CountedMolecule> species) {
    std::uint64_t atoms = 0;
    for (const auto& counted : species) {
        BW_TRY(atoms, add_copies(atoms, counted, counted.molecule->pseudo_atoms.size(), "atoms"));
    }
    return atoms;
}

}  // namespace boxwright
