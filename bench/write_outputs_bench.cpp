// write_lammps_outputs on a million atoms (250,000 four-site flexible chains with bonds, angles
// and dihedrals), against a floor: the same numbers formatted with std::to_chars into one buffer
// and the same number of bytes written with one write. Run with
//   build/write_outputs_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "ff/force_field.hpp"
#include "ff/molecule.hpp"
#include "lammps/resolved.hpp"
#include "pipeline/output_set.hpp"

namespace boxwright {
namespace {

constexpr std::uint64_t CHAINS = 250'000;
constexpr std::size_t SITES = 4;

struct Chains {
    ForceField force_field;
    Molecule chain;
    std::optional<ResolvedSystem> system;
    std::vector<Position> coordinates;
    std::string dir;
    BuildRequest request;

    Chains() {
        force_field.pseudo_atoms["CH3"] = {15.035, 0, 98.0, 3.75, {"TraPPE-UA"}};
        force_field.pseudo_atoms["CH2"] = {14.027, 0, 46.0, 3.95, {"TraPPE-UA"}};
        chain.name = "butane";
        chain.pseudo_atoms = {{"CH3", {0, 0, 0}},
                              {"CH2", {1.54, 0, 0}},
                              {"CH2", {2.0, 1.46, 0}},
                              {"CH3", {3.54, 1.46, 0}}};
        chain.connectivity = {{0, 1}, {1, 2}, {2, 3}};

        ResolvedMolecule resolved;
        resolved.molecule = &chain;
        resolved.bonds = {{{0, 1}, {{"CH3", "CH2"}, 95.88259782, 1.54, false}},
                          {{1, 2}, {{"CH2", "CH2"}, 95.88259782, 1.54, false}},
                          {{2, 3}, {{"CH2", "CH3"}, 95.88259782, 1.54, false}}};
        resolved.angles = {{{0, 1, 2}, {{"CH3", "CH2", "CH2"}, 62.100128125, 114, false}},
                           {{1, 2, 3}, {{"CH2", "CH2", "CH3"}, 62.100128125, 114, false}}};
        resolved.dihedrals = {
            {{0, 1, 2, 3}, {{"CH3", "CH2", "CH2", "CH3"}, 1.41103414, -0.2710149, 3.1450287, 0}}};
        ActiveList active;
        active.push_back({std::move(resolved), CHAINS});
        Diagnostics ignored;
        auto species = number_types(std::move(active), force_field, ignored);
        if (!species) std::abort();
        system.emplace(
            ResolvedSystem{{force_field, {}, {}, {}}, std::move(*species), PairSetup::LjCut});

        // Positions spread over a 250 Å box, as a packed system would have them.
        std::mt19937_64 engine(42);
        std::uniform_real_distribution<double> place(0.0, 250.0);
        coordinates.resize(CHAINS * SITES);
        for (auto& p : coordinates) p = {place(engine), place(engine), place(engine)};

        char pattern[] = "/tmp/write_outputs_benchXXXXXX";
        if (::mkdtemp(pattern) == nullptr) std::abort();
        dir = pattern;
        request.out_dir = dir;

        // One untimed build first: on a virtual machine the first touch of memory freshly handed
        // back by the host costs more than the work measured here, and it would land in
        // whichever benchmark runs first.
        if (!write()) std::abort();
    }

    Result<void> write() const {
        return write_lammps_outputs(*system, {{}, std::span<const Position>(coordinates), 250.0},
                                    request, {});
    }
    ~Chains() { std::filesystem::remove_all(dir); }
};

Chains& chains() {
    static Chains system;
    return system;
}

std::uint64_t output_bytes() {
    auto& s = chains();
    return std::filesystem::file_size(s.dir + "/data.lmp") +
           std::filesystem::file_size(s.dir + "/forcefield.lmp");
}

void BM_WriteLammpsOutputs(benchmark::State& state) {
    auto& s = chains();
    for (auto _ : state) {
        auto written = s.write();
        if (!written) state.SkipWithError(written.error().message.c_str());
        benchmark::DoNotOptimize(written);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * output_bytes()));
}

// The least any writer of these files must do: every number through std::to_chars into one
// buffer, then one write of as many bytes as the real files hold.
void BM_FormattingFloor(benchmark::State& state) {
    auto& s = chains();
    const std::uint64_t bytes = output_bytes();  // of the warm-up build
    const std::string path = s.dir + "/floor.out";
    // Allocated and touched once, outside the timing: the floor pays no page faults for it.
    std::unique_ptr<char[]> buffer(new char[bytes]);
    std::memset(buffer.get(), ' ', bytes);
    for (auto _ : state) {
        char* p = buffer.get();
        char* const end = p + bytes;
        auto put = [&](auto value) {
            p = std::to_chars(p, end, value).ptr;
            *p++ = ' ';
        };
        auto put_float = [&](double value, std::chars_format format) {
            p = std::to_chars(p, end, value, format, 6).ptr;
            *p++ = ' ';
        };
        std::uint64_t id = 0;
        for (std::uint64_t copy = 0; copy < CHAINS; ++copy) {
            for (std::size_t atom = 0; atom < SITES; ++atom) {
                put(++id);
                put(copy + 1);
                put(atom == 0 || atom == 3 ? 1 : 2);
                put_float(0.0, std::chars_format::fixed);
                const Position& position = s.coordinates[copy * SITES + atom];
                for (double x : position) put_float(x, std::chars_format::scientific);
                *p++ = '\n';
            }
        }
        for (const auto& topology : {std::pair{3, 2}, std::pair{2, 3}, std::pair{1, 4}}) {
            auto [per_chain, atoms] = topology;
            id = 0;
            for (std::uint64_t copy = 0; copy < CHAINS; ++copy) {
                for (int element = 0; element < per_chain; ++element) {
                    put(++id);
                    put(element + 1);
                    for (int atom = 0; atom < atoms; ++atom) put(copy * SITES + element + atom + 1);
                    *p++ = '\n';
                }
            }
        }
        std::memset(p, ' ', static_cast<std::size_t>(end - p));
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        const char* out = buffer.get();
        for (std::uint64_t left = bytes; left > 0;) {
            ssize_t written = ::write(fd, out, left);
            if (written <= 0) std::abort();
            out += written;
            left -= static_cast<std::uint64_t>(written);
        }
        ::close(fd);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

BENCHMARK(BM_WriteLammpsOutputs)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FormattingFloor)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace boxwright

BENCHMARK_MAIN();
