// What a killed run leaves behind is swept at the next start, and nothing else is touched:
// names that only look alike, files of this run, links, folders.
#include "core/cycle/TempSweep.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <chrono>
#include <fstream>

namespace {

namespace fs = std::filesystem;

struct Entry {
    const char* path;  // under the temporary folder; a trailing "/" makes a folder
    bool old;          // written before the agent started
    bool swept;
};

TEST(TempSweep, RemovesOnlyOurOwnStaleTemporaryFiles)
{
    QTemporaryDir tmp;
    const fs::path root = tmp.path().toStdString();
    const std::vector<Entry> entries = {
        {"down/.letter.rtf.a1b2c3.part", true, true},
        {"down/.orbidex.zz9900.part", true, true},
        {"down/.letter.rtf.a1b2c3.part.keep", true, false},
        {"down/.letter.rtf.A1b2c3.part", true, false},  // downloads use lower case only
        {"down/.letter.rtf.a1b2c.part", true, false},
        {"down/letter.rtf.a1b2c3.part", true, false},  // not hidden
        {"down/..a1b2c3.part", true, false},           // no name
        {"down/.memo.rtf.q1w2e3.part", false, false},  // this run's
        {"down/.dir.a1b2c3.part/", true, false},
        {"src/dict.wav", true, false},
        {"src/tolvane/dict.wav.Xy12Zq", true, true},
        {"src/tolvane/dict.wav", true, false},
        {"src/tolvane/gone.wav.Xy12Zq", true, false},  // no such source file
        {"src/tolvane/dict.wav.Xy12Z", true, false},
        {"src/tolvane/dict.wav.Xy-2Zq", true, false},
        {"src/tolvane/dict.wav.Ab34Cd", false, false},
        {"other/tolvane/dict.wav.Xy12Zq", true, false},  // not a source folder
    };
    const auto start = fs::file_time_type::clock::now();
    for (const Entry& e : entries) {
        const fs::path p = root / e.path;
        fs::create_directories(p.parent_path());
        if (std::string_view(e.path).ends_with('/'))
            fs::create_directories(p);
        else
            std::ofstream(p) << "x";
        fs::last_write_time(p, start + (e.old ? -std::chrono::hours(1) : std::chrono::hours(1)));
    }
    fs::create_directories(root / "other");
    std::ofstream(root / "other/dict.wav") << "x";
    fs::create_symlink(root / "src/dict.wav", root / "down/.link.a1b2c3.part");

    CSettings s;
    s.TDir = (root / "down").string();  // without its final separator
    s.Dir[0] = (root / "src").string() + "/";
    s.Dir[3] = s.Dir[0];  // the same folder twice
    EXPECT_EQ(SweepStaleTempFiles(s, start), 3);
    for (const Entry& e : entries) EXPECT_EQ(fs::exists(root / e.path), !e.swept) << e.path;
    EXPECT_TRUE(fs::is_symlink(root / "down/.link.a1b2c3.part"));
}

}  // namespace
