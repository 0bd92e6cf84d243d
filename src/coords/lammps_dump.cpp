// LAMMPS text dumps, in the custom style and the atom style (which is a custom style with fixed
// columns). A frame is a run of "ITEM:" sections, each a keyword line and its body:
//   ITEM: TIMESTEP            the step
//   ITEM: NUMBER OF ATOMS     the count
//   ITEM: BOX BOUNDS pp pp pp three "low high" lines (a third number, the tilt, when the box is
//                             triclinic: read only when every tilt is 0)
//   ITEM: ATOMS id type x y z ...   the names of the columns, then one line per atom
// and the ATOMS section ends the frame. Other sections (UNITS, TIME) are passed over. Atoms are
// placed by their id, which runs from 1 to the count, in whatever order the processors wrote them.
// Positions come from x y z (wrapped; image flags ix iy iz applied when the dump has them),
// xu yu zu (unwrapped), or xs ys zs and xsu ysu zsu (fractions of the box), and are moved with the
// box so that its lower corner is the origin, as a data file's are. Velocities (vx vy vz) are
// carried as a data file's Velocities section is, in the dump's units.
#include <algorithm>
#include <array>
#include <cmath>

#include "base/numbers.hpp"
#include "coords/coordinate_file.hpp"
#include "coords/coordinate_text.hpp"
#include "coords/frames.hpp"
#include "coords/reader_support.hpp"

