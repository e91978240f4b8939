#pragma once
// The upload and download passes on real files in a temporary folder, with every line they
// write kept by a display on a fixed clock.
#include "core/cycle/CycleContext.h"
#include "core/cycle/DownloadList.h"
#include "core/cycle/Upload.h"
#include "platform/FileSystem.h"
#include "support/FakeService.h"
#include "support/RecordingDisplay.h"
#include "support/RecordingEvents.h"
#include "support/wav_util.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>

inline constexpr std::time_t kT = 1796547903;  // Sun Dec 06 09:05:03 2026 (TZ=UTC)
inline const std::string kTime = "Sun Dec 06 09:05:03 2026";

// The upload pass against an internet layer in memory.
class UploadPass : public ::testing::Test {
protected:
    UploadPass()
    {
        m_ep.httpOrigin = "http://web.test";
        m_ep.ftpHost = "ftp.test:2121";
        m_ep.ftpTopDir = "top.example";
        m_settings.Author = "ab12";
        m_settings.PASV = 1;
        m_net.pages[""] = {"Username Valid!"};  // every notification accepted
        m_folder = m_dir.path().toStdString() + "/dict/";
        QDir().mkpath(QString::fromStdString(m_folder));
    }
    // Puts files in the folder and on the work list, as the scan would.
    void Files(const std::vector<std::pair<std::string, std::string>>& files)
    {
        for (const auto& [name, content] : files) {
            WriteText(m_folder + name, content);
            m_work.m_fileList.push_back(m_folder + name);
        }
        m_work.m_nFileCount = static_cast<int32_t>(files.size());
    }
    void Run()
    {
        CCycleContext ctx{m_events, m_net, m_ep, m_settings, m_record, m_work, m_cancelled};
        UploadFiles(ctx);
    }
    bool Done(const std::string& name)
    {
        return fsys::IsReadOnly(m_folder + name) &&
               ReadAll(m_folder + "tolvane/" + name) == ReadAll(m_folder + name);
    }
    bool Waiting(const std::string& name)
    {
        return !fsys::IsReadOnly(m_folder + name) &&
               !QFile::exists(QString::fromStdString(m_folder + "tolvane/" + name));
    }
    std::vector<std::string> Notifications() const
    {
        std::vector<std::string> out;
        for (const std::string& u : m_net.Urls()) out.push_back(u);
        return out;
    }
    static std::string Notify(const std::string& file, const std::string& length)
    {
        return "http://web.test/nimbrel/copywav.php?username=ab12&file=" + file +
               "&length=" + length;
    }
    std::string Log() const { return ReadAll(m_logPath); }

    QTemporaryDir m_dir;
    std::string m_logPath = m_dir.path().toStdString() + "/Orbidex.log";
    CFixedClock m_clock{kT};
    CRecordingDisplay m_display{m_logPath, &m_clock};
    CFakeService m_net;
    CEndpoints m_ep;
    CSettings m_settings;
    CSettingsRecord m_record;
    CWorkList m_work;
    CRecordingEvents m_events{m_display};
    std::atomic<bool> m_cancelled{false};
    std::string m_folder;
};

// The names in `dir`, without its path.
inline std::set<std::string> Listing(const std::filesystem::path& dir)
{
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.insert(e.path().filename().string());
    return names;
}

// The list request and download pass of author ab12 in passive mode into `folder`; the suite
// gives the internet layer and the endpoints.
template <class Base = ::testing::Test>
class DownloadSuite : public Base {
protected:
    static constexpr const char* kHelp = "help@test.example";
    DownloadSuite()
    {
        std::filesystem::create_directory(folder);
        ep.supportEmail = kHelp;
        settings.Author = "ab12";
        settings.PASV = 1;
        settings.TDir = folder.string() + "/";
    }
    virtual IInternet& Net() = 0;
    void Run(IAgentEvents& events)
    {
        CCycleContext ctx{events, Net(), ep, settings, record, work, cancelled};
        RequestDownloadList(ctx);
    }
    void Run() { Run(lines); }
    // Runs `body` with HOME at `home`, made first, and gives the old one back.
    static void WithHome(const std::filesystem::path& home, const std::function<void()>& body)
    {
        const char* old = std::getenv("HOME");
        const std::string saved = old ? old : "";
        std::filesystem::create_directory(home);
        setenv("HOME", home.c_str(), 1);
        body();
        if (old)
            setenv("HOME", saved.c_str(), 1);
        else
            unsetenv("HOME");
    }
    std::string Log() const { return ReadAll(root / "Orbidex.log"); }
    std::string T() const { return display.GetTimeText(); }
    std::string Window() const { return display.WindowText(); }

    QTemporaryDir m_dir;
    std::filesystem::path root = m_dir.path().toStdString();
    std::filesystem::path folder = root / "in";
    CFixedClock clock{1700000000};
    CRecordingDisplay display{(root / "Orbidex.log").string(), &clock};
    CEventWriter lines{display, nullptr, kHelp};
    CEndpoints ep;
    CSettings settings;
    CSettingsRecord record;
    CWorkList work;
    std::atomic<bool> cancelled{false};
};
