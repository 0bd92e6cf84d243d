// Golden-file comparison for the writers: a text is compared whole with a file under
// tests/data/golden/, a mismatch prints a line diff a person can read, and UPDATE_GOLDEN=1
// rewrites the file instead (review the change with git diff before committing it).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace boxwright::test {

inline std::string golden_path(std::string_view name) {
    return std::string(TEST_DATA_DIR) + "/golden/" + std::string(name);
}

inline std::vector<std::string_view> split_lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        auto end = text.find('\n');
        lines.push_back(text.substr(0, end == std::string_view::npos ? text.size() : end + 1));
        text.remove_prefix(lines.back().size());
    }
    return lines;
}

// A line with its invisible characters shown: a missing final newline, CRs and tabs.
inline std::string visible(std::string_view line) {
    std::string out;
    bool ends_in_newline = !line.empty() && line.back() == '\n';
    if (ends_in_newline) line.remove_suffix(1);
    for (char ch : line) {
        if (ch == '\r')
            out += "\\r";
        else if (ch == '\t')
            out += "\\t";
        else
            out += ch;
    }
    if (!ends_in_newline) out += "\\ (no newline at end)";
    return out;
}

// "-" lines are only in the golden file, "+" lines only in the actual text; two lines of context.
inline std::string line_diff(std::string_view expected, std::string_view actual) {
    auto a = split_lines(expected);
    auto b = split_lines(actual);
    if (a.size() * b.size() > 4'000'000) return "(texts too long for a line diff)\n";
    // Longest common subsequence lengths of the suffixes.
    std::vector<std::vector<std::size_t>> lcs(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = a.size(); i-- > 0;) {
        for (std::size_t j = b.size(); j-- > 0;) {
            lcs[i][j] =
                a[i] == b[j] ? lcs[i + 1][j + 1] + 1 : std::max(lcs[i + 1][j], lcs[i][j + 1]);
        }
    }
    struct Op {
        char kind;
        std::size_t line;  // 1-based in the golden file for ' ' and '-', in the actual text for '+'
        std::string_view text;
    };
    std::vector<Op> ops;
    std::size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        if (i < a.size() && j < b.size() && a[i] == b[j]) {
            ops.push_back({' ', i + 1, a[i]}), ++i, ++j;
        } else if (j < b.size() && (i == a.size() || lcs[i][j + 1] >= lcs[i + 1][j])) {
            ops.push_back({'+', j + 1, b[j]}), ++j;
        } else {
            ops.push_back({'-', i + 1, a[i]}), ++i;
        }
    }
    std::ostringstream out;
    std::size_t last_printed = 0;
    bool printed_any = false;
    for (std::size_t n = 0; n < ops.size(); ++n) {
        auto near_change = [&] {
            for (std::size_t m = n >= 2 ? n - 2 : 0; m < std::min(ops.size(), n + 3); ++m) {
                if (ops[m].kind != ' ') return true;
            }
            return false;
        };
        if (!near_change()) continue;
        if (printed_any && n > last_printed + 1) out << "  ...\n";
        out << ops[n].kind << ' ' << ops[n].line << ": " << visible(ops[n].text) << '\n';
        last_printed = n;
        printed_any = true;
    }
    return out.str();
}

inline ::testing::AssertionResult matches_golden(std::string_view name, std::string_view actual) {
    const std::string path = golden_path(name);
    const char* update = std::getenv("UPDATE_GOLDEN");
    if (update != nullptr && std::string_view(update) == "1") {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << actual;
        if (!out) return ::testing::AssertionFailure() << "cannot rewrite " << path;
        return ::testing::AssertionSuccess() << "rewrote " << path;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return ::testing::AssertionFailure()
               << "golden file " << path << " is missing; run with UPDATE_GOLDEN=1 to create it";
    }
    std::string expected((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (expected == actual) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "text differs from " << path << " (- golden, + actual; rerun with UPDATE_GOLDEN=1 "
           << "to accept it):\n"
           << line_diff(expected, actual);
}

}  // namespace boxwright::test
