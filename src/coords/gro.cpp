// GROMACS .gro files. A frame is a title line, the atom count, one line per atom in fixed columns
// (residue number and name, atom name, atom number, each five characters; then x, y, z in nm and
// optionally vx, vy, vz in nm/ps), and the box: "v1x v2y v3z", or nine numbers whose six
// off-diagonal ones are 0 for a box along the axes. The coordinate fields are 8 characters wide
// unless the file is written with more decimals: their width is the distance between the decimal
// points of the first atom's x and y, as programs that write the format with more precision lay
// it out. Positions come out in Å and velocities in Å/fs, the units of LAMMPS real units, with
// the box's lower corner at the origin as it is in the file. Frames follow one another.
#include <algorithm>
#include <array>
#include <cmath>

#include "coords/coordinate_file.hpp"
#include "coords/coordinate_text.hpp"
#include "coords/frames.hpp"
#include "coords/reader_support.hpp"

namespace boxwright {
namespace {

using coords::fail_at;
using coords::fail_at_end;
using coords::required_line;

constexpr double ANGSTROM_PER_NM = 10;
constexpr double ANGSTROM_PER_FS_PER_NM_PER_PS = 0.01;  // 10 Å per nm, 1000 fs per ps

constexpr std::size_t NAME_BEGIN = 10, NAME_WIDTH = 5;
constexpr std::size_t FIRST_COORDINATE = 20;
constexpr std::size_t DEFAULT_WIDTH = 8;

constexpr const char* VELOCITY_FIELD[3] = {"the x velocity", "the y velocity", "the z velocity"};

Result<std::uint64_t> atom_count(const LineReader& lines, std::string_view line) {
    const auto count = coords::parse_count(trim_blanks(line));
    if (!count) return fail_at(lines, "expected the atom count, found '{}'", line);
    return *count;
}

// Passes frames by their count lines, reading nothing else of them.
class GroFrames : public coords::LineFrameScanner {
  public:
    Result<bool> pass(LineReader& lines) {
        BW_TRY(auto title, frame_start(lines));
        if (!title) return false;
        BW_TRY(auto line, lines.next());
        if (!line) return fail_at_end(lines, "the file ends inside a frame");
        BW_TRY(const std::uint64_t count, atom_count(lines, *line));
        BW_TRY(const bool atoms, skip_lines(lines, count));
        BW_TRY(const bool box, atoms ? skip_lines(lines, 1) : Result<bool>(false));
        if (!box) return fail_at_end(lines, "the file ends inside a frame");
        return true;
    }
};

// The width of the coordinate fields, from the first atom line.
std::size_t field_width(std::string_view line) {
    const std::size_t first = line.find('.', FIRST_COORDINATE);
    if (first == std::string_view::npos) return DEFAULT_WIDTH;
    const std::size_t second = line.find('.', first + 1);
    if (second == std::string_view::npos || second - first < 4) return DEFAULT_WIDTH;
    return second - first;
}

// Reads a frame's atoms; their fields are settled by the first one.
class AtomLines {
  public:
    AtomLines(LineReader& lines, const ExpectedAtoms& expected, bool check_names)
        : lines_(lines), expected_(expected), check_names_(check_names) {}

    Result<void> read(std::uint64_t atom, std::string_view line, CoordinateFile& file) {
        if (atom == 0) {
            width_ = field_width(line);
            if (line.size() >= FIRST_COORDINATE + 6 * width_) file.velocities.emplace();
        }
        const std::size_t needed = FIRST_COORDINATE + (file.velocities ? 6 : 3) * width_;
        if (line.size() < needed) {
            return fail_at(lines_, "the atom line is shorter than {} columns{}", needed,
                           file.velocities ? " (the first atom's line has velocities)" : "");
        }
        Position position{};
        for (std::size_t axis = 0; axis < 3; ++axis) {
            BW_TRY(const double nm, field(axis, line, coords::COORDINATE_FIELD[axis]));
            position[axis] = nm * ANGSTROM_PER_NM;
        }
        file.positions.push_back(position);
        if (file.velocities) {
            Velocity velocity{};
            for (std::size_t axis = 0; axis < 3; ++axis) {
                BW_TRY(const double nm_ps, field(3 + axis, line, VELOCITY_FIELD[axis]));
                velocity[axis] = nm_ps * ANGSTROM_PER_FS_PER_NM_PER_PS;
            }
            file.velocities->push_back(velocity);
        }
        if (check_names_) {
            const std::string_view name = trim_blanks(line.substr(NAME_BEGIN, NAME_WIDTH));
            BW_TRY_VOID(coords::check_atom_name(lines_, expected_, atom, name, NAME_WIDTH));
        }
        return {};
    }

