// One measured call on a water + n-butane system of a given size, for bench/scale_bench.py, which
// starts this program once per repetition so that every call runs in a fresh process:
//
//   coords_scale_bench write ATOMS EXAMPLES_DIR OUT_DIR
//       load_molecules -> resolve_active untimed, then write_lammps_outputs timed
//   coords_scale_bench floor ATOMS EXAMPLES_DIR OUT_DIR BYTES
//       the floor: every number of data.lmp through std::to_chars, and BYTES bytes (the size of
//       the real files) written in pieces of 1 MB, as the data-file writer writes
//
// It prints one JSON line: {"seconds": .., "cpu_seconds": .., "peak_bytes": .., "file_bytes": ..}.
// peak_bytes is the growth of the peak resident memory during the call, beyond the system already
// in memory.
#include <fcntl.h>
#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pipeline/output_set.hpp"
#include "pipeline/system.hpp"

namespace boxwright {
namespace {

[[noreturn]] void die(std::string_view message) {
    fmt::print(stderr, "coords_scale_bench: {}\n", message);
    std::exit(2);
}

// The resident set and its peak, in bytes, from /proc/self/status.
struct Resident {
    std::uint64_t now = 0, peak = 0;
};

Resident resident() {
    std::ifstream status("/proc/self/status");
    Resident r;
    for (std::string line; std::getline(status, line);) {
        std::uint64_t kib = 0;
        auto read = [&](std::string_view key, std::uint64_t& out) {
            if (!line.starts_with(key)) return;
            auto digits = line.find_first_of("0123456789");
            std::from_chars(line.data() + digits, line.data() + line.size(), kib);
            out = kib * 1024;
        };
        read("VmRSS:", r.now);
        read("VmHWM:", r.peak);
    }
    return r;
}

// Starts a new peak at the current resident size; without it the peak so far stands.
void reset_peak() { std::ofstream("/proc/self/clear_refs") << "5"; }

// Wall-clock and processor time of one call; on a shared machine the two tell load from work.
struct Timing {
    double seconds = 0, cpu_seconds = 0;
};

double cpu_now() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

class Stopwatch {
  public:
    Timing elapsed() const {
        const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wall_;
        return {wall.count(), cpu_now() - cpu_};
    }

  private:
    std::chrono::steady_clock::time_point wall_ = std::chrono::steady_clock::now();
    double cpu_ = cpu_now();
};

// The system of the Python benchmark: waters then butanes on a cubic lattice of molecule sites
// 6 Å apart, ATOMS atoms in all (ATOMS a multiple of 4).
struct System {
    std::optional<ResolvedSystem> resolved;
    std::vector<std::uint64_t> counts;
    std::vector<Position> coordinates;
    double box_length = 0;
};

constexpr double SPACING = 6.0;

System make_system(std::uint64_t atoms, const std::string& examples) {
    System s;
    const std::uint64_t waters = 4 * (atoms / 24);
    s.counts = {waters, (atoms - 3 * waters) / 4};
    const std::vector<std::string> species = {examples + "/water.json", examples + "/butane.json"};
    const BuildRequest request{.species = species,
                               .counts = s.counts,
                               .force_field = examples + "/force_field.json",
                               .out_dir = {},
                               .placement = {},
                               .pair_setup = PairSetup::LjCut};
    Diagnostics ignored;
    auto resolved = resolve_system(request, ignored);
    if (!resolved) die(resolved.error().what());
    s.resolved.emplace(std::move(*resolved));

    std::uint64_t side = 1;  // the smallest cube of sites that holds every molecule
    while (side * side * side < s.counts[0] + s.counts[1]) ++side;
    s.box_length = SPACING * static_cast<double>(side);
    s.coordinates.reserve(atoms);
    std::uint64_t site = 0;
    for (std::size_t k = 0; k < species.size(); ++k) {
        for (std::uint64_t copy = 0; copy < s.counts[k]; ++copy, ++site) {
            const double x = SPACING * static_cast<double>(site % side);
            const double y = SPACING * static_cast<double>(site / side % side);
            const double z = SPACING * static_cast<double>(site / side / side);
            for (const auto& atom : s.resolved->loaded.molecules[k].pseudo_atoms) {
                const Position& p = atom.position;
                s.coordinates.push_back({x + p[0], y + p[1], z + p[2]});
            }
        }
    }
    if (s.coordinates.size() != atoms) die("ATOMS must be a multiple of 4");
    return s;
}

std::uint64_t file_bytes(const std::string& out_dir) {
    return std::filesystem::file_size(out_dir + "/data.lmp") +
           std::filesystem::file_size(out_dir + "/forcefield.lmp");
}

Timing write_outputs(const System& s, const std::string& out_dir) {
    const Stopwatch stopwatch;
    BuildRequest request;
    request.out_dir = out_dir;
    auto written = write_lammps_outputs(
        *s.resolved, {{}, std::span<const Position>(s.coordinates), s.box_length}, request, {});
    const Timing took = stopwatch.elapsed();
    if (!written) die(written.error().what());
    return took;
}

// The floor's output, handed to write() in pieces as the data-file writer hands over its text.
class PieceFile {
  public:
    static constexpr std::size_t PIECE = std::size_t{1} << 20;
    static constexpr std::size_t LONGEST_LINE = 256;  // no line of the floor is longer

