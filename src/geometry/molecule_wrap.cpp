#include "geometry/molecule_wrap.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace boxwright {
namespace {

// The whole number of box edges that brings each coordinate of `centre` into [0, edge).
Position shift_into_box(const Position& centre, double edge) {
    Position shift{};
    for (int axis = 0; axis < 3; ++axis) shift[axis] = -edge * std::floor(centre[axis] / edge);
    return shift;
}

bool inside(const Position& centre, double edge) {
    for (double c : centre) {
        if (!(c >= 0 && c < edge)) return false;
    }
    return true;
}

}  // namespace

std::optional<std::vector<Position>> molecules_wrapped_into_box(
    std::span<const CountedMolecule> species, std::span<const Position> positions,
    double box_edge) {
    std::optional<std::vector<Position>> moved;
    std::uint64_t first_atom = 0;  // of the copy at hand
    for (const auto& [molecule, count] : species) {
        const std::uint64_t atoms = molecule->pseudo_atoms.size();
        // Positions that are not one per atom are the data writer's to refuse, unmoved.
        if (atoms == 0 || count > (positions.size() - first_atom) / atoms) return std::nullopt;
        for (std::uint64_t copy = 0; copy < count; ++copy, first_atom += atoms) {
            Position centre{};
            for (std::uint64_t atom = 0; atom < atoms; ++atom) {
                centre = centre + positions[first_atom + atom];
            }
            for (double& c : centre) c /= static_cast<double>(atoms);
            if (inside(centre, box_edge)) continue;
            if (!moved) moved.emplace(positions.begin(), positions.end());
            const Position shift = shift_into_box(centre, box_edge);
            for (std::uint64_t atom = 0; atom < atoms; ++atom) {
                Position& at = (*moved)[first_atom + atom];
                at = at + shift;
            }
        }
    }
    return moved;
}

}  // namespace boxwright