  private:
    Result<double> field(std::size_t k, std::string_view line, std::string_view what) {
        const std::string_view text =
            trim_blanks(line.substr(FIRST_COORDINATE + k * width_, width_));
        return coords::finite_number(lines_, what, text);
    }

    LineReader& lines_;
    const ExpectedAtoms& expected_;
    bool check_names_;
    std::size_t width_ = DEFAULT_WIDTH;
};

// "v1x v2y v3z [v1y v1z v2x v2z v3x v3y]", nm: a cube along the axes, or refused.
Result<coords::StatedBox> read_box(const LineReader& lines, std::string_view line) {
    std::array<std::string_view, 9> f;
    const std::size_t n = coords::split_fields(line, f);
    if (n != 3 && n != 9) {
        return fail_at(lines, "expected the box as three or nine numbers, found '{}'", line);
    }
    std::array<double, 9> box{};
    for (std::size_t i = 0; i < n; ++i) {
        BW_TRY(box[i], coords::finite_number(lines, "the box vector component", f[i]));
    }
    const bool on_axes = std::all_of(box.begin() + 3, box.end(), [](double v) { return v == 0; });
    if (!on_axes)
        return fail_at(lines, "the box is triclinic; only a cubic box is read: '{}'", line);
    if (!(box[0] > 0) || !coords::same_length(box[0], box[1]) ||
        !coords::same_length(box[0], box[2])) {
        return fail_at(lines, "the box is not a cube: '{}'", line);
    }
    return coords::StatedBox{box[0] * ANGSTROM_PER_NM, lines.line_number()};
}

Result<CoordinateFile> read_frame(LineReader& lines, const ExpectedAtoms& expected,
                                  const CoordinateReadOptions& options,
                                  coords::FrameContext frame) {
    BW_TRY_VOID(required_line(lines, "the title line"));
    BW_TRY(std::string_view count_line, required_line(lines, "the atom count"));
    BW_TRY(const std::uint64_t count, atom_count(lines, count_line));
    BW_TRY_VOID(coords::check_atom_count(lines, count, expected, frame));
    CoordinateFile file;
    file.positions.reserve(count);
    AtomLines atoms(lines, expected, options.check_names);
    for (std::uint64_t atom = 0; atom < count; ++atom) {
        BW_TRY(auto line, lines.next());
        if (!line) {
            return fail_at_end(lines, "the file ends after {} of the {} atoms of its count line",
                               atom, count);
        }
        BW_TRY_VOID(atoms.read(atom, *line, file));
    }
    BW_TRY(std::string_view box_line, required_line(lines, "the box line"));
    BW_TRY(const auto stated, read_box(lines, box_line));
    BW_TRY(file.box_length, coords::settle_box(lines, stated, options.box_length));
    return file;
}

}  // namespace

Result<CoordinateFile> read_gro(const std::string& path, const ExpectedAtoms& expected,
                                const CoordinateReadOptions& options) {
    BW_TRY(auto lines, LineReader::open(path));
    lines.give_up_when(options.give_up);
    return coords::read_chosen_frame<GroFrames>(
        lines, options.frame,
        [&](LineReader& at, const GroFrames::Start&, coords::FrameContext frame) {
            return read_frame(at, expected, options, frame);
        });
}

}  // namespace boxwright
