// The archive copy of an uploaded file beside `cp` of the same file into the same folder, into
// a new name and over an earlier copy, runs interleaved. cp's own start is measured apart (a
// copy of an empty file) so that both the raw and the start-free cost can be compared.
//
//   bench_archive [size-bytes=4194304] [rounds=40] [folder=a fresh one under /tmp]
#include "platform/FileSystem.h"
#include "platform/LocalFile.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

bool Cp(const std::string& from, const std::string& to)
{
    const char* argv[] = {"cp", from.c_str(), to.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "cp", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
        return false;
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const long size = argc > 1 ? std::atol(argv[1]) : 4L << 20;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 40;
    std::string dir = argc > 3 ? argv[3] : "";
    if (dir.empty()) {
        char tmpl[] = "/tmp/bench_archive.XXXXXX";
        if (!mkdtemp(tmpl))
            return 1;
        dir = tmpl;
    }
    const std::string src = dir + "/source.wav";
    const std::string empty = dir + "/empty.wav";
    {
        std::string data(static_cast<std::size_t>(size), '\0');
        for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 31 + i / 97);
        std::ofstream(src, std::ios::binary) << data;
        std::ofstream(empty, std::ios::binary);
    }
    const std::string archive = dir + "/tolvane";
    fsys::CreateFolder(archive);
    // As the agent archives: from the open recording into the open archive folder.
    const fsys::CFd source(::open(src.c_str(), O_RDONLY | O_CLOEXEC));
    const std::optional<fsys::CFd> into = fsys::OpenFolder(archive, true, nullptr);
    if (!source || !into)
        return 1;
    auto agentCopy = [&](const std::string& name) {
        return fsys::CopyInto(source.Get(), into->Get(), archive + "/", name, nullptr, nullptr);
    };

    struct Case {
        const char* name;
        std::function<bool(int)> run;  // round number; false on failure
        std::vector<double> ms;
    };
    auto fresh = [&](const std::string& tag, int r) {
        return archive + "/" + tag + std::to_string(r) + ".wav";
    };
    std::vector<Case> cases = {
        {"agent copy, new file",
         [&](int r) { return agentCopy("a" + std::to_string(r) + ".wav"); },
         {}},
        {"agent copy, replacing", [&](int) { return agentCopy("a.wav"); }, {}},
        {"cp, new file", [&](int r) { return Cp(src, fresh("c", r)); }, {}},
        {"cp, replacing", [&](int) { return Cp(src, archive + "/c.wav"); }, {}},
        {"cp start (empty file)", [&](int) { return Cp(empty, archive + "/e.wav"); }, {}},
    };
    // Every replacing case has something to replace from the first round on.
    agentCopy("a.wav");
    Cp(src, archive + "/c.wav");
    for (int r = 0; r < rounds; ++r) {
        for (std::size_t i = 0; i < cases.size(); ++i) {
            Case& c = cases[(i + static_cast<std::size_t>(r)) % cases.size()];
            const auto t0 = Clock::now();
            if (!c.run(r)) {
                std::fprintf(stderr, "%s failed\n", c.name);
                return 1;
            }
            c.ms.push_back(Ms(Clock::now() - t0));
        }
    }
    const double start = Median(cases[4].ms);
    std::printf(
        "%ld bytes, %d rounds, median ms (cp start %.2f ms subtracted in the last column)\n", size,
        rounds, start);
    for (std::size_t i = 0; i < 2; ++i) {
        const double agent = Median(cases[i].ms);
        const double cp = Median(cases[i + 2].ms);
        std::printf("%-24s %7.2f   %-16s %7.2f   ratio %.2f   without cp start %.2f\n",
                    cases[i].name, agent, cases[i + 2].name, cp, agent / cp,
                    cp - start > 0 ? agent / (cp - start) : 0.0);
    }
    if (argc <= 3) {
        std::error_code ignored;  // a bench folder left behind is harmless
        std::filesystem::remove_all(dir, ignored);
    }
    return 0;
}
