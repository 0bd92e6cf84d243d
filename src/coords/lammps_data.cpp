// LAMMPS data files with atoms in the full style (atom-ID molecule-ID atom-type q x y z, then
// optionally the image flags ix iy iz), as this system and LAMMPS write_data write them. The first
// line is a title; the header gives the atom count and the box bounds; sections follow in any
// order, each a keyword line and its body, and only Atoms and Velocities (atom-ID vx vy vz) are
// read. Both have one line per atom of the header, each going to the place of its ID (write_data
// lists them in the order the processors hold them); atoms are unwrapped by their image flags and
// moved with the box so that its lower corner is the origin, where this system's data files put
// it. A "#" starts a comment anywhere; this system's own files name the pseudo atom as the first
// word of each atom line's comment, and that name is checked.
#include <array>
#include <cmath>

#include "base/names.hpp"
#include "base/numbers.hpp"
#include "coords/coordinate_file.hpp"
#include "coords/coordinate_text.hpp"
#include "coords/frames.hpp"
#include "coords/reader_support.hpp"

namespace boxwright {
namespace {

using coords::fail_at;
using coords::fail_at_end;

// The words that end each axis' bounds line: "xlo xhi" and so on.
struct AxisWords {
    std::string_view low, high;
};
constexpr AxisWords BOUND_WORDS[] = {{"xlo", "xhi"}, {"ylo", "yhi"}, {"zlo", "zhi"}};

struct Bounds {
    double low = 0, high = 0;
    std::uint64_t line = 0;  // 0 while the header has not given them
};

struct Header {
    std::optional<std::uint64_t> atoms;
    std::array<Bounds, 3> bounds;
};

// A line split at its first "#".
struct DataLine {
    std::string_view content, comment;
};

DataLine split_comment(std::string_view line) {
    const std::size_t hash = line.find('#');
    if (hash == std::string_view::npos) return {trim_blanks(line), {}};
    return {trim_blanks(line.substr(0, hash)), trim_blanks(line.substr(hash + 1))};
}

// Section keywords are words; every header and body line starts with a number.
// A section's keyword line starts with a letter; a header line with a number, which "nan" and
// "inf" are to the number reader (and are refused there as not finite).
bool is_keyword(std::string_view content) {
    const char first = content.empty() ? '\0' : content.front();
    const std::string_view word = content.substr(0, content.find_first_of(" \t"));
    for (std::string_view number : {"nan", "inf", "infinity"}) {
        if (equals_ignoring_ascii_case(word, number)) return false;
    }
    return (first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z');
}

// The next line that holds more than blanks and a comment; nullopt at the end of the file.
Result<std::optional<DataLine>> next_content(LineReader& lines) {
    for (;;) {
        BW_TRY(auto line, lines.next());
        if (!line) return std::nullopt;
        DataLine split = split_comment(*line);
        if (!split.content.empty()) return split;
    }
}

Result<void> read_header_line(const LineReader& lines, std::string_view content, Header& header) {
    std::array<std::string_view, 6> f;
    const std::size_t n = coords::split_fields(content, f);
    const auto last_words = [&](std::string_view a, std::string_view b) {
        return n >= 2 && n <= f.size() && f[n - 2] == a && f[n - 1] == b;
    };
    if (n == 2 && f[1] == "atoms") {
        header.atoms = coords::parse_count(f[0]);
        if (!header.atoms) return fail_at(lines, "expected '<count> atoms', found '{}'", content);
        return {};
    }
    for (std::size_t axis = 0; axis < 3; ++axis) {
        const auto [low, high] = BOUND_WORDS[axis];
        if (!last_words(low, high)) continue;
        if (n != 4) {
            return fail_at(lines, "expected '<low> <high> {} {}', found '{}'", low, high, content);
        }
        Bounds& bounds = header.bounds[axis];
        BW_TRY(bounds.low, coords::finite_number(lines, low, f[0]));
        BW_TRY(bounds.high, coords::finite_number(lines, high, f[1]));
        bounds.line = lines.line_number();
        return {};
    }
    if (n == 6 && f[3] == "xy" && f[4] == "xz" && f[5] == "yz") {
        for (std::size_t i = 0; i < 3; ++i) {
            BW_TRY(double tilt, coords::finite_number(lines, "the tilt factor", f[i]));
            if (tilt != 0) return fail_at(lines, "the box is tilted; only a cubic box is read");
        }
        return {};
    }
    const bool general_triclinic =
        (n >= 1 && n <= f.size() &&
         (f[n - 1] == "avec" || f[n - 1] == "bvec" || f[n - 1] == "cvec")) ||
        last_words("abc", "origin");
    if (general_triclinic) {
        return fail_at(lines, "the box is a triclinic cell; only a cubic box is read");
    }
    return {};  // counts of types, bonds and the like say nothing about positions
}

// At the first section: the header must have given what the atoms need, and a cube.
Result<coords::StatedBox> header_box(const LineReader& lines, const Header& header) {
    if (!header.atoms) return fail_at(lines, "the header gives no atom count before this section");
    for (std::size_t axis = 0; axis < 3; ++axis) {
        if (header.bounds[axis].line == 0) {
            return fail_at(lines, "the header gives no {} {} bounds before this section",
                           BOUND_WORDS[axis].low, BOUND_WORDS[axis].high);
        }
    }
    std::array<double, 3> edges{};
    for (std::size_t axis = 0; axis < 3; ++axis) {
        edges[axis] = header.bounds[axis].high - header.bounds[axis].low;
    }
    for (std::size_t axis = 0; axis < 3; ++axis) {
        if (!(edges[axis] > 0) || !coords::same_length(edges[axis], edges[0])) {
            return coords::fail_at_line(
                lines, header.bounds[axis].line,
                fmt::format("the box is not a cube: its edges are {}, {} and {}",
                            plain_number(edges[0]), plain_number(edges[1]),
                            plain_number(edges[2])));
        }
    }
    return coords::StatedBox{edges[0], header.bounds[0].line};
}

// The body of a section with one line per atom of the header, each starting with an atom ID: the
// lines are taken one by one, and every ID must be one of the header's, once.
class AtomLines {
  public:
    AtomLines(LineReader& lines, std::string_view section, std::uint64_t count)
        : lines_(lines), section_(section), placed_(count) {}

    // The next line of the body; fails where the file or the section ends before the last atom.
    Result<DataLine> next() {
        const std::uint64_t count = placed_.size();
        BW_TRY(auto line, next_content(lines_));
        if (!line) {
            return fail_at_end(
                lines_, "the file ends{} after {} of the {} atoms of the header",
                section_ == "Atoms" ? "" : fmt::format(" in the {} section", section_), read_,
                count);
        }
        if (is_keyword(line->content)) {
            return fail_at(lines_, "the {} section ends after {} of the {} atoms of the header",
                           section_, read_, count);
        }
        ++read_;
        return *line;
    }

    // The 0-based place of the atom with the ID `field`.
    Result<std::uint64_t> place(std::string_view field) {
        const std::uint64_t count = placed_.size();
        const auto id = coords::parse_count(field);
        if (!id || *id < 1 || *id > count) {
            return fail_at(lines_, "atom ID '{}' is not one of 1 to {}", field, count);
        }
        if (placed_[*id - 1]) return fail_at(lines_, "atom ID {} appears twice", *id);
        placed_[*id - 1] = true;
        return *id - 1;
    }

  private:
    LineReader& lines_;
    std::string_view section_;
    std::vector<bool> placed_;
    std::uint64_t read_ = 0;
};

// LAMMPS stores an image flag in 10 bits, or 21 with -DLAMMPS_BIGBIG: no file it wrote has more.
constexpr std::int64_t MAX_IMAGE_FLAG = 1048575;

Result<std::int64_t> image_flag(const LineReader& lines, std::string_view field) {
    const auto flag = coords::parse_integer(field);
    if (!flag) return fail_at(lines, "the image flag '{}' is not an integer", field);
    if (*flag > MAX_IMAGE_FLAG || *flag < -MAX_IMAGE_FLAG - 1) {
        return fail_at(lines,
                       "the image flag '{}' is beyond what LAMMPS stores (-{} to {}): is the Atoms "
                       "section in another layout?",
                       field, MAX_IMAGE_FLAG + 1, MAX_IMAGE_FLAG);
    }
    return *flag;
}

Result<std::vector<Position>> read_atoms(LineReader& lines, const Header& header,
                                         const ExpectedAtoms& expected, bool check_names) {
    const std::uint64_t count = *header.atoms;
    std::vector<Position> positions(count);
    AtomLines body(lines, "Atoms", count);
    std::array<std::string_view, 10> f;
    for (std::uint64_t atom = 0; atom < count; ++atom) {
        BW_TRY(const auto line, body.next());
        const std::size_t n = coords::split_fields(line.content, f);
        if (n != 7 && n != 10) {
            return fail_at(lines,
                           "expected 'atom-ID molecule-ID atom-type q x y z' and optionally the "
                           "image flags, found '{}'",
                           line.content);
        }
        BW_TRY(const std::uint64_t index, body.place(f[0]));
        for (std::size_t axis = 0; axis < 3; ++axis) {
            BW_TRY(double value,
                   coords::finite_number(lines, coords::COORDINATE_FIELD[axis], f[4 + axis]));
            std::int64_t image = 0;
            if (n == 10) {
                BW_TRY(image, image_flag(lines, f[7 + axis]));
            }
            const Bounds& bounds = header.bounds[axis];
            positions[index][axis] =
                value - bounds.low + static_cast<double>(image) * (bounds.high - bounds.low);
            if (!std::isfinite(positions[index][axis])) {
                return fail_at(lines, "the image flags put the atom beyond any finite position");
            }
        }
        if (check_names && !line.comment.empty()) {
            std::array<std::string_view, 1> name;
            coords::split_fields(line.comment, name);
            BW_TRY_VOID(coords::check_atom_name(lines, expected, index, name[0]));
        }
    }
    return positions;
}

constexpr const char* VELOCITY_FIELD[3] = {"the x velocity", "the y velocity", "the z velocity"};

Result<std::vector<Velocity>> read_velocities(LineReader& lines, std::uint64_t count) {
    std::vector<Velocity> velocities(count);
    AtomLines body(lines, "Velocities", count);
    std::array<std::string_view, 4> f;
    for (std::uint64_t atom = 0; atom < count; ++atom) {
        BW_TRY(const auto line, body.next());
        if (coords::split_fields(line.content, f) != f.size()) {
            return fail_at(lines, "expected 'atom-ID vx vy vz', found '{}'", line.content);
        }
        BW_TRY(const std::uint64_t index, body.place(f[0]));
        for (std::size_t axis = 0; axis < 3; ++axis) {
            BW_TRY(velocities[index][axis],
                   coords::finite_number(lines, VELOCITY_FIELD[axis], f[1 + axis]));
        }
    }
    return velocities;
}

}  // namespace

Result<CoordinateFile> read_lammps_data(const std::string& path, const ExpectedAtoms& expected,
                                        const CoordinateReadOptions& options) {
    BW_TRY(auto lines, LineReader::open(path));
    lines.give_up_when(options.give_up);
    if (options.frame && *options.frame != 1 && *options.frame != -1) {
        return coords::no_such_frame(lines, 1, *options.frame);  // a data file is one frame
    }
    BW_TRY(auto title, lines.next());
    if (!title) return fail_at_end(lines, "the file is empty");

    Header header;
    std::optional<DataLine> line;
    for (;;) {
        BW_TRY(line, next_content(lines));
        if (!line) return fail_at_end(lines, "the file has no Atoms section");
        if (is_keyword(line->content)) break;
        BW_TRY_VOID(read_header_line(lines, line->content, header));
    }
    BW_TRY(const auto stated, header_box(lines, header));
    BW_TRY_VOID(coords::check_atom_count(lines, *header.atoms, expected));
    BW_TRY(const double box_length, coords::settle_box(lines, stated, options.box_length));

    std::optional<std::vector<Position>> positions;
    std::optional<std::vector<Velocity>> velocities;
    // `line` is a section's keyword line here, or the end of the file.
    while (line) {
        const std::string section(line->content);  // the line's text goes with the next line
        if ((section == "Atoms" && positions) || (section == "Velocities" && velocities)) {
            return fail_at(lines, "the file has a second {} section", section);
        }
        const bool read = section == "Atoms" || section == "Velocities";
        if (section == "Atoms") {
            if (!line->comment.empty() && line->comment != "full") {
                return fail_at(lines,
                               "the atoms are in the '{}' style; only the full style is read",
                               line->comment);
            }
            BW_TRY(positions, read_atoms(lines, header, expected, options.check_names));
        } else if (section == "Velocities") {
            BW_TRY(velocities, read_velocities(lines, *header.atoms));
        }
        // The body of another section runs to the next keyword; one that was read ends there.
        do {
            BW_TRY(line, next_content(lines));
            if (line && read && !is_keyword(line->content)) {
                return fail_at(lines,
                               "the {} section has more lines than the {} atoms of the header",
                               section, *header.atoms);
            }
        } while (line && !is_keyword(line->content));
    }
    if (!positions) return fail_at_end(lines, "the file has no Atoms section");
    return CoordinateFile{std::move(*positions), box_length, std::move(velocities)};
}

}  // namespace boxwright