    explicit PieceFile(const std::string& path)
        : path_(path), fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)) {
        if (fd_ < 0) die("cannot open " + path);
    }
    ~PieceFile() { ::close(fd_); }

    char* begin() { return buffer_.get(); }
    char* end() { return buffer_.get() + PIECE + LONGEST_LINE; }
    // Called after each line: writes the buffer once it holds a piece; where the next line goes.
    char* line_done(char* p) {
        if (static_cast<std::size_t>(p - begin()) >= PIECE) p = flush(p);
        return p;
    }
    char* flush(char* p) {
        for (const char* out = begin(); out < p;) {
            const ssize_t written = ::write(fd_, out, static_cast<std::size_t>(p - out));
            if (written <= 0) die("cannot write " + path_);
            out += written;
            total_ += static_cast<std::uint64_t>(written);
        }
        return begin();
    }
    std::uint64_t total() const { return total_; }

  private:
    std::string path_;
    int fd_;
    std::unique_ptr<char[]> buffer_{new char[PIECE + LONGEST_LINE]};
    std::uint64_t total_ = 0;
};

// The least any writer of data.lmp must do: every integer and float of the file through
// std::to_chars, and `bytes` (the size of the real files) through write().
Timing formatting_floor(const System& s, const std::string& out_dir, std::uint64_t bytes) {
    const Stopwatch stopwatch;
    PieceFile file(out_dir + "/floor.out");
    char* p = file.begin();
    char* const end = file.end();
    auto put = [&](auto value) {
        p = std::to_chars(p, end, value).ptr;
        *p++ = ' ';
    };
    auto put_float = [&](double value, std::chars_format format) {
        p = std::to_chars(p, end, value, format, 6).ptr;
        *p++ = ' ';
    };
    auto new_line = [&] {
        *p++ = '\n';
        p = file.line_done(p);
    };
    std::uint64_t atom = 0, molecule = 0;
    for (const auto& pair : s.resolved->species.active) {
        const auto& atoms = pair.resolved.molecule->pseudo_atoms;
        for (std::uint64_t copy = 0; copy < pair.count; ++copy) {
            ++molecule;
            for (std::size_t a = 0; a < atoms.size(); ++a) {
                put(atom + 1);
                put(molecule);
                put(a + 1);
                put_float(0.0, std::chars_format::fixed);
                for (double x : s.coordinates[atom]) put_float(x, std::chars_format::scientific);
                new_line();
                ++atom;
            }
        }
    }
    auto put_elements = [&](auto elements_of) {
        std::uint64_t id = 0, first_atom = 1;
        for (const auto& pair : s.resolved->species.active) {
            const auto& elements = elements_of(pair.resolved);
            const auto per_copy = pair.resolved.molecule->pseudo_atoms.size();
            for (std::uint64_t copy = 0; copy < pair.count; ++copy, first_atom += per_copy) {
                for (std::size_t e = 0; e < elements.size(); ++e) {
                    put(++id);
                    put(e + 1);
                    for (auto index : elements[e].atoms) put(first_atom + index);
                    new_line();
                }
            }
        }
    };
    put_elements([](const ResolvedMolecule& m) -> const auto& { return m.bonds; });
    put_elements([](const ResolvedMolecule& m) -> const auto& { return m.angles; });
    put_elements([](const ResolvedMolecule& m) -> const auto& { return m.dihedrals; });
    p = file.flush(p);
    // The real files are longer (padding, names): write as many bytes as they hold.
    while (file.total() < bytes) {
        const auto gap = std::min<std::uint64_t>(bytes - file.total(), PieceFile::PIECE);
        std::memset(p, ' ', gap);
        p = file.flush(p + gap);
    }
    return stopwatch.elapsed();
}

std::uint64_t number(const char* text) {
    std::uint64_t value = 0;
    const std::string_view view(text);
    auto [ptr, error] = std::from_chars(view.data(), view.data() + view.size(), value);
    if (error != std::errc() || ptr != view.data() + view.size())
        die("not a number: " + std::string(view));
    return value;
}

int run(int argc, char** argv) {
    const std::string_view what = argc > 1 ? argv[1] : "";
    if (!((what == "write" && argc == 5) || (what == "floor" && argc == 6))) {
        die("usage: coords_scale_bench write ATOMS EXAMPLES_DIR OUT_DIR\n"
            "       coords_scale_bench floor ATOMS EXAMPLES_DIR OUT_DIR BYTES");
    }
    const System system = make_system(number(argv[2]), argv[3]);
    const std::string out_dir = argv[4];
    std::filesystem::create_directories(out_dir);

    reset_peak();
    const Resident before = resident();
    const Timing took = what == "write" ? write_outputs(system, out_dir)
                                        : formatting_floor(system, out_dir, number(argv[5]));
    const Resident after = resident();
    const std::uint64_t written =
        what == "write" ? file_bytes(out_dir) : std::filesystem::file_size(out_dir + "/floor.out");
    fmt::print("{{\"seconds\": {}, \"cpu_seconds\": {}, \"peak_bytes\": {}, \"file_bytes\": {}}}\n",
               took.seconds, took.cpu_seconds,
               after.peak > before.now ? after.peak - before.now : 0, written);
    return 0;
}

}  // namespace
}  // namespace boxwright

int main(int argc, char** argv) { return boxwright::run(argc, argv); }
