// PDB files: the atom records of the first model (PdbAtomReader), by the record rules packmol's
// output is read with, and the box of a CRYST1 record. The name column holds the first four
// characters of a pseudo-atom name, as the packing templates cut them.
#include <array>
#include <cmath>

#include "coords/coordinate_file.hpp"
#include "coords/coordinate_text.hpp"
#include "coords/pdb_atoms.hpp"
#include "coords/reader_support.hpp"

namespace boxwright {
namespace {

using coords::fail_at;

// CRYST1 a b c alpha beta gamma in columns 7-15, 16-24, 25-33, 34-40, 41-47 and 48-54. A unit
// cube with right angles is how PDB files say that there is no cell.
Result<std::optional<coords::StatedBox>> cryst1_box(const LineReader& lines,
                                                    std::string_view line) {
    struct Field {
        std::size_t begin, width;
        const char* what;
    };
    static constexpr Field FIELDS[] = {{6, 9, "the CRYST1 a"},     {15, 9, "the CRYST1 b"},
                                       {24, 9, "the CRYST1 c"},    {33, 7, "the CRYST1 alpha"},
                                       {40, 7, "the CRYST1 beta"}, {47, 7, "the CRYST1 gamma"}};
    static constexpr std::size_t RECORD_LENGTH = 54;  // through gamma
    if (line.size() < RECORD_LENGTH) {
        return fail_at(lines, "the CRYST1 record is shorter than {} columns", RECORD_LENGTH);
    }
    std::array<double, 6> cell{};
    for (std::size_t i = 0; i < cell.size(); ++i) {
        const auto& field = FIELDS[i];
        BW_TRY(cell[i], coords::finite_number(lines, field.what,
                                              trim_blanks(line.substr(field.begin, field.width))));
    }
    const auto [a, b, c, alpha, beta, gamma] = cell;
    const bool right_angles = alpha == 90 && beta == 90 && gamma == 90;
    if (right_angles && a == 1 && b == 1 && c == 1) return std::nullopt;
    if (!right_angles || !(a > 0) || !coords::same_length(a, b) || !coords::same_length(a, c)) {
        return fail_at(lines, "the CRYST1 cell is not a cube: '{}'", line);
    }
    return coords::StatedBox{a, lines.line_number()};
}

}  // namespace

Result<CoordinateFile> read_pdb(const std::string& path, const ExpectedAtoms& expected,
                                const CoordinateReadOptions& options) {
    BW_TRY(auto reader, PdbAtomReader::open(path));
    reader.give_up_when(options.give_up);
    CoordinateFile file;
    file.positions.reserve(expected.size());
    std::uint64_t atoms = 0;  // all records, also those beyond the expected count
    // Only the count tells the whole file's story; a wrong count is reported before a name that
    // it may have shifted.
    std::optional<FfError> misnamed;
    std::optional<coords::StatedBox> stated;  // by a CRYST1 record before the first atom
    const PdbAtomReader::OtherLine read_box = [&](std::string_view line) -> Result<void> {
        if (!is_pdb_record(line, "CRYST1") || stated || atoms > 0) return {};
        BW_TRY(stated, cryst1_box(reader.lines(), line));
        return {};
    };
    for (;;) {
        BW_TRY(auto atom, reader.next(read_box));
        if (!atom) break;
        const LineReader& lines = reader.lines();
        if (atoms == 0) {
            BW_TRY(file.box_length, coords::settle_box(lines, stated, options.box_length));
        }
        const auto& record = atom->record;
        if (!record && record.error().kind == PdbRecordFault::Kind::TooShort) {
            return fail_at(lines, "the atom record is shorter than {} columns",
                           PDB_ATOM_RECORD_LENGTH);
        }
        if (!record) {
            return coords::not_finite(lines, coords::COORDINATE_FIELD[record.error().axis],
                                      record.error().field);
        }
        for (std::size_t axis = 0; axis < 3; ++axis) {
            if (!std::isfinite(record->position[axis])) {
                return coords::not_finite(lines, coords::COORDINATE_FIELD[axis],
                                          record->fields[axis]);
            }
        }
        if (atoms < expected.size()) {
            if (options.check_names && !misnamed) {
                auto named = coords::check_atom_name(lines, expected, atoms, record->name,
                                                     PDB_ATOM_NAME_CHARACTERS);
                if (!named) misnamed = std::move(named).error();
            }
            file.positions.push_back(record->position);
        }
        ++atoms;
    }
    BW_TRY_VOID(coords::check_atom_count(reader.lines(), atoms, expected));
    if (misnamed) return tl::unexpected(std::move(*misnamed));
    return file;
}

}  // namespace boxwright