namespace boxwright {
namespace {

using coords::fail_at;
using coords::fail_at_end;
using coords::required_line;

constexpr std::string_view ITEM = "ITEM:";

bool is_item(std::string_view line) { return line.starts_with(ITEM); }

// The keyword of an ITEM line and what follows it: "BOX BOUNDS pp pp pp" in "ITEM: BOX BOUNDS
// pp pp pp".
std::string_view item_of(std::string_view line) { return trim_blanks(line.substr(ITEM.size())); }

bool item_is(std::string_view item, std::string_view keyword) {
    return item.starts_with(keyword) &&
           (item.size() == keyword.size() || item[keyword.size()] == ' ' ||
            item[keyword.size()] == '\t');
}

// The next line, or a failure naming what the end of the file cut short.
Result<std::uint64_t> atom_count(LineReader& lines) {
    BW_TRY(std::string_view line, required_line(lines, "the number of atoms"));
    const auto count = coords::parse_count(trim_blanks(line));
    if (!count) return fail_at(lines, "expected the number of atoms, found '{}'", line);
    return *count;
}

// Passes frames by their ITEM lines and the atom count, reading no atom.
class DumpFrames : public coords::LineFrameScanner {
  public:
    Result<bool> pass(LineReader& lines) {
        BW_TRY(auto line, frame_start(lines));
        if (!line) return false;
        std::optional<std::uint64_t> count;
        while (line) {
            const std::string_view item = is_item(*line) ? item_of(*line) : "";  // or a body line
            if (item_is(item, "NUMBER OF ATOMS")) {
                BW_TRY(count, atom_count(lines));
            } else if (item_is(item, "ATOMS")) {
                if (!count) return fail_at(lines, "the frame has no NUMBER OF ATOMS");
                BW_TRY(const bool whole, skip_lines(lines, *count));
                if (!whole) break;
                return true;
            }
            BW_TRY(line, lines.next());
        }
        return fail_at_end(lines, "the file ends inside a frame");
    }
};

struct AxisBounds {
    double low = 0, high = 0;
};

struct DumpBox {
    std::array<AxisBounds, 3> bounds;
    coords::StatedBox stated;  // the cube's edge and the line of its x bounds
};

constexpr const char* BOUNDS_WHAT[] = {"the x bound", "the y bound", "the z bound"};

// "ITEM: BOX BOUNDS [xy xz yz] pp pp pp" and its three lines: an orthogonal cube, or refused.
Result<DumpBox> read_box(LineReader& lines, std::string_view item) {
    std::array<std::string_view, 8> words;
    const std::size_t n = coords::split_fields(item, words);
    const auto end = words.begin() + static_cast<std::ptrdiff_t>(std::min(n, words.size()));
    const auto has = [&](std::string_view word) {
        return std::find(words.begin(), end, word) != end;
    };
    if (has("abc") || has("origin")) {
        return fail_at(lines, "the box is a general triclinic cell; only a cubic box is read");
    }
    const bool tilted = has("xy") || has("xz") || has("yz");
    const std::size_t fields = tilted ? 3 : 2;
    DumpBox box;
    std::array<std::uint64_t, 3> line_of{};
    for (std::size_t axis = 0; axis < 3; ++axis) {
        BW_TRY(std::string_view line, required_line(lines, "the box bounds"));
        std::array<std::string_view, 3> f;
        if (coords::split_fields(line, f) != fields) {
            return fail_at(lines, "expected {} numbers of the box bounds, found '{}'", fields,
                           line);
        }
        BW_TRY(box.bounds[axis].low, coords::finite_number(lines, BOUNDS_WHAT[axis], f[0]));
        BW_TRY(box.bounds[axis].high, coords::finite_number(lines, BOUNDS_WHAT[axis], f[1]));
        if (tilted) {
            BW_TRY(double tilt, coords::finite_number(lines, "the tilt factor", f[2]));
            if (tilt != 0) return fail_at(lines, "the box is tilted; only a cubic box is read");
        }
        line_of[axis] = lines.line_number();
    }
    std::array<double, 3> edges{};
    for (std::size_t axis = 0; axis < 3; ++axis) {
        edges[axis] = box.bounds[axis].high - box.bounds[axis].low;
    }
    for (std::size_t axis = 0; axis < 3; ++axis) {
        if (!(edges[axis] > 0) || !coords::same_length(edges[axis], edges[0])) {
            return coords::fail_at_line(
                lines, line_of[axis],
                fmt::format("the box is not a cube: its edges are {}, {} and {}",
                            plain_number(edges[0]), plain_number(edges[1]),
                            plain_number(edges[2])));
        }
    }
    box.stated = {edges[0], line_of[0]};
    return box;
}

// More columns than any dump has; the row of fields is sized by them.
constexpr std::size_t MAX_COLUMNS = 1024;

// How the position columns relate to the box.
enum class PositionKind { Wrapped, Unwrapped, Scaled, ScaledUnwrapped };

struct DumpColumns {
    std::size_t count = 0;
    std::size_t id = 0;
    std::optional<std::size_t> type;
    std::array<std::size_t, 3> position{};
    PositionKind kind = PositionKind::Wrapped;
    std::optional<std::array<std::size_t, 3>> image;     // for wrapped positions only
    std::optional<std::array<std::size_t, 3>> velocity;  // vx vy vz
};

// The columns of "ITEM: ATOMS id type x y z ...".
Result<DumpColumns> read_columns(const LineReader& lines, std::string_view item) {
    std::vector<std::string_view> names(MAX_COLUMNS + 1);
    const std::size_t n = coords::split_fields(item, names);
    if (n > MAX_COLUMNS + 1) {
        return fail_at(lines, "the ATOMS line names more than {} columns", MAX_COLUMNS);
    }
    names.resize(n);
    names.erase(names.begin());  // "ATOMS"
    const auto column = [&](std::string_view name) -> std::optional<std::size_t> {
        const auto found = std::find(names.begin(), names.end(), name);
        if (found == names.end()) return std::nullopt;
        return static_cast<std::size_t>(found - names.begin());
    };
    const auto triple = [&](std::string_view x, std::string_view y,
                            std::string_view z) -> std::optional<std::array<std::size_t, 3>> {
        const auto a = column(x), b = column(y), c = column(z);
        if (!a || !b || !c) return std::nullopt;
        return std::array{*a, *b, *c};
    };
    DumpColumns columns;
    columns.count = names.size();
    const auto id = column("id");
    if (!id) {
        return fail_at(lines, "the ATOMS line names no id column, so the atoms have no order: '{}'",
                       item);
    }
    columns.id = *id;
    columns.type = column("type");
    struct Kind {
        std::array<std::string_view, 3> names;
        PositionKind kind;
    };
    static constexpr Kind KINDS[] = {{{"x", "y", "z"}, PositionKind::Wrapped},
                                     {{"xu", "yu", "zu"}, PositionKind::Unwrapped},
                                     {{"xs", "ys", "zs"}, PositionKind::Scaled},
                                     {{"xsu", "ysu", "zsu"}, PositionKind::ScaledUnwrapped}};
    bool positioned = false;
    for (const auto& kind : KINDS) {
        if (auto found = triple(kind.names[0], kind.names[1], kind.names[2])) {
            columns.position = *found;
            columns.kind = kind.kind;
            positioned = true;
            break;
        }
    }
    if (!positioned) {
        return fail_at(lines,
                       "the ATOMS line names no position columns (x y z, xu yu zu, xs ys zs or "
                       "xsu ysu zsu): '{}'",
                       item);
    }
    if (columns.kind == PositionKind::Wrapped || columns.kind == PositionKind::Scaled) {
        columns.image = triple("ix", "iy", "iz");
    }
    columns.velocity = triple("vx", "vy", "vz");
    return columns;
}

constexpr const char* VELOCITY_FIELD[3] = {"the x velocity", "the y velocity", "the z velocity"};

// LAMMPS stores an image flag in 10 bits, or 21 with -DLAMMPS_BIGBIG: no dump it wrote has more.
constexpr std::int64_t MAX_IMAGE_FLAG = 1048575;

Result<double> image_flag(const LineReader& lines, std::string_view field) {
    const auto flag = coords::parse_integer(field);
    if (!flag || *flag > MAX_IMAGE_FLAG || *flag < -MAX_IMAGE_FLAG - 1) {
        return fail_at(lines, "the image flag '{}' is not an integer LAMMPS stores", field);
    }
    return static_cast<double>(*flag);
}

// What a frame's header has given by its ATOMS line.
struct DumpHeader {
    std::optional<std::uint64_t> count;
    std::optional<DumpBox> box;
    std::string timestep;
};

class AtomSection {
  public:
    AtomSection(LineReader& lines, const ExpectedAtoms& expected,
                const CoordinateReadOptions& options, const DumpBox& box,
                const DumpColumns& columns)
        : lines_(lines),
          expected_(expected),
          options_(options),
          box_(box),
          columns_(columns),
          fields_(columns.count),
          placed_(expected.size()) {}

