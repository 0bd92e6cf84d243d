// Our own time around Packmol: pack_system for 1,000 water molecules with the real packmol, and
// with a stand-in packmol that only copies a finished structure into place. The stand-in run is
// everything pack_system does itself (mass, templates, pack.inp, spawning and draining a child,
// reading the output) plus the start of a tiny shell script, so it bounds our overhead from above.
// Apart: reading a packed structure of a million atoms.
//
//   build/packmol_overhead_bench
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ff/force_field.hpp"
#include "ff/molecule.hpp"
#include "packmol/pack.hpp"
#include "packmol/pdb.hpp"
#include "packmol/process.hpp"
#include "pipeline/temp_dir.hpp"

namespace boxwright {
namespace {

constexpr std::uint64_t MOLECULES = 1000;

struct WaterBox {
    ForceField force_field;
    Molecule water;
    std::vector<CountedMolecule> species;

    WaterBox() {
        force_field.pseudo_atoms["O_w"].mass = 15.9994;
        force_field.pseudo_atoms["H_w"].mass = 1.008;
        water.name = "water";
        water.pseudo_atoms = {
            {"O_w", {0, 0, 0}}, {"H_w", {0.9572, 0, 0}}, {"H_w", {-0.24, 0.9266, 0}}};
        species.push_back({&water, MOLECULES});
    }
};

TempWorkDir make_dir() {
    auto dir = TempWorkDir::create();
    if (!dir) std::abort();
    return std::move(*dir);
}

// Packs once; the structure it leaves is what the stand-in later copies.
void BM_RealPackmol(benchmark::State& state) {
    WaterBox box;
    for (auto _ : state) {
        TempWorkDir work = make_dir();
        auto packed = pack_system(work.path(), box.species, box.force_field, 1000.0, 2.0);
        if (!packed || packed->note) state.SkipWithError("packmol failed");
        benchmark::DoNotOptimize(packed);
    }
}
BENCHMARK(BM_RealPackmol)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

class StandInPackmol {
  public:
    StandInPackmol() : bin_(make_dir()), old_path_(std::getenv("PATH")) {
        WaterBox box;
        TempWorkDir work = make_dir();
        if (!pack_system(work.path(), box.species, box.force_field, 1000.0, 2.0)) std::abort();
        std::string saved = bin_.path() + "/simbox.pdb";
        std::filesystem::copy_file(work.path() + "/simbox.pdb", saved);
        std::string script = bin_.path() + "/packmol";
        std::ofstream(script) << "#!/bin/sh\nwhile read -r key value; do\n"
                              << "  [ \"$key\" = output ] && exec cp '" << saved << "' \"$value\"\n"
                              << "done\n";
        ::chmod(script.c_str(), 0755);
        ::setenv("PATH", (bin_.path() + ":" + old_path_).c_str(), 1);
    }
    ~StandInPackmol() { ::setenv("PATH", old_path_.c_str(), 1); }

  private:
    TempWorkDir bin_;
    std::string old_path_;
};

void BM_OverheadWithStandIn(benchmark::State& state) {
    StandInPackmol stand_in;
    WaterBox box;
    for (auto _ : state) {
        TempWorkDir work = make_dir();
        auto packed = pack_system(work.path(), box.species, box.force_field, 1000.0, 2.0);
        if (!packed || packed->coordinates.size() != 3 * MOLECULES) {
            state.SkipWithError("stand-in run failed");
        }
        benchmark::DoNotOptimize(packed);
    }
}
BENCHMARK(BM_OverheadWithStandIn)->Unit(benchmark::kMillisecond)->UseRealTime();

// The stand-in child by itself, on the same job: subtracted from the run above, what remains is
// pack_system's own time.
void BM_StandInChildAlone(benchmark::State& state) {
    StandInPackmol stand_in;
    WaterBox box;
    TempWorkDir work = make_dir();
    if (!pack_system(work.path(), box.species, box.force_field, 1000.0, 2.0)) std::abort();
    std::string job = work.path() + "/pack.inp";
    for (auto _ : state) {
        UniqueFd input(::open(job.c_str(), O_RDONLY | O_CLOEXEC));
        auto child = run_to_completion({"packmol", input.get(), work.path()});
        if (!child || !child->succeeded()) state.SkipWithError("stand-in failed");
    }
}
BENCHMARK(BM_StandInChildAlone)->Unit(benchmark::kMillisecond)->UseRealTime();

// parse_packed_pdb on a million atom records as packmol writes them (some 80 MB): a first pass
// checks that the whole text is UTF-8, a second reads the atoms.
void BM_ReadPackedStructure(benchmark::State& state) {
    constexpr int ATOMS = 1'000'000;
    TempWorkDir work = make_dir();
    const std::string path = work.path() + "/simbox.pdb";
    {
        std::ofstream out(path);
        for (int i = 0; i < ATOMS; ++i) {
            out << fmt::format("HETATM{:>5} O    wat  {:>4}    {:8.3f}{:8.3f}{:8.3f}  1.00  0.00\n",
                               i % 100000, i / 3 % 10000, 0.001 * (i % 99991), 0.002 * (i % 49999),
                               0.003 * (i % 33331));
        }
        out << "END\n";
    }
    for (auto _ : state) {
        auto read = parse_packed_pdb(path);
        if (!read || read->size() != ATOMS) state.SkipWithError("reading failed");
        benchmark::DoNotOptimize(read);
    }
}
BENCHMARK(BM_ReadPackedStructure)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace boxwright

BENCHMARK_MAIN();
