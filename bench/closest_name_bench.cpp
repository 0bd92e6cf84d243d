// closest_name, the "did you mean" of an undeclared pseudo atom, against declared names of one
// length: 100 names of 12 characters (a real force field), 2,000 of 60, 2,000 of 2,000 and one
// of 10,000, each time for the last declared name with its last character changed. Run with
//   build/closest_name_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "base/closest_name.hpp"

namespace boxwright {
namespace {

void declared_names(benchmark::State& state) {
    const auto count = static_cast<std::size_t>(state.range(0));
    const auto length = static_cast<std::size_t>(state.range(1));
    std::vector<std::string> names;
    for (std::size_t n = 0; n < count; ++n) {
        std::string name = std::to_string(n);
        names.push_back(std::string(length - name.size(), '0') + name);
    }
    const std::vector<std::string_view> known(names.begin(), names.end());
    std::string misspelt = names.back();
    misspelt.back() = 'x';
    for (auto _ : state) benchmark::DoNotOptimize(closest_name(misspelt, known));
}

BENCHMARK(declared_names)
    ->Args({100, 12})
    ->Args({2000, 60})
    ->Args({2000, 2000})
    ->Args({1, 10000})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace boxwright

BENCHMARK_MAIN();