    Result<CoordinateFile> read(double box_length) {
        const std::uint64_t count = expected_.size();
        CoordinateFile file{std::vector<Position>(count), box_length};
        if (columns_.velocity) file.velocities.emplace(count);
        for (std::uint64_t atom = 0; atom < count; ++atom) {
            BW_TRY(auto line, lines_.next());
            if (!line) {
                return fail_at_end(lines_,
                                   "the file ends after {} of the {} atoms of NUMBER OF ATOMS",
                                   atom, count);
            }
            if (is_item(*line)) {
                return fail_at(lines_,
                               "the ATOMS section ends after {} of the {} atoms of NUMBER OF ATOMS",
                               atom, count);
            }
            BW_TRY_VOID(read_atom(*line, file));
        }
        return file;
    }

  private:
    Result<void> read_atom(std::string_view line, CoordinateFile& file) {
        if (coords::split_fields(line, fields_) != columns_.count) {
            return fail_at(lines_, "expected the {} columns the ATOMS line names, found '{}'",
                           columns_.count, line);
        }
        BW_TRY(const std::uint64_t index, place(fields_[columns_.id]));
        if (columns_.type) BW_TRY_VOID(check_type(index, fields_[*columns_.type]));
        for (std::size_t axis = 0; axis < 3; ++axis) {
            BW_TRY(const double value, coords::finite_number(lines_, coords::COORDINATE_FIELD[axis],
                                                             fields_[columns_.position[axis]]));
            const AxisBounds& bounds = box_.bounds[axis];
            const double edge = bounds.high - bounds.low;
            const bool scaled = columns_.kind == PositionKind::Scaled ||
                                columns_.kind == PositionKind::ScaledUnwrapped;
            double position = scaled ? value * edge : value - bounds.low;
            if (columns_.image) {
                BW_TRY(const double image, image_flag(lines_, fields_[(*columns_.image)[axis]]));
                position += image * edge;
            }
            if (!std::isfinite(position)) {
                return fail_at(lines_, "the atom lies beyond any finite position");
            }
            file.positions[index][axis] = position;
            if (columns_.velocity) {
                BW_TRY((*file.velocities)[index][axis],
                       coords::finite_number(lines_, VELOCITY_FIELD[axis],
                                             fields_[(*columns_.velocity)[axis]]));
            }
        }
        return {};
    }

