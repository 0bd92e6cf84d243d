// The atom records of the PDB text format as this system reads and writes them: which lines are
// atom records, the fixed columns of their name and coordinates, and how a pseudo-atom or species
// name is cut to fit a name column. One set of rules for packmol's templates and output and for
// the PDB coordinate files users give, so all of them accept and refuse the same lines.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>
#include <tl/expected.hpp>

#include "ff/molecule.hpp"

namespace boxwright {

// An atom record needs the columns up to the end of z (column 54); anything after is ignored.
constexpr std::size_t PDB_ATOM_RECORD_LENGTH = 54;
// How many characters of a name the atom-name and residue-name columns hold.
constexpr std::size_t PDB_ATOM_NAME_CHARACTERS = 4;
constexpr std::size_t PDB_RESIDUE_NAME_CHARACTERS = 3;

// A line whose record name, its first six bytes, is exactly `name` (six characters, blanks and
// all).
bool is_pdb_record(std::string_view line, std::string_view name);
// A line whose first six bytes are exactly "HETATM" or "ATOM  " ("ATOM" and two blanks).
bool is_pdb_atom_record(std::string_view line);
// An ENDMDL record, or an END record: the end of a model (programs that write a trajectory
// without MODEL records end each frame with END).
bool ends_pdb_model(std::string_view line);

struct PdbAtomRecord {
    std::string_view name;                   // columns 13-16 without surrounding blanks
    std::array<std::string_view, 3> fields;  // columns 31-38, 39-46 and 47-54, each trimmed
    Position position;                       // their values
};

// Why an atom record cannot be read: shorter than PDB_ATOM_RECORD_LENGTH, or the field of `axis`
// (0 x, 1 y, 2 z; the first bad one) is not a number of the coordinate grammar.
struct PdbRecordFault {
    enum class Kind { TooShort, BadCoordinate } kind;
    std::size_t axis = 0;
    std::string_view field;  // the bad field, trimmed
};

// Reads a line for which is_pdb_atom_record holds. A field may hold inf or nan: whether those
// are acceptable positions is the caller's business.
tl::expected<PdbAtomRecord, PdbRecordFault> read_pdb_atom_record(std::string_view line);

// The first `characters` characters of a UTF-8 name, the whole name when it is shorter.
std::string_view leading_characters(std::string_view name, std::size_t characters);

}  // namespace boxwright
