// The frame of a file of several (a trajectory, a movie) that a reader reads, found without
// holding the others: one pass counts the frames, reading their lines but not their atoms, and
// keeps where the chosen one starts; the reader then comes back there and reads that frame
// alone. Memory does not grow with the number of frames. A format gives a scanner that passes
// one frame at a time and a reader of one frame. Internal to src/coords.
#pragma once

#include <cstdint>
#include <optional>

#include "base/error.hpp"
#include "base/text_lines.hpp"
#include "coords/coordinate_file.hpp"
#include "coords/reader_support.hpp"

namespace boxwright::coords {

// "{path} has {frames} frame(s), so frame {choice} cannot be read" (frame 0 included: no file has
// it)
tl::unexpected<FfError> no_such_frame(const LineReader& lines, std::uint64_t frames,
                                      std::int64_t choice);

// What the scanners of formats whose frames follow one another line by line share (XYZ, .gro, a
// LAMMPS dump): where the frame being passed starts, found past the blank lines that may end the
// frame before it, and the passing of a frame's known number of lines.
class LineFrameScanner {
  public:
    struct Start {
        LineReader::Mark mark;
    };
    const Start& start() const { return start_; }

  protected:
    // The first line of the next frame, marked as its start; none at the end of the file.
    Result<std::optional<std::string_view>> frame_start(LineReader& lines);
    // Passes `count` lines; false when the file ends first.
    static Result<bool> skip_lines(LineReader& lines, std::uint64_t count);

  private:
    Start start_;
    bool started_ = false;
};

// Scanner: default-constructible, with
//   using Start = ...;                        where a frame starts (a LineReader::Mark and what
//                                             the format carries into it from earlier frames)
//   Result<bool> pass(LineReader& lines);     passes the next frame; false when none is left
//   const Start& start() const;               the start of the frame passed last, or being
//                                             passed when pass() failed
// ReadFrame: Result<CoordinateFile>(LineReader& lines, const Start& start, FrameContext frame),
// called with `lines` just before the frame's first line.
//
// A frame the scanner cannot pass is read by ReadFrame, so that its fault is reported as it
// would be in a file of one frame (and in the same order: a wrong atom count before a truncated
// atom list).
template <class Scanner, class ReadFrame>
Result<CoordinateFile> read_chosen_frame(LineReader& lines, std::optional<std::int64_t> choice,
                                         const ReadFrame& read_frame) {
    using Start = typename Scanner::Start;
    const std::int64_t wanted = choice.value_or(-1);
    struct Scan {
        std::uint64_t frames = 0;
        std::optional<Start> kept;
    };
    // Counts every frame; keeps the start of frame `target`, or of the last when it is 0.
    const auto scan = [&](std::uint64_t target) -> Result<Scan> {
        Scanner scanner;
        Scan done;
        for (;;) {
            auto passed = scanner.pass(lines);
            if (!passed) {
                const Start& broken = scanner.start();
                BW_TRY_VOID(lines.rewind_to(broken.mark));
                BW_TRY_VOID(
                    read_frame(lines, broken, FrameContext{done.frames + 1, done.frames > 0}));
                return tl::unexpected(std::move(passed).error());
            }
            if (!*passed) return done;
            ++done.frames;
            if (target == 0 || done.frames == target) done.kept = scanner.start();
        }
    };
    BW_TRY(Scan found, scan(wanted > 0 ? static_cast<std::uint64_t>(wanted) : 0));
    if (found.frames == 0) {
        // Whatever the file holds is not a frame: read as one, it says why.
        BW_TRY_VOID(lines.rewind_to({}));
        return read_frame(lines, Start{}, FrameContext{});
    }
    const std::int64_t frames = static_cast<std::int64_t>(found.frames);
    const std::int64_t number = wanted > 0 ? wanted : frames + wanted + 1;
    if (number < 1 || number > frames) return no_such_frame(lines, found.frames, wanted);
    if (wanted < -1) {
        // The start of a frame counted from the end is known once all are counted: a second
        // pass finds it, where keeping the starts of the last frames would cost memory.
        BW_TRY_VOID(lines.rewind_to({}));
        BW_TRY(found, scan(static_cast<std::uint64_t>(number)));
    }
    BW_TRY_VOID(lines.rewind_to(found.kept->mark));
    const FrameContext context{static_cast<std::uint64_t>(number), found.frames > 1};
    BW_TRY(CoordinateFile file, read_frame(lines, *found.kept, context));
    if (context.several) {
        if (!file.frame) file.frame.emplace();
        file.frame->number = context.number;
        file.frame->count = found.frames;
    } else {
        file.frame.reset();
    }
    return file;
}

}  // namespace boxwright::coords
