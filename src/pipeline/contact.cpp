#include "pipeline/contact.hpp"

#include <fmt/format.h>

#include <utility>
#include <vector>

#include "base/invariant.hpp"

namespace boxwright {
namespace {

// The species and the molecule number within it of a 0-based molecule of the whole system.
std::pair<const ActivePair*, std::uint64_t> species_of_molecule(std::span<const ActivePair> active,
                                                                std::uint64_t molecule) {
    for (const auto& pair : active) {
        if (molecule < pair.count) return {&pair, molecule};
        molecule -= pair.count;
    }
    unreachable("molecule of the system within its species");
}

}  // namespace

std::optional<Contact> closest_between_molecules(std::span<const ActivePair> active,
                                                 std::span<const Position> positions,
                                                 double box_edge, const GiveUp& give_up) {
    std::vector<MoleculeRun> runs;
    for (const auto& pair : active) {
        runs.push_back({pair.resolved.molecule->pseudo_atoms.size(), pair.count});
    }
    return closest_contact(positions, box_edge, runs, give_up);
}

std::string contact_text(const Contact& contact, std::span<const ActivePair> active) {
    const auto [first, n] = species_of_molecule(active, contact.molecules[0]);
    const auto [second, m] = species_of_molecule(active, contact.molecules[1]);
    return fmt::format("atoms {} and {} (of {} {} and {} {}) are {:.3f} \u00c5 apart",
                       contact.atoms[0] + 1, contact.atoms[1] + 1, first->resolved.molecule->name,
                       n + 1, second->resolved.molecule->name, m + 1, contact.distance);
}

}  // namespace boxwright
