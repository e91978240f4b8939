// Speed of the upload side: the scan of a big source folder, and whole upload passes against
// the local service emulator (one connection per file, as the service expects).
#include "core/cycle/CycleContext.h"
#include "core/cycle/Scan.h"
#include "core/cycle/Upload.h"
#include "platform/FileSystem.h"
#include "support/RecordingDisplay.h"
#include "support/ServiceEmulator.h"

#include <QDir>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <fstream>
#include <sys/stat.h>

namespace {

void MakeFiles(const std::string& folder, int count, const std::string& ext, std::size_t size)
{
    const std::string body(size, 'd');
    for (int i = 0; i < count; ++i)
        std::ofstream(folder + "f" + std::to_string(i) + "." + ext, std::ios::binary) << body;
}

// A folder of `range(0)` files, half of them matching and a tenth of those already sent.
void BM_ScanBigFolder(benchmark::State& state)
{
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/";
    const int n = static_cast<int>(state.range(0));
    MakeFiles(folder, n / 2, "wav", 0);
    MakeFiles(folder, n / 2, "DOC", 0);  // same names, other extension
    for (int i = 0; i < n / 2; i += 10)
        chmod((folder + "f" + std::to_string(i) + ".wav").c_str(), 0444);
    CSettings s;
    s.Dir[0] = folder;
    s.Ext[0] = "wav";
    CWorkList work;
    for (auto _ : state) {
        ScanSourceFolders(s, work);
        benchmark::DoNotOptimize(work.m_nFileCount);
    }
    state.counters["listed"] = work.m_nFileCount;
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_ScanBigFolder)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_WildcardMatch(benchmark::State& state)
{
    const std::string name = "Dictation 2026-12-06 letter to the bank, second take.WAV";
    for (auto _ : state) benchmark::DoNotOptimize(fsys::MatchWildcard("*.wav", name));
}
BENCHMARK(BM_WildcardMatch);

// One pass over range(0) files of range(1) bytes; passive (1) or active (0) by range(2).
void BM_UploadPass(benchmark::State& state)
{
    orbidex::test::ServiceEmulator emu;
    emu.addAuthor("ab12", "secret");
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/";
    const int n = static_cast<int>(state.range(0));
    MakeFiles(folder, n, "rtf", static_cast<std::size_t>(state.range(1)));
    CEndpoints ep;
    ep.httpOrigin = emu.httpOrigin();
    ep.ftpHost = emu.ftpHost();
    ep.ftpTopDir = emu.topDir();
    std::unique_ptr<IInternet> internet = CreateInternet(emu.caFile());
    CRecordingDisplay display(dir.path().toStdString() + "/Orbidex.log");
    CSettings s;
    s.Author = "ab12";
    s.PASV = static_cast<int32_t>(state.range(2));
    s.Dir[0] = folder;
    s.Ext[0] = "rtf";
    CSettingsRecord record;
    CWorkList work;
    std::atomic<bool> cancelled{false};
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < n; ++i)
            chmod((folder + "f" + std::to_string(i) + ".rtf").c_str(), 0644);
        ScanSourceFolders(s, work);
        state.ResumeTiming();
        CCycleContext ctx{display.Lines(), *internet, ep, s, record, work, cancelled};
        UploadFiles(ctx);
    }
    if (!fsys::IsReadOnly(folder + "f0.rtf"))
        state.SkipWithError("the pass did not complete");
    state.SetItemsProcessed(state.iterations() * n);
    state.SetBytesProcessed(state.iterations() * n * state.range(1));
}
BENCHMARK(BM_UploadPass)
    ->Args({50, 1000, 1})
    ->Args({50, 1000, 0})
    ->Args({5, 4 << 20, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    curl_global_init(CURL_GLOBAL_DEFAULT);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    curl_global_cleanup();
    return 0;
}
