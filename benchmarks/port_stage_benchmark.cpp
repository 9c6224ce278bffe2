// The port stage at 1,000, 10,000 and 100,000 ports against as many entries.
// Run: build/linux/bin/port_stage_benchmark

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>

#include "ports/port_stage.h"
#include "support/fake_port_library.h"

using namespace ports;
using namespace testing_support;

namespace {

// Ports P0, P1... numbered in a shuffled order, RS-422 refused so that some
// lines are logged; the fake records nothing but a count.
FakePortLibrary library(std::int32_t count) {
    std::vector<std::int32_t> numbers(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i) numbers[static_cast<std::size_t>(i)] = i;
    std::shuffle(numbers.begin(), numbers.end(), std::mt19937(42));
    std::vector<FakePort> ports;
    for (std::int32_t i = 0; i < count; ++i) {
        std::u16string name = u"P";
        for (char c : std::to_string(i)) name.push_back(static_cast<char16_t>(c));
        ports.push_back(port(std::move(name), numbers[static_cast<std::size_t>(i)]));
    }
    FakePortLibrary library(std::move(ports));
    library.refusedMode = 1;
    library.recording = false;
    return library;
}

void portStage(benchmark::State& state) {
    const auto count = static_cast<std::int32_t>(state.range(0));
    FakePortLibrary ports = library(count);
    ModeTable table;
    for (std::int32_t i = 0; i < count; ++i) table.push_back(ModeEntry{(i * 7) % count, i % 2 ? 15 : 1});
    for (auto _ : state) {
        ModeTable working = table;
        base::RunLog log;
        const PortNameList names = enumeratePorts(ports);
        applyModes(ports, names, working, log);
        benchmark::DoNotOptimize(log.text().data());
    }
    state.SetItemsProcessed(state.iterations() * count);
}

} // namespace

BENCHMARK(portStage)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
