#include <algorithm>
#include <cmath>
#include <optional>
#include <string_view>

#include "base/names.hpp"
#include "base/numbers.hpp"
#include "base/units.hpp"
#include "lammps/resolved.hpp"

namespace boxwright {
namespace {

// Rigid placeholders are already in LAMMPS units: no kelvin conversion, no halving.
constexpr double PLACEHOLDER_BOND_K = 1000.0;
constexpr double PLACEHOLDER_ANGLE_K = 100.0;
constexpr double DEGREES_PER_RADIAN = 57.29577951308232;

template <std::size_t N>
std::array<std::string, N> owned(const std::array<std::string_view, N>& names) {
    std::array<std::string, N> copies;
    for (std::size_t n = 0; n < N; ++n) copies[n] = std::string(names[n]);
    return copies;
}

// Halving turns the file's ½ k (x - x0)² into LAMMPS's K (x - x0)².
double harmonic_k(double k_kelvin) { return (k_kelvin * KB_KCAL_PER_K) * 0.5; }

Result<ResolvedBond> resolve_bond(const Molecule& molecule, const Bond& atoms) {
    auto names = names_of(molecule, atoms);
    ResolvedBond bond{owned(names), 0, 0, false};
    if (const auto* entry = find_entry(molecule.bonds, names)) {
        if (!equals_ignoring_ascii_case(entry->potential, "HARMONIC")) {
            return fail(
                "molecule '{}': unsupported bond potential '{}' for {}-{} (only HARMONIC is "
                "supported)",
                molecule.name, entry->potential, names[0], names[1]);
        }
        if (entry->parameters.size() != 2) {
            return fail("molecule '{}': HARMONIC bond {}-{} must have [k, r0], got {}",
                        molecule.name, names[0], names[1], number_list(entry->parameters));
        }
        bond.k = harmonic_k(entry->parameters[0]);
        bond.r0 = entry->parameters[1];
        return bond;
    }
    if (!molecule.rigid) {
        return fail(
            "molecule '{}': no Bonds entry for {}-{} and the molecule is not declared \"Type\": "
            "\"rigid\"; add explicit HARMONIC bond parameters or mark the molecule rigid",
            molecule.name, names[0], names[1]);
    }
    const auto& atoms_of = molecule.pseudo_atoms;
    bond.k = PLACEHOLDER_BOND_K;
    bond.r0 = distance(atoms_of[atoms[0]].position, atoms_of[atoms[1]].position);
    bond.placeholder = true;
    return bond;
}

// The angle at atom j between atoms i and k in the reference positions, in degrees.
Result<double> reference_angle(const Molecule& molecule, const AngleTriple& atoms,
                               const std::array<std::string_view, 3>& names) {
    const auto& atoms_of = molecule.pseudo_atoms;
    const Position& vertex = atoms_of[atoms[1]].position;
    Position u = atoms_of[atoms[0]].position - vertex;
    Position v = atoms_of[atoms[2]].position - vertex;
    double length_u = length(u);
    double length_v = length(v);
    // A vertex on top of an end atom has no direction to measure from: the cosine would be 0/0.
    if (length_u == 0 || length_v == 0) {
        AtomIndex other = length_u == 0 ? atoms[0] : atoms[2];
        return fail(
            "molecule '{}': cannot derive a rigid placeholder angle for {}-{}-{} (atoms {}, {}, "
            "{}): the reference position of vertex atom {} coincides with that of atom {}; fix "
            "the coordinates or add an explicit HARMONIC Bends entry",
            molecule.name, names[0], names[1], names[2], atoms[0], atoms[1], atoms[2], atoms[1],
            other);
    }
    double cosine = (u[0] * v[0] + u[1] * v[1] + u[2] * v[2]) / (length_u * length_v);
    // Rounding can push the cosine just past ±1, where acos is undefined.
    if (cosine < -1) cosine = -1;
    if (cosine > 1) cosine = 1;
    return std::acos(cosine) * DEGREES_PER_RADIAN;
}

Result<ResolvedAngle> resolve_angle(const Molecule& molecule, const AngleTriple& atoms) {
    auto names = names_of(molecule, atoms);
    ResolvedAngle angle{owned(names), 0, 0, false};
    if (const auto* entry = find_entry(molecule.bends, names)) {
        if (!equals_ignoring_ascii_case(entry->potential, "HARMONIC")) {
            return fail(
                "molecule '{}': unsupported bend potential '{}' for {}-{}-{} (only HARMONIC is "
                "supported)",
                molecule.name, entry->potential, names[0], names[1], names[2]);
        }
        if (entry->parameters.size() != 2) {
            return fail("molecule '{}': HARMONIC bend {}-{}-{} must have [k, angle0], got {}",
                        molecule.name, names[0], names[1], names[2],
                        number_list(entry->parameters));
        }
        angle.k = harmonic_k(entry->parameters[0]);
        angle.angle0 = entry->parameters[1];
        return angle;
    }
    if (!molecule.rigid) {
        return fail(
            "molecule '{}': no Bends entry for {}-{}-{} and the molecule is not declared "
            "\"Type\": \"rigid\"; add explicit HARMONIC bend parameters or mark the molecule "
            "rigid",
            molecule.name, names[0], names[1], names[2]);
    }
    BW_TRY(angle.angle0, reference_angle(molecule, atoms, names));
    angle.k = PLACEHOLDER_ANGLE_K;
    angle.placeholder = true;
    return angle;
}

// A dihedral without a Torsions entry is left out, so the record is optional.
Result<std::optional<ResolvedDihedral>> resolve_dihedral(const Molecule& molecule,
                                                         const DihedralQuad& atoms) {
    auto names = names_of(molecule, atoms);
    const auto* entry = find_entry(molecule.torsions, names);
    if (!entry) return std::nullopt;
    if (!equals_ignoring_ascii_case(entry->potential, "TRAPPE")) {
        return fail(
            "molecule '{}': unsupported torsion potential '{}' for {}-{}-{}-{} (only TRAPPE is "
            "supported)",
            molecule.name, entry->potential, names[0], names[1], names[2], names[3]);
    }
    const auto& c = entry->parameters;
    if (c.size() != 4) {
        return fail("molecule '{}': TRAPPE torsion {}-{}-{}-{} must have [c0, c1, c2, c3], got {}",
                    molecule.name, names[0], names[1], names[2], names[3], number_list(c));
    }
    // TraPPE c1..c3 equal OPLS K1..K3 halved; the constant c0 has no OPLS counterpart.
    return ResolvedDihedral{owned(names), (c[1] + c[1]) * KB_KCAL_PER_K,
                            (c[2] + c[2]) * KB_KCAL_PER_K, (c[3] + c[3]) * KB_KCAL_PER_K, 0};
}

}  // namespace

Result<ResolvedMolecule> resolve_molecule(const Molecule& molecule) {
    ResolvedMolecule resolved;
    resolved.molecule = &molecule;

    resolved.bonds.reserve(molecule.connectivity.size());
    for (const auto& atoms : molecule.connectivity) {
        BW_TRY(auto bond, resolve_bond(molecule, atoms));
        resolved.bonds.push_back({atoms, std::move(bond)});
    }

    auto triples = molecule.derived_angles();
    resolved.angles.reserve(triples.size());
    for (const auto& atoms : triples) {
        BW_TRY(auto angle, resolve_angle(molecule, atoms));
        resolved.angles.push_back({atoms, std::move(angle)});
    }

    for (const auto& atoms : molecule.derived_dihedrals()) {
        BW_TRY(auto dihedral, resolve_dihedral(molecule, atoms));
        if (dihedral) resolved.dihedrals.push_back({atoms, std::move(*dihedral)});
    }
    return resolved;
}

}  // namespace boxwright
