// The atoms the coordinate-file harnesses read their inputs against: two waters and a butane.
#pragma once

#include <string>
#include <vector>

#include "coords/coordinate_file.hpp"

namespace boxwright::fuzz {

inline Molecule molecule_of(std::string name, std::vector<std::string> atoms) {
    Molecule m;
    m.name = std::move(name);
    for (auto& atom : atoms) m.pseudo_atoms.push_back({std::move(atom), {0, 0, 0}});
    return m;
}

// Water's atoms O, H, H; butane's CH3, CH2, CH2, CH3.
inline const ExpectedAtoms& two_waters_and_a_butane() {
    static const Molecule water = molecule_of("water", {"O", "H", "H"});
    static const Molecule butane = molecule_of("butane", {"CH3", "CH2", "CH2", "CH3"});
    static const ExpectedAtoms expected = *ExpectedAtoms::of({{&water, 2}, {&butane, 1}});
    return expected;
}

}  // namespace boxwright::fuzz
