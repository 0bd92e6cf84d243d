#include "lammps/type_registry.hpp"

#include <cmath>
#include <string>
#include <utility>

namespace boxwright {

TripleKey norm_triple(std::string_view a, std::string_view b, std::string_view c) {
    // Only the ends decide; the vertex never moves.
    if (a > c) return {std::string(c), std::string(b), std::string(a)};
    return {std::string(a), std::string(b), std::string(c)};
}

QuadKey norm_quad(std::string_view a, std::string_view b, std::string_view c, std::string_view d) {
    // The smaller of the forward and the reversed tuple; equal tuples keep the forward order.
    bool reverse = a > d || (a == d && b > c);
    if (reverse) return {std::string(d), std::string(c), std::string(b), std::string(a)};
    return {std::string(a), std::string(b), std::string(c), std::string(d)};
}

namespace {

// Parameters agree when they differ by strictly less than this, in LAMMPS units.
constexpr double AGREEMENT_TOLERANCE = 1e-6;
// Placeholders are measured from reference coordinates, which files give to three decimals or
// more: the equal bonds and angles of a symmetric molecule then differ by up to about 0.0017 Å
// and 0.15°. Within these they are one type, held at the geometry met first.
constexpr double PLACEHOLDER_LENGTH_TOLERANCE = 0.002;  // Å
constexpr double PLACEHOLDER_ANGLE_TOLERANCE = 0.2;     // degrees

bool agrees(double first, double second, double tolerance = AGREEMENT_TOLERANCE) {
    return std::fabs(first - second) < tolerance;  // false for NaN
}

bool agrees(const ResolvedBond& a, const ResolvedBond& b) {
    const double tolerance = a.placeholder ? PLACEHOLDER_LENGTH_TOLERANCE : AGREEMENT_TOLERANCE;
    return a.placeholder == b.placeholder && agrees(a.k, b.k) && agrees(a.r0, b.r0, tolerance);
}

bool agrees(const ResolvedAngle& a, const ResolvedAngle& b) {
    const double tolerance = a.placeholder ? PLACEHOLDER_ANGLE_TOLERANCE : AGREEMENT_TOLERANCE;
    return a.placeholder == b.placeholder && agrees(a.k, b.k) &&
           agrees(a.angle0, b.angle0, tolerance);
}

// Two parameters of a conflict to four decimals, or to as many more as it takes to show that
// they differ.
std::pair<std::string, std::string> told_apart(double current, double stored) {
    int decimals = 4;
    const auto text = [&decimals](double value) { return fmt::format("{:.{}f}", value, decimals); };
    while (decimals < 12 && current != stored && text(current) == text(stored)) ++decimals;
    return {text(current), text(stored)};
}

bool agrees(const ResolvedDihedral& a, const ResolvedDihedral& b) {
    return agrees(a.k1, b.k1) && agrees(a.k2, b.k2) && agrees(a.k3, b.k3) && agrees(a.k4, b.k4);
}

PairKey key_of(const ResolvedBond& bond) { return norm_pair(bond.types[0], bond.types[1]); }

TripleKey key_of(const ResolvedAngle& angle) {
    return norm_triple(angle.types[0], angle.types[1], angle.types[2]);
}

QuadKey key_of(const ResolvedDihedral& dihedral) {
    const auto& t = dihedral.types;
    return norm_quad(t[0], t[1], t[2], t[3]);
}

FfError conflict(const PairKey& key, const std::string& molecule, const ResolvedBond& current,
                 const ResolvedBond& stored) {
    const auto [k, stored_k] = told_apart(current.k, stored.k);
    const auto [r0, stored_r0] = told_apart(current.r0, stored.r0);
    return FfError{fmt::format(
        "conflicting bond parameters for type pair ({}, {}): molecule '{}' resolves to k={} "
        "r0={}, but an earlier molecule resolved to k={} r0={}",
        key[0], key[1], molecule, k, r0, stored_k, stored_r0)};
}

FfError conflict(const TripleKey& key, const std::string& molecule, const ResolvedAngle& current,
                 const ResolvedAngle& stored) {
    const auto [k, stored_k] = told_apart(current.k, stored.k);
    const auto [angle0, stored_angle0] = told_apart(current.angle0, stored.angle0);
    return FfError{fmt::format(
        "conflicting angle parameters for type triple ({}, {}, {}): molecule '{}' resolves to "
        "k={} angle0={}, but an earlier molecule resolved to k={} angle0={}",
        key[0], key[1], key[2], molecule, k, angle0, stored_k, stored_angle0)};
}

// K4 takes part in the agreement but is always 0, so the message leaves it out.
FfError conflict(const QuadKey& key, const std::string& molecule, const ResolvedDihedral& current,
                 const ResolvedDihedral& stored) {
    const auto [k1, stored_k1] = told_apart(current.k1, stored.k1);
    const auto [k2, stored_k2] = told_apart(current.k2, stored.k2);
    const auto [k3, stored_k3] = told_apart(current.k3, stored.k3);
    return FfError{fmt::format(
        "conflicting torsion parameters for type quadruple ({}, {}, {}, {}): molecule '{}' "
        "resolves to K1={} K2={} K3={}, but an earlier molecule resolved to K1={} K2={} K3={}",
        key[0], key[1], key[2], key[3], molecule, k1, k2, k3, stored_k1, stored_k2, stored_k3)};
}

// One pass over the species (not their copies): the first record of a key is kept, every later
// one must agree with it.
template <class Registry, class Elements>
Result<Registry> build_element_registry(std::span<const ActivePair> active,
                                        Elements ResolvedMolecule::*elements) {
    Registry registry;
    for (const auto& pair : active) {
        if (pair.count == 0) continue;
        for (const auto& element : pair.resolved.*elements) {
            auto key = key_of(element.record);
            if (auto position = registry.find(key)) {
                const auto& stored = registry[*position].value;
                if (!agrees(element.record, stored)) {
                    return tl::unexpected(
                        conflict(key, pair.resolved.molecule->name, element.record, stored));
                }
                continue;
            }
            registry.insert(std::move(key), element.record);
        }
    }
    return registry;
}

}  // namespace

Result<AtomTypeRegistry> build_atom_type_registry(std::span<const ActivePair> active,
                                                  const ForceField& force_field) {
    AtomTypeRegistry registry;
    for (const auto& pair : active) {
        if (pair.count == 0) continue;
        const Molecule& molecule = *pair.resolved.molecule;
        for (const auto& atom : molecule.pseudo_atoms) {
            BW_TRY_VOID(force_field.pseudo_atom_used_by(molecule.name, atom.name));
            registry.insert(atom.name, Unit{});
        }
    }
    if (registry.empty()) {
        return fail("no atoms to build: all species have count 0, or no species were given");
    }
    return registry;
}

Result<BondTypeRegistry> build_bond_type_registry(std::span<const ActivePair> active) {
    return build_element_registry<BondTypeRegistry>(active, &ResolvedMolecule::bonds);
}

Result<AngleTypeRegistry> build_angle_type_registry(std::span<const ActivePair> active) {
    return build_element_registry<AngleTypeRegistry>(active, &ResolvedMolecule::angles);
}

Result<DihedralTypeRegistry> build_dihedral_type_registry(std::span<const ActivePair> active) {
    return build_element_registry<DihedralTypeRegistry>(active, &ResolvedMolecule::dihedrals);
}

Result<TypeRegistries> build_type_registries(std::span<const ActivePair> active,
                                             const ForceField& force_field) {
    BW_TRY(auto bonds, build_bond_type_registry(active));
    BW_TRY(auto angles, build_angle_type_registry(active));
    BW_TRY(auto atoms, build_atom_type_registry(active, force_field));
    BW_TRY(auto dihedrals, build_dihedral_type_registry(active));
    return TypeRegistries{std::move(atoms), std::move(bonds), std::move(angles),
                          std::move(dihedrals)};
}

}  // namespace boxwright
