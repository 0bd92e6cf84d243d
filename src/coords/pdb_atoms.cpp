#include "coords/pdb_atoms.hpp"

namespace boxwright {

Result<PdbAtomReader> PdbAtomReader::open(const std::string& path,
                                          std::optional<std::string> subject) {
    BW_TRY(auto lines, LineReader::open(path, std::move(subject)));
    return PdbAtomReader(std::move(lines));
}

Result<std::optional<PdbAtomLine>> PdbAtomReader::next(const OtherLine& other_line) {
    while (!model_ended_) {
        BW_TRY(auto line, lines_.next());
        model_ended_ = !line || ends_pdb_model(*line);
        if (model_ended_) break;
        if (is_pdb_atom_record(*line)) return PdbAtomLine{*line, read_pdb_atom_record(*line)};
        if (other_line) BW_TRY_VOID(other_line(*line));
    }
    return std::nullopt;
}

}  // namespace boxwright
