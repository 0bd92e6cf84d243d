#include "packmol/pdb.hpp"

#include "base/io.hpp"
#include "base/text_lines.hpp"
#include "base/utf8.hpp"
#include "coords/pdb_record.hpp"

namespace boxwright {

Result<std::vector<Position>> parse_packed_pdb(const std::string& path) {
    BW_TRY(auto text, read_utf8_file(path).map_error(about("packmol output " + path)));

    std::vector<Position> positions;
    for (std::string_view rest = text; !rest.empty();) {
        const std::string_view line = take_line(rest);
        if (!is_pdb_atom_record(line)) continue;
        auto record = read_pdb_atom_record(line);
        if (!record) {
            if (record.error().kind == PdbRecordFault::Kind::TooShort) {
                return fail("malformed PDB line in {}: {}", lossy_utf8(path), line);
            }
            return fail("bad {} coordinate in {}: {}", "xyz"[record.error().axis], lossy_utf8(path),
                        line);
        }
        positions.push_back(record->position);
    }
    return positions;
}

}  // namespace boxwright
