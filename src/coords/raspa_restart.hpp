// read_raspa_restart: the final configuration RASPA3 writes (output/restart_<T>_<P>.s0.json): for
// each component, under its name, the position of every atom of every molecule (unwrapped, full
// precision, each molecule's atoms in its molecule file's order), and the simulation box. Only a
// cubic box is taken. Sites that RASPA3 carries but the build does not keep (the massless M site
// of a four-site water, written after the water's own atoms) are dropped, and every molecule is
// moved whole by box edges until its first atom lies in the box, so no molecule is torn apart.
// Knows nothing about RASPA3's other files or about LAMMPS.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "base/vec3.hpp"

namespace boxwright {

// One component as the build expects it in the file.
struct RestartComponent {
    std::string name;             // its key in the file: the component's name
    std::uint64_t molecules = 0;  // 0: the component may be absent or empty
    std::size_t atoms = 0;        // kept per molecule, in molecule-file order
    std::size_t dropped = 0;      // sites per molecule after those, which are not kept
};

struct RaspaRestart {
    std::vector<Position> positions;  // components in the order given, molecule by molecule
    double box_length = 0;            // the edge of the cube, Å
};

// Every failure names the file. A component the file lists with atoms but the build does not
// expect, a count of positions that is not the molecules' sites, or a box that is not a cube with
// right angles are refused.
Result<RaspaRestart> read_raspa_restart(const std::string& path,
                                        std::span<const RestartComponent> components);

}  // namespace boxwright
