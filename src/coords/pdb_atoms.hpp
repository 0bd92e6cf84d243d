// PdbAtomReader: the atom records of a model of a PDB file, one at a time, read line by line so
// that a file of millions of atoms takes no more memory than its longest line. The users' PDB
// coordinate files are read through it; which lines are atom records is pdb_record.hpp's, shared
// with the reader of packmol's output. How a record that cannot be read is reported stays with the
// caller, and so do the other records (a CRYST1 box).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <tl/expected.hpp>

#include "base/error.hpp"
#include "base/text_lines.hpp"
#include "coords/pdb_record.hpp"

namespace boxwright {

// An atom record: its line, valid until the next read, and what read_pdb_atom_record made of it.
struct PdbAtomLine {
    std::string_view line;
    tl::expected<PdbAtomRecord, PdbRecordFault> record;
};

class PdbAtomReader {
  public:
    // Sees a line of the first model that is not an atom record; its failure ends the read.
    using OtherLine = std::function<Result<void>(std::string_view line)>;

    // Fails as LineReader::open does, with the same `subject` for a whole-file wording.
    static Result<PdbAtomReader> open(const std::string& path,
                                      std::optional<std::string> subject = std::nullopt);

    // The next atom record of the model, or nullopt once an ENDMDL or END record or the end of
    // the file is reached. The lines before it that are not atom records go to `other_line`, if
    // any.
    Result<std::optional<PdbAtomLine>> next(const OtherLine& other_line = {});

    // For messages: the file's shown path and the number of the line read last.
    const LineReader& lines() const { return lines_; }
    // To pass the models of a file line by line, and come back to one; read_model() then reads
    // that model's atom records from where the lines are.
    LineReader& lines() { return lines_; }
    void read_model() { model_ended_ = false; }
    void give_up_when(std::function<bool()> give_up) { lines_.give_up_when(std::move(give_up)); }

  private:
    explicit PdbAtomReader(LineReader lines) : lines_(std::move(lines)) {}

    LineReader lines_;
    bool model_ended_ = false;
};

}  // namespace boxwright
