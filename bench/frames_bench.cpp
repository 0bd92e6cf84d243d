// The last frame of a trajectory against a file of that frame alone, for bench/frames_bench.py,
// which starts this program once per measurement so that every read runs in a fresh process:
//
//   frames_bench write DIR ATOMS FRAMES
//       writes DIR/one.dump, DIR/many.dump, DIR/one.pdb and DIR/many.pdb: ATOMS argon atoms in
//       one frame, and in FRAMES frames whose last is the same as the one frame
//   frames_bench read FILE ATOMS
//       reads the last frame of FILE as a build does (names and types checked), timed
//
// `read` prints one JSON line: {"seconds": .., "cpu_seconds": .., "peak_bytes": .., "frame": ..,
// "frames": ..}. peak_bytes is the growth of the peak resident memory during the read.
#include <fmt/format.h>
#include <fmt/os.h>

#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <random>
#include <string>
#include <string_view>

#include "coords/coordinate_file.hpp"
#include "coords/expected_atoms.hpp"

namespace boxwright {
namespace {

[[noreturn]] void die(std::string_view message) {
    fmt::print(stderr, "frames_bench: {}\n", message);
    std::exit(2);
}

constexpr double EDGE = 220;  // Å: 10^6 argon atoms at about a liquid's density

// The resident set and its peak, in bytes, from /proc/self/status.
struct Resident {
    std::uint64_t now = 0, peak = 0;
};

Resident resident() {
    std::ifstream status("/proc/self/status");
    Resident r;
    for (std::string line; std::getline(status, line);) {
        auto read = [&](std::string_view key, std::uint64_t& out) {
            if (!line.starts_with(key)) return;
            std::uint64_t kib = 0;
            const auto digits = line.find_first_of("0123456789");
            std::from_chars(line.data() + digits, line.data() + line.size(), kib);
            out = kib * 1024;
        };
        read("VmRSS:", r.now);
        read("VmHWM:", r.peak);
    }
    return r;
}

// Starts a new peak at the current resident size.
void reset_peak() { std::ofstream("/proc/self/clear_refs") << "5"; }

double cpu_now() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

std::uint64_t number(const char* text) {
    std::uint64_t value = 0;
    const std::string_view s(text);
    if (std::from_chars(s.data(), s.data() + s.size(), value).ec != std::errc{}) {
        die(fmt::format("not a number: {}", s));
    }
    return value;
}

// Frame k's positions: the same random draw for every file, moved a little from frame to frame,
// so the last frame of a trajectory is the one frame of the short file.
template <class Atom>
void each_atom(std::uint64_t atoms, std::uint64_t k, std::uint64_t last, Atom atom) {
    std::mt19937_64 random(42);
    std::uniform_real_distribution<double> inside(0, EDGE);
    const double shift = static_cast<double>(last - k) * 0.01;
    for (std::uint64_t i = 0; i < atoms; ++i) {
        const double x = inside(random), y = inside(random), z = inside(random);
        atom(i, x + shift, y, z);
    }
}

void write_dump(const std::string& path, std::uint64_t atoms, std::uint64_t frames) {
    auto out = fmt::output_file(path);
    for (std::uint64_t k = 1; k <= frames; ++k) {
        out.print(
            "ITEM: TIMESTEP\n{}\nITEM: NUMBER OF ATOMS\n{}\nITEM: BOX BOUNDS pp pp pp\n"
            "0 {}\n0 {}\n0 {}\nITEM: ATOMS id type x y z\n",
            k * 1000, atoms, EDGE, EDGE, EDGE);
        each_atom(atoms, k, frames, [&](std::uint64_t i, double x, double y, double z) {
            out.print("{} 1 {:g} {:g} {:g}\n", i + 1, x, y, z);  // LAMMPS's default %g
        });
    }
}

void write_pdb(const std::string& path, std::uint64_t atoms, std::uint64_t frames) {
    auto out = fmt::output_file(path);
    out.print("CRYST1{:9.3f}{:9.3f}{:9.3f}  90.00  90.00  90.00 P 1           1\n", EDGE, EDGE,
              EDGE);
    for (std::uint64_t k = 1; k <= frames; ++k) {
        out.print("MODEL     {:4}\n", k);
        each_atom(atoms, k, frames, [&](std::uint64_t i, double x, double y, double z) {
            out.print(
                "HETATM{:5} Ar   Ar  A   1    {:8.3f}{:8.3f}{:8.3f}  1.00  0.00          Ar\n",
                (i + 1) % 100000, x, y, z);
        });
        out.print("ENDMDL\n");
    }
    out.print("END\n");
}

int read(const std::string& path, std::uint64_t atoms) {
    Molecule argon;
    argon.name = "argon";
    argon.pseudo_atoms.push_back({"Ar", {0, 0, 0}});
    const auto expected = ExpectedAtoms::of({{&argon, atoms}});
    if (!expected) die(expected.error().message);
    CoordinateReadOptions options;
    options.atom_type = [](const std::string&) -> std::uint64_t { return 1; };
    const Resident before = resident();
    reset_peak();
    const double cpu = cpu_now();
    const auto wall = std::chrono::steady_clock::now();
    const auto file = read_coordinate_file(path, *expected, options);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
    const double cpu_seconds = cpu_now() - cpu;
    if (!file) die(file.error().message);
    const Resident after = resident();
    fmt::print(
        "{{\"seconds\": {}, \"cpu_seconds\": {}, \"peak_bytes\": {}, \"frame\": {}, "
        "\"frames\": {}}}\n",
        seconds, cpu_seconds, after.peak - before.now, file->frame ? file->frame->number : 1,
        file->frame ? file->frame->count : 1);
    return 0;
}

}  // namespace
}  // namespace boxwright

int main(int argc, char** argv) {
    using namespace boxwright;
    const std::string_view mode = argc > 1 ? argv[1] : "";
    if (mode == "write" && argc == 5) {
        const std::string dir = argv[2];
        const std::uint64_t atoms = number(argv[3]), frames = number(argv[4]);
        write_dump(dir + "/one.dump", atoms, 1);
        write_dump(dir + "/many.dump", atoms, frames);
        write_pdb(dir + "/one.pdb", atoms, 1);
        write_pdb(dir + "/many.pdb", atoms, frames);
        return 0;
    }
    if (mode == "read" && argc == 4) return read(argv[2], number(argv[3]));
    die("usage: frames_bench write DIR ATOMS FRAMES | frames_bench read FILE ATOMS");
}
