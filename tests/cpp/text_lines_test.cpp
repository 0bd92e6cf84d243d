#include "base/text_lines.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "test_support.hpp"

namespace boxwright {
namespace {

std::vector<std::string> split_in_memory(std::string_view text) {
    std::vector<std::string> lines;
    for (std::string_view rest = text; !rest.empty();) lines.emplace_back(take_line(rest));
    return lines;
}

// The file's lines, read twice through one reader with a rewind between: both passes alike.
std::vector<std::string> read_all(const std::string& path) {
    std::vector<std::string> passes[2];
    auto reader = LineReader::open(path);
    EXPECT_TRUE(reader) << reader.error().message;
    for (auto& lines : passes) {
        for (;;) {
            auto line = reader->next();
            EXPECT_TRUE(line) << line.error().message;
            if (!line || !*line) break;
            lines.emplace_back(**line);
            EXPECT_EQ(reader->line_number(), lines.size());
        }
        EXPECT_TRUE(reader->rewind());
    }
    EXPECT_EQ(passes[0], passes[1]);
    return passes[0];
}

// The buffer holds a megabyte: lines that straddle its end, one that fills it, CRLF endings split
// between two reads, and a last line without a line feed that keeps its carriage return.
TEST(LineReader, SplitsLikeTheInMemoryRuleAcrossBufferEnds) {
    std::string text;
    for (std::size_t i = 0; text.size() < (std::size_t{5} << 20) / 2; ++i) {
        text += std::string(i % 97, 'a' + static_cast<char>(i % 26)) + (i % 3 ? "\r\n" : "\n");
    }
    text += std::string((std::size_t{1} << 20) - 1, 'L') + "\n\n\r\nend\r";
    test::TempDir dir;
    const auto lines = read_all(dir.write("lines.txt", text));
    EXPECT_EQ(lines, split_in_memory(text));
    EXPECT_EQ(lines.back(), "end\r");
    EXPECT_EQ(read_all(dir.write("empty.txt", "")), std::vector<std::string>{});
    EXPECT_EQ(read_all(dir.write("one.txt", "\n")), std::vector<std::string>{""});
}

// A mark taken anywhere, also past several refills of the buffer, brings the reader back to that
// line with its number; the start of the file is the default mark.
TEST(LineReader, ComesBackToAMarkedLine) {
    std::string text;
    for (std::size_t i = 0; text.size() < (std::size_t{3} << 20); ++i) {
        text += std::to_string(i) + std::string(i % 200, 'x') + (i % 2 ? "\r\n" : "\n");
    }
    test::TempDir dir;
    auto reader = *LineReader::open(dir.write("lines.txt", text));
    const auto expected = split_in_memory(text);
    std::vector<std::pair<LineReader::Mark, std::size_t>> marks = {{{}, 0}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        ASSERT_TRUE(reader.next().value().has_value());
        if (i % 5000 == 4999) marks.emplace_back(reader.mark(), i);
    }
    for (const auto& [mark, index] : marks) {
        SCOPED_TRACE(index);
        ASSERT_TRUE(reader.rewind_to(mark));
        for (std::size_t i = index; i < std::min(index + 3, expected.size()); ++i) {
            const auto line = reader.next();
            ASSERT_TRUE(line && *line);
            EXPECT_EQ(**line, expected[i]);
            EXPECT_EQ(reader.line_number(), i + 1);
        }
    }
}

TEST(LineReader, RefusalsNameTheFileAndTheLine) {
    test::TempDir dir;
    const auto path = dir.write("bad.txt", "fine\n\xC3\x85 fine too\nbad \xC3(\nnever read\n");
    auto reader = LineReader::open(path);
    ASSERT_TRUE(reader);
    EXPECT_TRUE(reader->next() && reader->next());
    EXPECT_EQ(test::error_of(reader->next()), path + ":3: the text is not UTF-8");
    auto long_line = LineReader::open(dir.write("long.txt", "x\n" + std::string(1 << 20, 'L')));
    EXPECT_TRUE(long_line->next());
    EXPECT_EQ(test::error_of(long_line->next()),
              dir.file("long.txt") + ":2: the line is longer than the limit of 1 MiB");
    EXPECT_EQ(test::error_of(LineReader::open(dir.path())),
              "reading " + dir.path() + ": Is a directory (os error 21)");
    // A FIFO nobody writes to would block the read for ever.
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    EXPECT_EQ(test::error_of(LineReader::open(dir.file("fifo"))),
              "reading " + dir.file("fifo") + ": not a regular file");
}

}  // namespace
}  // namespace boxwright
