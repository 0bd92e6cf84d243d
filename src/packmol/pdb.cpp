#include "packmol/pdb.hpp"

#include <string_view>

#include "base/text_lines.hpp"
#include "coords/pdb_record.hpp"

namespace boxwright {
namespace {

tl::unexpected<FfError> unreadable(const LineReader& lines, std::string_view line,
                                   const PdbRecordFault& fault) {
    const std::string& path = lines.shown_path();
    if (fault.kind == PdbRecordFault::Kind::TooShort) {
        return fail("malformed PDB line in {}: {}", path, line);
    }
    return fail("bad {} coordinate in {}: {}", "xyz"[fault.axis], path, line);
}

// Reads every line once and goes back to the first: a file that is not UTF-8 is refused as that
// before any of its lines counts, whatever lines come first. (Lines end at ASCII bytes, so the
// lines are UTF-8 exactly when the whole text is.)
Result<void> check_utf8_throughout(LineReader& lines) {
    for (;;) {
        BW_TRY(auto line, lines.next());
        if (!line) return lines.rewind();
    }
}

}  // namespace

// Two passes through one buffer keep the memory flat for any size of packing; the first, a plain
// scan, costs a fraction of what packmol took to write the file.
Result<std::vector<Position>> parse_packed_pdb(const std::string& path) {
    BW_TRY(auto lines, LineReader::open(path, "packmol output " + path));
    BW_TRY_VOID(check_utf8_throughout(lines));
    std::vector<Position> positions;
    for (;;) {
        BW_TRY(auto line, lines.next());
        if (!line) return positions;
        if (!is_pdb_atom_record(*line)) continue;
        const auto record = read_pdb_atom_record(*line);
        if (!record) return unreadable(lines, *line, record.error());
        positions.push_back(record->position);
    }
}

}  // namespace boxwright
