#include "coords/pdb_record.hpp"

#include "coords/coordinate_text.hpp"

namespace boxwright {
namespace {

constexpr std::size_t NAME_BEGIN = 12, NAME_WIDTH = 4;
constexpr std::size_t COORDINATE_BEGIN = 30, COORDINATE_WIDTH = 8;

}  // namespace

bool is_pdb_record(std::string_view line, std::string_view name) {
    return line.substr(0, 6) == name;
}

bool is_pdb_atom_record(std::string_view line) {
    return is_pdb_record(line, "HETATM") || is_pdb_record(line, "ATOM  ");
}

bool ends_pdb_model(std::string_view line) {
    if (is_pdb_record(line, "ENDMDL")) return true;
    return line.substr(0, 3) == "END" && trim_blanks(line.substr(3, 3)).empty();
}

tl::expected<PdbAtomRecord, PdbRecordFault> read_pdb_atom_record(std::string_view line) {
    using Fault = PdbRecordFault;
    if (line.size() < PDB_ATOM_RECORD_LENGTH) {
        return tl::unexpected(Fault{Fault::Kind::TooShort, 0, {}});
    }
    PdbAtomRecord record{trim_blanks(line.substr(NAME_BEGIN, NAME_WIDTH)), {}, {}};
    for (std::size_t axis = 0; axis < 3; ++axis) {
        const std::string_view field =
            trim_blanks(line.substr(COORDINATE_BEGIN + axis * COORDINATE_WIDTH, COORDINATE_WIDTH));
        const auto value = parse_coordinate(field);
        if (!value) return tl::unexpected(Fault{Fault::Kind::BadCoordinate, axis, field});
        record.fields[axis] = field;
        record.position[axis] = *value;
    }
    return record;
}

std::string_view leading_characters(std::string_view name, std::size_t characters) {
    std::size_t seen = 0;
    for (std::size_t end = 0; end < name.size(); ++end) {
        // Names come from JSON, so they are UTF-8: a character starts at any non-continuation byte.
        const bool starts_character = (static_cast<unsigned char>(name[end]) & 0xC0) != 0x80;
        if (starts_character && seen++ == characters) return name.substr(0, end);
    }
    return name;
}

}  // namespace boxwright
