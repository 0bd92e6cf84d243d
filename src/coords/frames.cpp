#include "coords/frames.hpp"

#include "coords/coordinate_text.hpp"

namespace boxwright::coords {

tl::unexpected<FfError> no_such_frame(const LineReader& lines, std::uint64_t frames,
                                      std::int64_t choice) {
    return fail("{} has {} frame{}, so frame {} cannot be read", lines.shown_path(), frames,
                frames == 1 ? "" : "s", choice);
}

Result<std::optional<std::string_view>> LineFrameScanner::frame_start(LineReader& lines) {
    std::optional<std::string_view> line;
    do {
        BW_TRY(line, lines.next());
        if (!line) return std::nullopt;
    } while (started_ && trim_blanks(*line).empty());  // the first frame starts at once
    started_ = true;
    start_.mark = lines.mark();
    return line;
}

Result<bool> LineFrameScanner::skip_lines(LineReader& lines, std::uint64_t count) {
    for (std::uint64_t n = 0; n < count; ++n) {
        BW_TRY(auto line, lines.next());
        if (!line) return false;
    }
    return true;
}

}  // namespace boxwright::coords
