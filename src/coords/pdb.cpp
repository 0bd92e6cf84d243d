// PDB files: the atom records of a model (PdbAtomReader), by the record rules packmol's output is
// read with, and the box of a CRYST1 record. A file holds several frames as MODEL ... ENDMDL
// records, or as runs of atom records each ended by END; a CRYST1 before the first atom of a frame
// is its box, else the last one before the frame began (a file that states its cell once, at the
// top). The name column holds the first four characters of a pseudo-atom name, as the packing
// templates cut them.
#include <array>
#include <cmath>

#include "coords/coordinate_file.hpp"
#include "coords/coordinate_text.hpp"
#include "coords/frames.hpp"
#include "coords/pdb_atoms.hpp"
#include "coords/reader_support.hpp"

namespace boxwright {
namespace {

using coords::fail_at;

// A CRYST1 record and the number of its line.
struct Cryst1Line {
    std::string text;
    std::uint64_t line = 0;
};

// CRYST1 a b c alpha beta gamma in columns 7-15, 16-24, 25-33, 34-40, 41-47 and 48-54. A unit
// cube with right angles is how PDB files say that there is no cell.
Result<std::optional<coords::StatedBox>> cryst1_box(const LineReader& lines,
                                                    const Cryst1Line& record) {
    struct Field {
        std::size_t begin, width;
        const char* what;
    };
    static constexpr Field FIELDS[] = {{6, 9, "the CRYST1 a"},     {15, 9, "the CRYST1 b"},
                                       {24, 9, "the CRYST1 c"},    {33, 7, "the CRYST1 alpha"},
                                       {40, 7, "the CRYST1 beta"}, {47, 7, "the CRYST1 gamma"}};
    static constexpr std::size_t RECORD_LENGTH = 54;  // through gamma
    const std::string_view line = record.text;
    const auto fail_here = [&](const std::string& text) {
        return coords::fail_at_line(lines, record.line, text);
    };
    if (line.size() < RECORD_LENGTH) {
        return fail_here(
            fmt::format("the CRYST1 record is shorter than {} columns", RECORD_LENGTH));
    }
    std::array<double, 6> cell{};
    for (std::size_t i = 0; i < cell.size(); ++i) {
        const auto& field = FIELDS[i];
        const std::string_view text = trim_blanks(line.substr(field.begin, field.width));
        const auto value = parse_coordinate(text);
        if (!value || !std::isfinite(*value)) {
            return fail_here(
                coords::message_of("{} '{}' is not a finite number", field.what, text));
        }
        cell[i] = *value;
    }
    const auto [a, b, c, alpha, beta, gamma] = cell;
    const bool right_angles = alpha == 90 && beta == 90 && gamma == 90;
    if (right_angles && a == 1 && b == 1 && c == 1) return std::nullopt;
    if (!right_angles || !(a > 0) || !coords::same_length(a, b) || !coords::same_length(a, c)) {
        return fail_here(coords::message_of("the CRYST1 cell is not a cube: '{}'", line));
    }
    return coords::StatedBox{a, record.line};
}

// Passes models by their end records, keeping the CRYST1 record each one starts under.
class PdbFrames {
  public:
    struct Start {
        LineReader::Mark mark;
        std::optional<Cryst1Line> cell;  // the last CRYST1 before the frame's first line
    };

    Result<bool> pass(LineReader& lines) {
        bool atoms = false, started = false;
        for (;;) {
            BW_TRY(auto line, lines.next());
            if (!line) return atoms;  // lines after the last model make no frame
            if (!started) {
                start_ = {lines.mark(), cell_};
                started = true;
            }
            if (is_pdb_atom_record(*line)) {
                atoms = true;
            } else if (is_pdb_record(*line, "CRYST1")) {
                cell_ = Cryst1Line{std::string(*line), lines.line_number()};
            } else if (ends_pdb_model(*line)) {
                if (atoms) return true;
                started = false;  // a model without atoms, or the END after the last model
            }
        }
    }
    const Start& start() const { return start_; }

  private:
    Start start_;
    std::optional<Cryst1Line> cell_;
};

Result<CoordinateFile> read_model(PdbAtomReader& reader, const PdbFrames::Start& start,
                                  const ExpectedAtoms& expected,
                                  const CoordinateReadOptions& options,
                                  coords::FrameContext frame) {
    reader.read_model();
    CoordinateFile file;
    file.positions.reserve(expected.size());
    std::uint64_t atoms = 0;  // all records, also those beyond the expected count
    // Only the count tells the whole model's story; a wrong count is reported before a name that
    // it may have shifted.
    std::optional<FfError> misnamed;
    std::optional<Cryst1Line> cell = start.cell;
    bool cell_in_model = false;  // a CRYST1 of the model itself, before its first atom
    const PdbAtomReader::OtherLine read_box = [&](std::string_view line) -> Result<void> {
        if (!is_pdb_record(line, "CRYST1") || cell_in_model || atoms > 0) return {};
        cell = Cryst1Line{std::string(line), reader.lines().line_number()};
        cell_in_model = true;
        return {};
    };
    for (;;) {
        BW_TRY(auto atom, reader.next(read_box));
        if (!atom) break;
        const LineReader& lines = reader.lines();
        if (atoms == 0) {
            std::optional<coords::StatedBox> stated;
            if (cell) {
                BW_TRY(stated, cryst1_box(lines, *cell));
            }
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
    BW_TRY_VOID(coords::check_atom_count(reader.lines(), atoms, expected, frame));
    if (misnamed) return tl::unexpected(std::move(*misnamed));
    return file;
}

}  // namespace

Result<CoordinateFile> read_pdb(const std::string& path, const ExpectedAtoms& expected,
                                const CoordinateReadOptions& options) {
    BW_TRY(auto reader, PdbAtomReader::open(path));
    reader.give_up_when(options.give_up);
    return coords::read_chosen_frame<PdbFrames>(
        reader.lines(), options.frame,
        [&](LineReader&, const PdbFrames::Start& start, coords::FrameContext frame) {
            return read_model(reader, start, expected, options, frame);
        });
}

}  // namespace boxwright