    // The 0-based place of the atom with the id `field`.
    Result<std::uint64_t> place(std::string_view field) {
        const std::uint64_t count = placed_.size();
        const auto id = coords::parse_count(field);
        if (!id || *id < 1 || *id > count) {
            return fail_at(lines_, "atom id '{}' is not one of 1 to {}", field, count);
        }
        if (placed_[*id - 1]) return fail_at(lines_, "atom id {} appears twice", *id);
        placed_[*id - 1] = true;
        return *id - 1;
    }

    // A dump names no atoms, but its types must be those the build gives the pseudo atoms.
    Result<void> check_type(std::uint64_t index, std::string_view field) {
        if (!options_.check_names || !options_.atom_type) return {};
        const auto type = coords::parse_count(field);
        if (!type) return fail_at(lines_, "the atom type '{}' is not a whole number", field);
        const auto atom = expected_.at(index);
        const std::uint64_t wanted = options_.atom_type(atom.name);
        if (*type == wanted) return {};
        return fail_at(lines_,
                       "atom {} has type {} but the species and counts expect type {} ('{}' of "
                       "{}) there",
                       index + 1, *type, wanted, atom.name, atom.species);
    }

    LineReader& lines_;
    const ExpectedAtoms& expected_;
    const CoordinateReadOptions& options_;
    const DumpBox& box_;
    const DumpColumns& columns_;
    std::vector<std::string_view> fields_;
    std::vector<bool> placed_;
};

Result<CoordinateFile> read_frame(LineReader& lines, const ExpectedAtoms& expected,
                                  const CoordinateReadOptions& options,
                                  coords::FrameContext frame) {
    BW_TRY(std::string_view line, required_line(lines, "the first ITEM line"));
    if (!is_item(line) && frame.number == 1) {
        return fail_at(lines, "expected an ITEM line to start a frame, found '{}'", line);
    }
    if (!is_item(line)) {
        return fail_at(lines,
                       "expected an ITEM line to start frame {}, found '{}' (has the frame before "
                       "more atom lines than its NUMBER OF ATOMS?)",
                       frame.number, line);
    }
    DumpHeader header;
    for (;;) {
        const std::string_view item = item_of(line);
        if (item_is(item, "ATOMS")) break;
        bool read_on = true;  // the body runs to the next ITEM line
        if (item_is(item, "NUMBER OF ATOMS")) {
            BW_TRY(header.count, atom_count(lines));
            BW_TRY_VOID(coords::check_atom_count(lines, *header.count, expected, frame));
            read_on = false;
        } else if (item_is(item, "BOX BOUNDS")) {
            BW_TRY(header.box, read_box(lines, item));
            read_on = false;
        } else if (item_is(item, "TIMESTEP")) {
            BW_TRY(std::string_view step, required_line(lines, "the timestep"));
            header.timestep = std::string(trim_blanks(step).substr(0, 40));
        }
        BW_TRY(line, required_line(lines, "the ATOMS section"));
        while (read_on && !is_item(line)) {
            BW_TRY(line, required_line(lines, "the ATOMS section"));
        }
        if (!is_item(line)) return fail_at(lines, "expected an ITEM line, found '{}'", line);
    }
    if (!header.count) return fail_at(lines, "the frame gives no NUMBER OF ATOMS before its atoms");
    if (!header.box) return fail_at(lines, "the frame gives no BOX BOUNDS before its atoms");
    BW_TRY(const DumpColumns columns, read_columns(lines, item_of(line)));
    BW_TRY(const double box_length,
           coords::settle_box(lines, header.box->stated, options.box_length));
    AtomSection atoms(lines, expected, options, *header.box, columns);
    BW_TRY(CoordinateFile file, atoms.read(box_length));
    if (!header.timestep.empty()) {
        file.frame = FrameRead{1, 1, coords::message_of("timestep {}", header.timestep)};
    }
    return file;
}

}  // namespace

Result<CoordinateFile> read_lammps_dump(const std::string& path, const ExpectedAtoms& expected,
                                        const CoordinateReadOptions& options) {
    BW_TRY(auto lines, LineReader::open(path));
    lines.give_up_when(options.give_up);
    return coords::read_chosen_frame<DumpFrames>(
        lines, options.frame,
        [&](LineReader& at, const DumpFrames::Start&, coords::FrameContext frame) {
            return read_frame(at, expected, options, frame);
        });
}

}  // namespace boxwright
