#include "packmol/pdb.hpp"

#include <limits>

#include "ff/decimal.hpp"
#include "ff/io.hpp"
#include "ff/names.hpp"
#include "ff/utf8.hpp"

namespace boxwright {
namespace {

bool is_blank(char ch) { return ch == ' ' || (ch >= '\t' && ch <= '\r'); }

std::string_view trim(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
    return text;
}

std::optional<double> special_value(std::string_view word) {
    if (equals_ignoring_ascii_case(word, "inf") || equals_ignoring_ascii_case(word, "infinity")) {
        return std::numeric_limits<double>::infinity();
    }
    if (equals_ignoring_ascii_case(word, "nan")) return std::numeric_limits<double>::quiet_NaN();
    return std::nullopt;
}

}  // namespace

std::optional<double> parse_coordinate(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::optional<double> value = special_value(text);
    if (!value) value = unsigned_decimal_value(text);
    if (!value) return std::nullopt;
    return negative ? -*value : *value;
}

Result<std::vector<Position>> parse_packed_pdb(const std::string& path) {
    BW_TRY(auto text, read_utf8_file(path).map_error(about("packmol output " + path)));

    struct Field {
        std::size_t begin;
        char axis;
    };
    static constexpr Field FIELDS[] = {{30, 'x'}, {38, 'y'}, {46, 'z'}};
    static constexpr std::size_t FIELD_WIDTH = 8;
    static constexpr std::size_t RECORD_LENGTH = 54;

    std::vector<Position> positions;
    std::string_view rest = text;
    while (!rest.empty()) {
        std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        // Only a carriage return that precedes a line feed belongs to the line ending.
        if (end != std::string_view::npos && !line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }

        if (line.size() < 6) continue;
        std::string_view record = line.substr(0, 6);
        if (record != "HETATM" && record != "ATOM  ") continue;
        if (line.size() < RECORD_LENGTH) {
            return fail("malformed PDB line in {}: {}", lossy_utf8(path), line);
        }
        Position position{};
        for (std::size_t axis = 0; axis < 3; ++axis) {
            auto value = parse_coordinate(trim(line.substr(FIELDS[axis].begin, FIELD_WIDTH)));
            if (!value) {
                return fail("bad {} coordinate in {}: {}", FIELDS[axis].axis, lossy_utf8(path),
                            line);
            }
            position[axis] = *value;
        }
        positions.push_back(position);
    }
    return positions;
}

}  // namespace boxwright
