// XYZ and extended XYZ files. A frame's first line holds the atom count, its second a comment,
// then one line per atom: by default its name and x, y, z; an extended XYZ comment's Properties
// may put the name and the position in other columns, and its Lattice may state a cubic box.
// Frames follow one another, blank lines allowed between them and at the end.
#include <algorithm>
#include <array>

#include "base/names.hpp"
#include "coords/coordinate_file.hpp"
#include "coords/coordinate_text.hpp"
#include "coords/frames.hpp"
#include "coords/reader_support.hpp"

namespace boxwright {
namespace {

using coords::fail_at;
using coords::fail_at_end;
using coords::required_line;

// Where the columns of an atom line are.
struct XyzColumns {
    std::optional<std::size_t> name = 0;  // absent when the file names no species
    std::size_t position = 1;             // x; y and z follow
    std::size_t needed() const { return std::max(position + 3, name ? *name + 1 : 0); }
};

struct XyzComment {
    XyzColumns columns;
    std::optional<coords::StatedBox> box;
};

// One word of an extended XYZ comment, key=value or a key alone; a value may be quoted to hold
// blanks.
struct KeyValue {
    std::string_view key, value;
    bool has_value = false;
};

std::optional<KeyValue> next_key_value(std::string_view& rest) {
    rest = trim_blanks(rest);
    if (rest.empty()) return std::nullopt;
    std::size_t i = 0;
    while (i < rest.size() && rest[i] != '=' && rest[i] != ' ' && rest[i] != '\t') ++i;
    KeyValue item{rest.substr(0, i), {}, i < rest.size() && rest[i] == '='};
    if (item.has_value) {
        ++i;
        if (i < rest.size() && rest[i] == '"') {
            const std::size_t close = rest.find('"', i + 1);
            item.value =
                rest.substr(i + 1, close == std::string_view::npos ? close : close - i - 1);
            i = close == std::string_view::npos ? rest.size() : close + 1;
        } else {
            const std::size_t begin = i;
            while (i < rest.size() && rest[i] != ' ' && rest[i] != '\t') ++i;
            item.value = rest.substr(begin, i - begin);
        }
    }
    rest.remove_prefix(i);
    return item;
}

// Lattice="ax ay az bx by bz cx cy cz": a box only when the three vectors are the edges of a cube
// along the axes.
Result<coords::StatedBox> lattice_box(const LineReader& lines, std::string_view value) {
    std::array<std::string_view, 9> fields;
    if (coords::split_fields(value, fields) != fields.size()) {
        return fail_at(lines, "Lattice needs nine numbers, found '{}'", value);
    }
    std::array<double, 9> cell{};
    for (std::size_t i = 0; i < cell.size(); ++i) {
        BW_TRY(cell[i], coords::finite_number(lines, "the Lattice number", fields[i]));
    }
    const bool on_axes = cell[1] == 0 && cell[2] == 0 && cell[3] == 0 && cell[5] == 0 &&
                         cell[6] == 0 && cell[7] == 0;
    if (!on_axes || !(cell[0] > 0) || !coords::same_length(cell[0], cell[4]) ||
        !coords::same_length(cell[0], cell[8])) {
        return fail_at(lines, "the Lattice is not a cube along the axes: '{}'", value);
    }
    return coords::StatedBox{cell[0], lines.line_number()};
}

// More columns than any atom line of a real file has; the row of fields is sized by them.
constexpr std::uint64_t MAX_COLUMNS = 1024;

// Properties=name:type:columns:...; the columns of "species" (S:1) and "pos" (R:3) count.
Result<XyzColumns> property_columns(const LineReader& lines, std::string_view value) {
    XyzColumns columns{std::nullopt, 0};
    bool has_position = false;
    std::size_t column = 0;
    for (std::string_view rest = value; !rest.empty();) {
        std::array<std::string_view, 3> triple;
        for (auto& part : triple) {
            const std::size_t colon = rest.find(':');
            part = rest.substr(0, colon);
            rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
        }
        const auto width = coords::parse_count(triple[2]);
        if (!width || triple[0].empty()) {
            return fail_at(lines, "Properties needs name:type:columns entries, found '{}'", value);
        }
        // Checked one width at a time, so that the sum can neither wrap nor size a huge row.
        if (*width > MAX_COLUMNS - column) {
            return fail_at(lines, "Properties declares more than {} columns: '{}'", MAX_COLUMNS,
                           value);
        }
        if (triple[0] == "pos" && triple[1] == "R" && *width == 3) {
            columns.position = column;
            has_position = true;
        } else if (triple[0] == "species" && triple[1] == "S" && *width == 1) {
            columns.name = column;
        }
        column += *width;
    }
    if (!has_position) return fail_at(lines, "Properties has no pos:R:3 entry: '{}'", value);
    return columns;
}

Result<XyzComment> read_comment(const LineReader& lines, std::string_view comment) {
    XyzComment read;
    for (std::string_view rest = comment; auto item = next_key_value(rest);) {
        if (!item->has_value) continue;  // a plain comment's words
        if (equals_ignoring_ascii_case(item->key, "Lattice")) {
            BW_TRY(read.box, lattice_box(lines, item->value));
        } else if (equals_ignoring_ascii_case(item->key, "Properties")) {
            BW_TRY(read.columns, property_columns(lines, item->value));
        }
    }
    return read;
}

// Passes frames by their count lines, reading nothing else of them.
class XyzFrames : public coords::LineFrameScanner {
  public:
    Result<bool> pass(LineReader& lines) {
        BW_TRY(auto line, frame_start(lines));
        if (!line) return false;
        std::array<std::string_view, 1> field;
        coords::split_fields(*line, field);
        const auto count = coords::parse_count(field[0]);
        if (!count) return fail_at(lines, "expected the atom count, found '{}'", *line);
        BW_TRY(const bool comment, skip_lines(lines, 1));
        BW_TRY(const bool atoms, comment ? skip_lines(lines, *count) : Result<bool>(false));
        if (!atoms) return fail_at_end(lines, "the file ends inside a frame");
        return true;
    }
};

Result<CoordinateFile> read_frame(LineReader& lines, const ExpectedAtoms& expected,
                                  const CoordinateReadOptions& options,
                                  coords::FrameContext frame) {
    BW_TRY(std::string_view count_line, required_line(lines, "the atom count"));
    std::array<std::string_view, 1> count_field;
    coords::split_fields(count_line, count_field);
    const auto count = coords::parse_count(count_field[0]);
    if (!count) return fail_at(lines, "expected the atom count, found '{}'", count_line);
    BW_TRY_VOID(coords::check_atom_count(lines, *count, expected, frame));

    BW_TRY(std::string_view comment, required_line(lines, "the comment line"));
    BW_TRY(XyzComment header, read_comment(lines, comment));
    const XyzColumns columns = header.columns;
    const bool check_names = options.check_names && columns.name;

    BW_TRY(const double box_length, coords::settle_box(lines, header.box, options.box_length));
    CoordinateFile file{{}, box_length};
    file.positions.reserve(*count);
    std::vector<std::string_view> fields(columns.needed());
    for (std::uint64_t atom = 0; atom < *count; ++atom) {
        BW_TRY(auto line, lines.next());
        if (!line) {
            return fail_at_end(lines, "the file ends after {} of the {} atoms of its count line",
                               atom, *count);
        }
        if (coords::split_fields(*line, fields) < columns.needed()) {
            return fail_at(lines, "expected 'name x y z', found '{}'", *line);
        }
        Position position{};
        for (std::size_t axis = 0; axis < 3; ++axis) {
            BW_TRY(position[axis], coords::finite_number(lines, coords::COORDINATE_FIELD[axis],
                                                         fields[columns.position + axis]));
        }
        if (check_names) {
            BW_TRY_VOID(coords::check_atom_name(lines, expected, atom, fields[*columns.name]));
        }
        file.positions.push_back(position);
    }
    return file;
}

}  // namespace

Result<CoordinateFile> read_xyz(const std::string& path, const ExpectedAtoms& expected,
                                const CoordinateReadOptions& options) {
    BW_TRY(auto lines, LineReader::open(path));
    lines.give_up_when(options.give_up);
    return coords::read_chosen_frame<XyzFrames>(
        lines, options.frame,
        [&](LineReader& at, const XyzFrames::Start&, coords::FrameContext frame) {
            return read_frame(at, expected, options, frame);
        });
}

}  // namespace boxwright
