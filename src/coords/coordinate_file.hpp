// read_coordinate_file: the atom positions of a coordinate file a user gives, read straight into
// one array in build order, and the edge of the cubic box, from the file or given. The formats:
//   XYZ (.xyz, .extxyz)   the atom count, a comment line, then "name x y z" lines; an extended
//                         XYZ comment may state a cubic Lattice and the column order (Properties)
//   PDB (.pdb)            the ATOM and HETATM records of a model (MODEL ... ENDMDL, or the atoms
//                         up to an END record); CRYST1 for the box
//   LAMMPS data (.data, .lmp)  the Atoms section in the full atom style, as this system or
//                         LAMMPS write_data writes it: atoms placed by ID, image flags applied,
//                         positions relative to the box's lower corner; and the Velocities
//                         section, when there is one, placed by ID alike
//   RASPA3 restart (.json)  the final configuration RASPA3 writes, by component (the species'
//                         names), a four-site water's M site after its atoms (read_raspa_restart)
//   LAMMPS dump (.dump, .lammpstrj)  a text dump (custom or atom style): atoms placed by id,
//                         positions wrapped, unwrapped or scaled, velocities when it has them
//   GROMACS (.gro)        fixed columns in nm (and nm/ps), the box on the frame's last line
// Every format but the data file may hold several frames; one is read (the last, unless asked
// otherwise), and the file is passed once to count them, never held.
// Where the file names its atoms (XYZ, PDB, .gro, and the comments this system writes after each
// atom of a data file) every name is compared with the one the species expect at that place, so a
// file in another order is refused rather than written wrong; a dump's types are compared alike.
// Every refusal names the file, and the line when one line is at fault. Files are streamed
// through a fixed buffer (LineReader); memory is the positions and little else. The atom count and
// the box are settled where the frame states them, before its atoms are read. Knows nothing about
// LAMMPS types beyond the number a caller gives for each pseudo atom, nor about the writers.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.hpp"
#include "coords/expected_atoms.hpp"
#include "ff/molecule.hpp"

namespace boxwright {

enum class CoordinateFormat { Xyz, Pdb, LammpsData, LammpsDump, Gro, RaspaRestart };

// The format a path's extension names, in any letter case; absent for any other extension.
std::optional<CoordinateFormat> coordinate_format_of(std::string_view path);

struct CoordinateReadOptions {
    // Compare the file's atom names with the species' (off for files of element symbols).
    bool check_names = true;
    // The box edge, Å, when the caller gives one: it must agree with a box the file states, and
    // is needed when the file states none.
    std::optional<double> box_length;
    // Asked every megabyte read: true ends the reading (Ctrl-C on a file of millions of atoms).
    std::function<bool()> give_up = {};
    // The frame to read, from 1 at the start or from -1 at the end; absent: the last. A format
    // of one frame has frame 1 (and -1) only, and no file has a frame 0.
    std::optional<std::int64_t> frame = std::nullopt;
    // The atom type of each pseudo-atom name of the species, which a dump's type column must
    // show (with check_names); none: types are not compared.
    std::function<std::uint64_t(const std::string& pseudo_atom)> atom_type = {};
};

// Which frame of a file of several was read.
struct FrameRead {
    std::uint64_t number = 1;  // from 1
    std::uint64_t count = 1;   // the frames of the file
    std::string label = {};    // what the file says of the frame ("timestep 2000"), if anything
};

struct CoordinateFile {
    std::vector<Position> positions;  // exactly expected.size() of them, in build order
    double box_length = 0;            // the edge of the cube, Å
    // A data file's Velocities section, as many and in the same order as the positions; none for
    // every other file.
    std::optional<std::vector<Velocity>> velocities = std::nullopt;
    std::optional<FrameRead> frame = std::nullopt;  // for a file of several frames only
};

// Reads the file in the format its extension names.
Result<CoordinateFile> read_coordinate_file(const std::string& path, const ExpectedAtoms& expected,
                                            const CoordinateReadOptions& options);

Result<CoordinateFile> read_xyz(const std::string& path, const ExpectedAtoms& expected,
                                const CoordinateReadOptions& options);
Result<CoordinateFile> read_pdb(const std::string& path, const ExpectedAtoms& expected,
                                const CoordinateReadOptions& options);
Result<CoordinateFile> read_lammps_data(const std::string& path, const ExpectedAtoms& expected,
                                        const CoordinateReadOptions& options);
Result<CoordinateFile> read_lammps_dump(const std::string& path, const ExpectedAtoms& expected,
                                        const CoordinateReadOptions& options);
Result<CoordinateFile> read_gro(const std::string& path, const ExpectedAtoms& expected,
                                const CoordinateReadOptions& options);
Result<CoordinateFile> read_raspa_restart_file(const std::string& path,
                                               const ExpectedAtoms& expected,
                                               const CoordinateReadOptions& options);

}  // namespace boxwright
