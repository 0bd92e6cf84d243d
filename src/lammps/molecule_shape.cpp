#include "lammps/molecule_shape.hpp"

#include <algorithm>
#include <cmath>

#include "base/numbers.hpp"

namespace boxwright {
namespace {

// Atoms within this distance of the line through a molecule count as on it: far less than any
// real bend, more than the rounding of coordinates written to three or four decimals.
constexpr double ON_LINE_ANG = 0.01;

}  // namespace

std::optional<BentTriatomic> bent_triatomic(const ResolvedMolecule& resolved) {
    const Molecule& molecule = *resolved.molecule;
    if (molecule.pseudo_atoms.size() != 3 || resolved.bonds.size() != 2 ||
        resolved.angles.size() != 1) {
        return std::nullopt;
    }
    const auto& angle = resolved.angles.front();
    if (!(angle.record.angle0 < STRAIGHT_ANGLE_DEGREES)) return std::nullopt;
    // Three atoms, two bonds and one derived angle: the bonds meet at the angle's vertex.
    return BentTriatomic{angle.atoms[1], {angle.atoms[0], angle.atoms[2]}, &angle.record};
}

std::optional<Tip4pTypes> tip4p_water_types(std::span<const ActivePair> active,
                                            const TypeRegistries& registries) {
    std::optional<Tip4pTypes> first;
    for (const auto& pair : active) {
        const Molecule& molecule = *pair.resolved.molecule;
        if (pair.count == 0 || !molecule.rigid) continue;
        const auto shape = bent_triatomic(pair.resolved);
        if (!shape) continue;
        const std::string& oxygen = molecule.pseudo_atoms[shape->centre].name;
        const std::string& hydrogen = molecule.pseudo_atoms[shape->ends[0]].name;
        if (molecule.pseudo_atoms[shape->ends[1]].name != hydrogen) continue;
        const Tip4pTypes water{
            registries.atoms.type_number(oxygen), registries.atoms.type_number(hydrogen),
            registries.bonds.type_number(norm_pair(oxygen, hydrogen)),
            registries.angles.type_number(norm_triple(hydrogen, oxygen, hydrogen)),
            molecule.m_site.value_or(DEFAULT_M_SITE_ANG)};
        // A water that declares its M site is the four-site one, wherever it stands: a three-site
        // water listed before it keeps its own point charges.
        if (molecule.m_site) return water;
        if (!first) first = water;
    }
    return first;
}

std::optional<std::string> tip4p_refusal(const ActivePair& water,
                                         std::span<const ActivePair> active,
                                         const ForceField& force_field) {
    const Molecule& molecule = *water.resolved.molecule;
    if (!molecule.rigid) {
        return "is flexible, and the TIP4P pair style holds the M site of a rigid water only";
    }
    const auto shape = bent_triatomic(water.resolved);
    if (!shape) return "is not three atoms, two of them bonded to the third at a bent angle";
    const std::string& oxygen = molecule.pseudo_atoms[shape->centre].name;
    const std::string& hydrogen = molecule.pseudo_atoms[shape->ends[0]].name;
    const std::string& other = molecule.pseudo_atoms[shape->ends[1]].name;
    if (other != hydrogen) {
        return fmt::format(
            "has two different pseudo atoms beside its O ('{}' and '{}'), and the TIP4P pair "
            "style takes one hydrogen type",
            hydrogen, other);
    }
    if (oxygen == hydrogen) return fmt::format("has one pseudo atom ('{}') for O and H", oxygen);
    if (shape->centre != 0) {
        return fmt::format(
            "lists its O ('{}') as atom {} of 3: LAMMPS looks for a water's H atoms at the two "
            "atom IDs after its O's (list O first in the molecule file)",
            oxygen, shape->centre + 1);
    }
    const auto& h = force_field.checked_pseudo_atom(hydrogen);
    if (h.self_interaction && h.epsilon_k != 0) {
        return fmt::format(
            "has a Lennard-Jones well on its H ('{}', epsilon {} K), and the TIP4P pair style "
            "refuses one on the water's H",
            hydrogen, plain_number(h.epsilon_k));
    }
    for (const auto& pair : active) {
        if (&pair == &water || pair.count == 0) continue;
        const auto& atoms = pair.resolved.molecule->pseudo_atoms;
        if (std::ranges::any_of(atoms, [&](const auto& atom) { return atom.name == oxygen; })) {
            return fmt::format(
                "shares its O's pseudo atom '{}' with species '{}', whose atoms of it LAMMPS "
                "would take for the O of a water",
                oxygen, pair.resolved.molecule->name);
        }
    }
    return std::nullopt;
}

bool declares_four_site_water(std::span<const ActivePair> active, const ForceField& force_field) {
    return std::ranges::any_of(active, [&](const ActivePair& pair) {
        return pair.resolved.molecule->m_site && pair.count > 0 &&
               !tip4p_refusal(pair, active, force_field);
    });
}

std::vector<double> straight_offsets(const Molecule& molecule, const ForceField& force_field) {
    const auto& atoms = molecule.pseudo_atoms;
    if (atoms.size() < 3) return {};
    // The line runs through the two atoms farthest apart.
    std::size_t from = 0, to = 0;
    double longest = 0;
    for (std::size_t i = 0; i < atoms.size(); ++i) {
        for (std::size_t j = i + 1; j < atoms.size(); ++j) {
            const Position d = atoms[j].position - atoms[i].position;
            if (dot(d, d) > longest) {
                longest = dot(d, d);
                from = i;
                to = j;
            }
        }
    }
    if (!(longest > 0)) return {};
    const Position axis = atoms[to].position - atoms[from].position;
    const double length = std::sqrt(longest);
    std::vector<double> along(atoms.size());
    double mass = 0, mass_along = 0;
    for (std::size_t k = 0; k < atoms.size(); ++k) {
        const Position d = atoms[k].position - atoms[from].position;
        along[k] = dot(d, axis) / length;
        const double off_line = dot(d, d) - along[k] * along[k];
        if (off_line > ON_LINE_ANG * ON_LINE_ANG) return {};
        const double m = force_field.checked_pseudo_atom(atoms[k].name).mass;
        mass += m;
        mass_along += m * along[k];
    }
    // Without a positive mass there is no centre of mass, and no rigid body either.
    if (!(mass > 0)) return {};
    for (double& offset : along) offset -= mass_along / mass;
    return along;
}

}  // namespace boxwright
