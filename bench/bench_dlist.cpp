// The download-list parser on long lists: the cost must grow with the body, not its square.
#include "core/cycle/DownloadList.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

std::string MakeList(int n)
{
    std::string b =
        "countoffiles = " + std::to_string(n) + "<br>\r\nSourceDir=/downloads/ab12<br>\r\n";
    for (int i = 1; i <= n; ++i) {
        const std::string k = std::to_string(i);
        b += "file_" + k + " = \"abcd___" + k + "_SOAP_1087432418_2004-10-25_14462.rtf\"<br>\r\n";
        b += "fileid_" + k + " = " + std::to_string(30000 + i) + "<br>\r\n";
    }
    return b;
}

void BM_ParseDownloadList(benchmark::State& state)
{
    const std::string body = MakeList(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        CDownloadList list = ParseDownloadList(body);
        benchmark::DoNotOptimize(list);
    }
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(body.size()));
}
BENCHMARK(BM_ParseDownloadList)->RangeMultiplier(10)->Range(10, 100000)->Complexity();

}  // namespace

BENCHMARK_MAIN();
