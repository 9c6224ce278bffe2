// The pieces of a run on their own: reading a configuration text, the port
// number syntax, the command-line splitter and the log's rendering.
// Run: build/linux/bin/pieces_benchmark

#include <benchmark/benchmark.h>

#include <string>

#include "platform/command_line_split.h"
#include "base/run_log.h"
#include "config/configuration.h"
#include "config/parse_int.h"

namespace {

std::string configuration(std::int64_t lines, bool valid) {
    std::string text;
    for (std::int64_t i = 0; i < lines; ++i) {
        text += "Port" + std::to_string(i) + (valid ? "=RS485-4W\r\n" : "=RS486\r\n");
    }
    return text;
}

void parseValidConfiguration(benchmark::State& state) {
    const std::string text = configuration(state.range(0), true);
    for (auto _ : state) {
        base::RunLog log;
        benchmark::DoNotOptimize(config::parseConfiguration(text, log).table.size());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

void parseInvalidConfiguration(benchmark::State& state) {
    const std::string text = configuration(state.range(0), false);
    for (auto _ : state) {
        base::RunLog log;
        benchmark::DoNotOptimize(config::parseConfiguration(text, log).table.size());
        benchmark::DoNotOptimize(log.text().size());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

void portNumberSyntax(benchmark::State& state) {
    const std::string samples[] = {"7", " 123456", "-2147483648", "$FFFFFFFF", "0x1F", "12a", "2147483648"};
    for (auto _ : state) {
        for (const std::string& sample : samples) benchmark::DoNotOptimize(config::parseInt32(sample));
    }
    state.SetItemsProcessed(state.iterations() * 7);
}

void splitRawCommandLine(benchmark::State& state) {
    const std::string raw = "\"C:\\Program Files\\SkarvelConfig\\SkarvelConfig.exe\" \"C:\\Config Files\\ports.cfg\" "
                            "/LOG=\"C:\\Log Files\\run.log\" " + std::string(state.range(0), 'x');
    for (auto _ : state) benchmark::DoNotOptimize(platform::splitCommandLine(raw).size());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(raw.size()));
}

} // namespace

BENCHMARK(parseValidConfiguration)->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(parseInvalidConfiguration)->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(portNumberSyntax);
BENCHMARK(splitRawCommandLine)->Arg(0)->Arg(100000);
BENCHMARK_MAIN();
