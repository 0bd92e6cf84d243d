// TextOut: where a LAMMPS file's text goes as a writer builds it: whole into memory, or into a
// file in pieces of about a megabyte, so that a file of hundreds of megabytes never sits in memory
// whole. Knows nothing of what the text says.
#pragma once

#include <fmt/format.h>

#include <optional>
#include <string>

#include "base/io.hpp"
#include "base/os_error.hpp"

namespace boxwright {

class TextOut {
  public:
    // Into memory without a file (take the text with text()); else into `file`.
    explicit TextOut(FileReplacement* file = nullptr) : file_(file) {}

    fmt::memory_buffer& text() { return text_; }
    // Called between lines: hands the text so far to the file once it makes a piece.
    void line_boundary() {
        if (file_ != nullptr && text_.size() >= PIECE_BYTES) spill();
    }
    // Hands the rest to the file; the first write failure, if any.
    OsResult<void> finish();

  private:
    // A small buffer stays in the cache, and the file's pages are filled by write() alone: built
    // whole, the text of a data file of a million atoms (~190 MB) cost tens of thousands of page
    // faults that on virtual machines took longer than the formatting itself.
    static constexpr std::size_t PIECE_BYTES = std::size_t{1} << 20;

    void spill();

    FileReplacement* file_;
    fmt::memory_buffer text_;
    std::optional<OsError> failure_;
};

}  // namespace boxwright
