// closest_contact on a million atoms (333,333 three-site molecules plus one atom): a liquid spread
// evenly over a 215 Å box, and the same atoms crowded into a tenth of the box edge, as coordinates
// given in nm where Å belong would be. Run with
//   build/closest_contact_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "geometry/closest_contact.hpp"

namespace boxwright {
namespace {

constexpr std::uint64_t ATOMS = 1'000'000;
constexpr double EDGE = 215.0;  // about 0.1 atoms per Å³

std::vector<std::array<double, 3>> positions_within(double extent) {
    std::mt19937_64 engine(7);
    std::uniform_real_distribution<double> axis(0, extent);
    std::vector<std::array<double, 3>> positions(ATOMS);
    for (auto& p : positions) p = {axis(engine), axis(engine), axis(engine)};
    return positions;
}

void run(benchmark::State& state, double extent) {
    const auto positions = positions_within(extent);
    const std::vector<MoleculeRun> runs{{3, ATOMS / 3}, {1, ATOMS % 3}};
    for (auto _ : state) benchmark::DoNotOptimize(closest_contact(positions, EDGE, runs));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * ATOMS));
}

void BM_liquid(benchmark::State& state) { run(state, EDGE); }
void BM_crowded_corner(benchmark::State& state) { run(state, EDGE / 10); }

BENCHMARK(BM_liquid)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_crowded_corner)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace boxwright

BENCHMARK_MAIN();
