// The port stage at 1,000, 10,000 and 100,000 ports against as many entries.
// Run: build/linux/bin/port_stage_benchmark

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <unordered_map>

#include "ports/port_stage.h"

namespace {

// An in-memory library whose own cost is small next to the stage's.
class MemoryLibrary final : public PortLibrary {
public:
    explicit MemoryLibrary(std::int32_t count) {
        std::vector<std::int32_t> numbers(static_cast<std::size_t>(count));
        for (std::int32_t i = 0; i < count; ++i) numbers[static_cast<std::size_t>(i)] = i;
        std::shuffle(numbers.begin(), numbers.end(), std::mt19937(42));
        for (std::int32_t i = 0; i < count; ++i) {
            std::u16string name = u"P";
            for (char c : std::to_string(i)) name.push_back(static_cast<char16_t>(c));
            numberOf_.emplace(name, numbers[static_cast<std::size_t>(i)]);
            names_.push_back(std::move(name));
        }
    }

    std::int32_t enumerate(std::int32_t index, char16_t* buffer, std::int32_t) override {
        if (static_cast<std::size_t>(index) >= names_.size()) return 0;
        const std::u16string& name = names_[static_cast<std::size_t>(index)];
        std::copy(name.begin(), name.end(), buffer);
        buffer[name.size()] = u'\0';
        return 1;
    }

    std::int32_t getLocation(const char16_t* name, std::int32_t* qualifier, std::int32_t* number) override {
        const auto found = numberOf_.find(name);
        if (found == numberOf_.end()) return 0;
        *qualifier = 0;
        *number = found->second;
        return 1;
    }

    std::int32_t setMode(const char16_t*, std::int32_t* modeCode, std::int32_t) override {
        return *modeCode != 1; // RS-422 refused, so some lines are logged
    }

private:
    std::vector<std::u16string> names_;
    std::unordered_map<std::u16string, std::int32_t> numberOf_;
};

void portStage(benchmark::State& state) {
    const auto count = static_cast<std::int32_t>(state.range(0));
    MemoryLibrary library(count);
    ModeTable table;
    for (std::int32_t i = 0; i < count; ++i) table.push_back(ModeEntry{(i * 7) % count, i % 2 ? 15 : 1});
    for (auto _ : state) {
        ModeTable working = table;
        RunLog log;
        const PortNameList names = enumeratePorts(library);
        applyModes(library, names, working, log);
        benchmark::DoNotOptimize(log.text().data());
    }
    state.SetItemsProcessed(state.iterations() * count);
}

} // namespace

BENCHMARK(portStage)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
