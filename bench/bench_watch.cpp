// What watching a big source folder costs: taking the watch, and the cheap listing that stands
// in for it where a folder cannot be watched (names, times, and a writer check of recent
// files). Times its own rounds; prints the median and the worst.
#include "platform/FileSystem.h"
#include "platform/FolderWatch.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <functional>
#include <string>
#include <vector>

namespace {

double Ms(const std::function<void()>& fn)
{
    const auto t0 = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
        .count();
}

void Report(const char* what, std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    std::printf("%-44s median %9.3f ms  worst %9.3f ms\n", what, ms[ms.size() / 2], ms.back());
}

}  // namespace

int main(int argc, char** argv)
{
    const int files = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int rounds = 20;
    namespace fs = std::filesystem;
    const fs::path dir =
        fs::temp_directory_path() / ("orbidex-watch-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    for (int i = 0; i < files; ++i) {
        std::string name = "r";
        name += std::to_string(i);
        name += ".wav";
        std::ofstream(dir / name) << i;
    }
    const std::string folder = dir.string() + "/";

    std::vector<double> add, list, writers;
    for (int r = 0; r < rounds; ++r) {
        fsys::CFolderWatch w;
        add.push_back(Ms([&] { w.Add(folder); }));
        std::vector<fsys::DirEntry> entries;
        list.push_back(Ms([&] { entries = fsys::FindFiles(folder, "*.wav"); }));
        writers.push_back(Ms([&] {
            for (const fsys::DirEntry& e : entries) fsys::WritersOf(folder + e.name);
        }));
    }
    std::printf("folder of %d files, %d rounds\n", files, rounds);
    Report("watch taken (inotify)", add);
    Report("listing (names, sizes, times)", list);
    Report("writer check of every file (lease)", writers);
    fs::remove_all(dir);
    return 0;
}
