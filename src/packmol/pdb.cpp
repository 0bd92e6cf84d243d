#include "packmol/pdb.hpp"

#include "coords/pdb_atoms.hpp"

namespace boxwright {
namespace {

tl::unexpected<FfError> unreadable(const PdbAtomReader& reader, const PdbAtomLine& atom) {
    const PdbRecordFault& fault = atom.record.error();
    const std::string& path = reader.lines().shown_path();
    if (fault.kind == PdbRecordFault::Kind::TooShort) {
        return fail("malformed PDB line in {}: {}", path, atom.line);
    }
    return fail("bad {} coordinate in {}: {}", "xyz"[fault.axis], path, atom.line);
}

}  // namespace

Result<std::vector<Position>> parse_packed_pdb(const std::string& path) {
    BW_TRY(auto reader, PdbAtomReader::open(path, "packmol output " + path));
    std::vector<Position> positions;
    for (;;) {
        BW_TRY(auto atom, reader.next());
        if (!atom) return positions;
        if (!atom->record) return unreadable(reader, *atom);
        positions.push_back(atom->record->position);
    }
}

}  // namespace boxwright
