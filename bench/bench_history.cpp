// The author's list read at start from a long file (one restored from a backup): the cost must
// grow with the file, not its square.
#include "core/history/History.h"
#include "platform/Clock.h"
#include "platform/StateFolder.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

void BM_LoadHistory(benchmark::State& state)
{
    const std::size_t n = static_cast<std::size_t>(state.range(0));
    char folder[] = "/tmp/bench_history.XXXXXX";
    if (!mkdtemp(folder)) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const CSystemClock clock;
    std::vector<std::string> f;
    for (std::size_t i = 0; i < n; ++i) {
        // Sent files, and now and then a failure said again at the next poll.
        const bool failed = i % 7 == 0;
        f.insert(f.end(),
                 {"h1", std::to_string(clock.Now() - static_cast<std::time_t>(n - i)),
                  failed ? "sf" : "ss", "48213",
                  "/home/author/dictations/2024/" + std::to_string(failed ? i / 14 : i) + ".wav",
                  failed ? "The server refused the file (553)" : ""});
    }
    fsys::WriteFields(folder, "history", f);
    std::vector<std::string>().swap(f);
    const std::vector<std::string> original = fsys::ReadFields(folder, "history", 1u << 30);
    for (auto _ : state) {
        state.PauseTiming();
        fsys::WriteFields(folder, "history", original);  // the load trims the file it reads
        sync();  // as a file long on disk: none of its pages left to write
        state.ResumeTiming();
        CHistory history(folder, clock);
        benchmark::DoNotOptimize(history.Revision());
    }
    std::filesystem::remove_all(folder);
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_LoadHistory)
    ->Arg(20'000)
    ->Arg(80'000)
    ->Arg(400'000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

}  // namespace

BENCHMARK_MAIN();
