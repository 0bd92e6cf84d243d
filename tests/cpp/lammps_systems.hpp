// Small systems for the writer tests, built in memory: a force field with sources, a rigid
// water-like molecule with placeholder bonds and angle, a flexible four-site chain with torsions,
// and a single-site argon. The molecules come already resolved (with the numbers the kelvin inputs
// resolve to), so the writers are tested on their own.
#pragma once

#include <cmath>
#include <deque>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "ff/force_field.hpp"
#include "ff/molecule.hpp"
#include "lammps/resolved.hpp"

namespace boxwright::test {

inline PseudoAtomParams atom_params(double mass, double charge, double epsilon_k, double sigma_ang,
                                    std::vector<std::string> sources = {}) {
    return PseudoAtomParams{mass, charge, epsilon_k, sigma_ang, std::move(sources)};
}

inline ForceField test_force_field() {
    ForceField ff;
    ff.mixing_rule = "Lorentz-Berthelot";
    ff.pseudo_atoms["O"] = atom_params(15.9994, -0.8476, 78.0, 3.166,
                                       {"SPC/E water\r\nBerendsen, Grigera, Straatsma 1987\r\n"});
    ff.pseudo_atoms["H"] = atom_params(1.008, 0.4238, 0, 0);
    ff.pseudo_atoms["CH3"] =
        atom_params(15.035, 0, 98.0, 3.75, {"TraPPE-UA alkanes\nMartin, Siepmann 1998", ""});
    ff.pseudo_atoms["CH2"] =
        atom_params(14.027, 0, 46.0, 3.95, {"TraPPE-UA alkanes\nMartin, Siepmann 1998"});
    ff.pseudo_atoms["Ar"] = atom_params(39.948, 0, 119.8, 3.4);
    return ff;
}

inline Molecule make_molecule(std::string name, std::vector<PseudoAtom> atoms,
                              std::vector<Bond> connectivity, bool rigid) {
    Molecule m;
    m.name = std::move(name);
    m.pseudo_atoms = std::move(atoms);
    m.connectivity = std::move(connectivity);
    m.rigid = rigid;
    return m;
}

inline Molecule water_molecule() {
    const double r = 0.9572, theta = 104.52 * std::numbers::pi / 180;
    return make_molecule(
        "water",
        {{"O", {0, 0, 0}}, {"H", {r, 0, 0}}, {"H", {r * std::cos(theta), r * std::sin(theta), 0}}},
        {{0, 1}, {0, 2}}, true);
}

inline Molecule butane_molecule() {
    return make_molecule("butane",
                         {{"CH3", {0, 0, 0}},
                          {"CH2", {1.54, 0, 0}},
                          {"CH2", {2.0, 1.46, 0}},
                          {"CH3", {3.54, 1.46, 0}}},
                         {{0, 1}, {1, 2}, {2, 3}}, false);
}

inline Molecule argon_molecule() { return make_molecule("argon", {{"Ar", {0, 0, 0}}}, {}, false); }

// Rigid placeholders: k = 1000 and 100 as they stand, geometry from the reference positions.
inline ResolvedMolecule water_resolved(const Molecule& water) {
    ResolvedMolecule r;
    r.molecule = &water;
    r.bonds = {{{0, 1}, {{"O", "H"}, 1000.0, 0.9572, true}},
               {{0, 2}, {{"O", "H"}, 1000.0, 0.9572, true}}};
    r.angles = {{{1, 0, 2}, {{"H", "O", "H"}, 100.0, 104.52, true}}};
    return r;
}

// HARMONIC [96500, 1.54] and [62500, 114]; TRAPPE [0, 355.03, -68.19, 791.32], in kelvin.
inline ResolvedMolecule butane_resolved(const Molecule& butane) {
    const ResolvedBond cc{{"", ""}, 95.88259782, 1.54, false};
    const ResolvedAngle ccc{{"", "", ""}, 62.100128125, 114.0, false};
    auto bond = [&](const char* a, const char* b) {
        auto copy = cc;
        copy.types = {a, b};
        return copy;
    };
    auto angle = [&](const char* a, const char* b, const char* c) {
        auto copy = ccc;
        copy.types = {a, b, c};
        return copy;
    };
    ResolvedMolecule r;
    r.molecule = &butane;
    r.bonds = {
        {{0, 1}, bond("CH3", "CH2")}, {{1, 2}, bond("CH2", "CH2")}, {{2, 3}, bond("CH2", "CH3")}};
    r.angles = {{{0, 1, 2}, angle("CH3", "CH2", "CH2")}, {{1, 2, 3}, angle("CH2", "CH2", "CH3")}};
    r.dihedrals = {
        {{0, 1, 2, 3}, {{"CH3", "CH2", "CH2", "CH3"}, 1.41103414, -0.27101490, 3.14502870, 0}}};
    return r;
}

inline ResolvedMolecule argon_resolved(const Molecule& argon) {
    ResolvedMolecule r;
    r.molecule = &argon;
    return r;
}

// The species of a build. The deque keeps each Molecule in place for its resolution to point at.
struct Species {
    std::deque<Molecule> molecules;
    ActiveList active;

    template <class Resolve>
    Species& add(Molecule molecule, Resolve resolve, std::uint64_t count) {
        molecules.push_back(std::move(molecule));
        active.push_back({resolve(molecules.back()), count});
        return *this;
    }
    // A species whose elements the test writes into the returned resolution by hand.
    ResolvedMolecule& add(Molecule molecule, std::uint64_t count) {
        add(
            std::move(molecule),
            [](const Molecule& m) {
                return ResolvedMolecule{{}, {}, {}, &m};
            },
            count);
        return active.back().resolved;
    }
};

// Positions for `atoms` atoms on a simple lattice, with a few awkward values (negative zero, a
// rounding carry, a small negative) so that the exponent form is exercised.
inline std::vector<Position> lattice_positions(std::size_t atoms) {
    std::vector<Position> positions;
    for (std::size_t n = 0; n < atoms; ++n) {
        double x = 1.5 * static_cast<double>(n % 4);
        double y = -0.25 * static_cast<double>(n % 3);
        double z = n == 0 ? -0.0 : 9.9999999 + static_cast<double>(n) * 0.001;
        positions.push_back({x, y, z});
    }
    return positions;
}

// Every copy at its molecule's reference positions, the copies 5 Å apart along x, in system order.
inline std::vector<Position> copy_positions(const ActiveList& active) {
    std::vector<Position> positions;
    double shift = 0;
    for (const auto& pair : active) {
        for (std::uint64_t copy = 0; copy < pair.count; ++copy, shift += 5) {
            for (const auto& atom : pair.resolved.molecule->pseudo_atoms) {
                positions.push_back({atom.position[0] + shift, atom.position[1], atom.position[2]});
            }
        }
    }
    return positions;
}

}  // namespace boxwright::test
