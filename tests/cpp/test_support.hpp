// Helpers shared by the C++ test suites: a temporary directory that removes itself, whole-file
// reads and writes, environment guards, a failure's message, golden-file comparison, and the small
// in-memory systems the writer tests build on.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <string>
#include <string_view>

#include "base/error.hpp"
#include "ff/force_field.hpp"
#include "ff/molecule.hpp"
#include "lammps/resolved.hpp"
#include "pipeline/build.hpp"
#include "pipeline/contact.hpp"
#include "pipeline/output_set.hpp"
#include "pipeline/report.hpp"
#include "pipeline/system.hpp"

namespace boxwright::test {

// Writes `contents` to `path` as is, creating missing parent directories.
inline void write_file(const std::string& path, std::string_view contents) {
    auto parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    if (!out) ADD_FAILURE() << "cannot write test file " << path;
}

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) ADD_FAILURE() << "cannot read test file " << path;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The file's contents, or an empty string when it cannot be read.
inline std::string read_file_if_any(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A fresh directory under TMPDIR (else /tmp), removed with everything in it on destruction.
class TempDir {
  public:
    TempDir() {
        const char* base = std::getenv("TMPDIR");
        path_ = std::string(base && *base ? base : "/tmp") + "/boxwright-test-XXXXXX";
        if (::mkdtemp(path_.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed for " << path_;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(std::string_view relative) const {
        return path_ + "/" + std::string(relative);
    }
    // Writes `contents` to `relative` inside the directory and returns its path.
    std::string write(std::string_view relative, std::string_view contents) const {
        write_file(file(relative), contents);
        return file(relative);
    }

  private:
    std::string path_;
};

inline std::ptrdiff_t entries_in(const std::string& dir) {
    return std::distance(std::filesystem::directory_iterator(dir),
                         std::filesystem::directory_iterator());
}

inline std::string data_path(std::string_view relative) {
    return std::string(TEST_DATA_DIR) + "/" + std::string(relative);
}
inline std::string example_path(std::string_view relative) {
    return std::string(EXAMPLES_DIR) + "/" + std::string(relative);
}

// `text` with every occurrence of `from` replaced by `to`.
inline std::string replace_all(std::string text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// The failure's message, or "<success>": lets EXPECT_EQ compare the exact text either way.
template <class T>
std::string error_of(const Result<T>& result) {
    return result ? std::string("<success>") : result.error().message;
}

// Sets an environment variable until the guard goes away.
class ScopedEnv {
  public:
    ScopedEnv(std::string name, const std::string& value) : name_(std::move(name)) {
        if (const char* old = std::getenv(name_.c_str())) old_ = old;
        ::setenv(name_.c_str(), value.c_str(), 1);
    }
    ~ScopedEnv() { old_ ? ::setenv(name_.c_str(), old_->c_str(), 1) : ::unsetenv(name_.c_str()); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name_;
    std::optional<std::string> old_;
};

// A PATH that finds `script` as packmol in `bin` before the system's programs, or with no script,
// a PATH of `bin` alone, where there is no packmol at all.
inline ScopedEnv packmol_on_path(const TempDir& bin, const std::optional<std::string>& script) {
    if (!script) return ScopedEnv("PATH", bin.path());
    ::chmod(bin.write("packmol", "#!/bin/sh\n" + *script).c_str(), 0755);
    return ScopedEnv("PATH", bin.path() + ":" + std::getenv("PATH"));
}

// The working directory's random name made fixed, so that messages can be compared whole.
inline std::string with_fixed_work_dir(const std::string& text) {
    return std::regex_replace(text, std::regex(R"(/\.tmp[A-Za-z0-9]{6}/)"), "/.tmpXXXXXX/");
}

// Alive, as opposed to gone or a zombie that its new parent has not reaped yet.
inline bool process_runs(pid_t pid) {
    const std::string stat = read_file_if_any("/proc/" + std::to_string(pid) + "/stat");
    const auto state = stat.rfind(") ");
    return state != std::string::npos && stat[state + 2] != 'Z' && stat[state + 2] != 'X';
}

// Compares `actual` whole with tests/data/golden/<name> (GoogleTest shows a line diff on a
// mismatch); UPDATE_GOLDEN=1 rewrites the file instead, for review with git diff.
inline void expect_golden(std::string_view name, const std::string& actual) {
    const std::string path = data_path("golden/" + std::string(name));
    const char* update = std::getenv("UPDATE_GOLDEN");
    if (update != nullptr && std::string_view(update) == "1") return write_file(path, actual);
    EXPECT_EQ(read_file(path), actual) << "differs from " << path << " (UPDATE_GOLDEN=1 rewrites)";
}

// --- small systems for the writers ----------------------------------------------------------

// Sources with CRLF line ends, a repeated text and an empty one; H has no self interaction.
inline ForceField test_force_field() {
    const std::string trappe = "TraPPE-UA alkanes\nMartin, Siepmann 1998";
    ForceField ff;
    ff.mixing_rule = "Lorentz-Berthelot";
    ff.pseudo_atoms["O"] = {
        15.9994, -0.8476, 78.0, 3.166, {"SPC/E water\r\nBerendsen, Grigera, Straatsma 1987\r\n"}};
    ff.pseudo_atoms["H"] = {1.008, 0.4238, 0, 0, {}};
    ff.pseudo_atoms["CH3"] = {15.035, 0, 98.0, 3.75, {trappe, ""}};
    ff.pseudo_atoms["CH2"] = {14.027, 0, 46.0, 3.95, {trappe}};
    ff.pseudo_atoms["Ar"] = {39.948, 0, 119.8, 3.4, {}};
    return ff;
}

inline Molecule make_molecule(std::string name, std::vector<PseudoAtom> atoms,
                              std::vector<Bond> connectivity = {}, bool rigid = false) {
    Molecule m;
    m.name = std::move(name);
    m.pseudo_atoms = std::move(atoms);
    m.connectivity = std::move(connectivity);
    m.rigid = rigid;
    return m;
}

// The end-to-end fixtures: water rigid without entries (its bonds and angle resolve to placeholders
// from the geometry), butane flexible with the TraPPE-UA entries in kelvin.
inline Molecule water_molecule() { return *Molecule::load(data_path("e2e/water.json")); }
inline Molecule butane_molecule() { return *Molecule::load(data_path("e2e/butane.json")); }
inline Molecule argon_molecule() { return make_molecule("argon", {{"Ar", {0, 0, 0}}}); }
// The water fixture with its own bonded terms, and not rigid.
inline Molecule flexible_water() {
    Molecule m = water_molecule();
    m.rigid = false;
    m.bonds = {{{"O", "H"}, "HARMONIC", {1000, 0.9572}}};
    m.bends = {{{"H", "O", "H"}, "HARMONIC", {100, 104.52}}};
    return m;
}

// The species of a build, each resolved as a build resolves it. The deque keeps every Molecule in
// place for its resolution to point at.
struct Species {
    std::deque<Molecule> molecules;
    ActiveList active;

    // Returns the resolution, for tests that write its elements by hand.
    ResolvedMolecule& add(Molecule molecule, std::uint64_t count) {
        molecules.push_back(std::move(molecule));
        auto resolved = resolve_molecule(molecules.back());
        EXPECT_TRUE(resolved) << resolved.error().message;
        active.push_back({resolved.value_or(ResolvedMolecule{}), count});
        return active.back().resolved;
    }
};

// Every copy at its molecule's reference positions, the copies 5 Å apart along x, in system order.
inline std::vector<Position> copy_positions(const ActiveList& active) {
    std::vector<Position> positions;
    double shift = 0;
    for (const auto& pair : active) {
        for (std::uint64_t copy = 0; copy < pair.count; ++copy, shift += 5) {
            for (const auto& atom : pair.resolved.molecule->pseudo_atoms) {
                positions.push_back({atom.position[0] + shift, atom.position[1], atom.position[2]});
            }
        }
    }
    return positions;
}

// --- whole builds of in-memory species ------------------------------------------------------

// The last steps of a build (types numbered, output set written, report made) for species held in
// memory, as run_build takes them after its placement. `request` gives the output options; a
// packing as its placement makes the positions count as packed, with its tolerance.
struct TestBuild : Species {
    ForceField ff = test_force_field();
    BuildRequest request;
    std::vector<std::string> skipped;
    std::optional<std::string> packing_note;  // as a Packmol run that failed would report it
    std::optional<SplitPacking> split;
    double box = 30;
    Watch watch;

    // Without `positions`, every copy sits at its reference positions.
    Result<BuildReport> run(std::string out_dir,
                            std::optional<std::vector<Position>> positions = {}) const {
        Diagnostics diagnostics;
        auto species = number_types(active, ff, diagnostics, placeholder_level(request));
        if (!species) return tl::unexpected(species.error());
        if (packing_note) diagnostics.warn(DiagnosticKind::PackingStatus, *packing_note);
        const ResolvedSystem system{LoadedSpecies{ff, {}, {}, skipped}, std::move(*species),
                                    request.pair_setup};
        auto r = request;
        r.out_dir = std::move(out_dir);
        const auto at = positions ? std::move(*positions) : copy_positions(active);
        PlacedAtoms placed{{}, std::span<const Position>(at), box, split};
        if (const auto* packing = std::get_if<PackmolPlacement>(&request.placement)) {
            placed.packing = {packing->tolerance,
                              closest_between_molecules(active, placed.positions(), box)};
        }
        return finish_build(r, system, placed, std::move(diagnostics), watch);
    }
};

}  // namespace boxwright::test
