#pragma once
// The upload pass against an internet layer in memory, on real files in a temporary folder.
#include "core/cycle/CycleContext.h"
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

inline constexpr std::time_t kT = 1796547903;  // Sun Dec 06 09:05:03 2026 (TZ=UTC)
inline const std::string kTime = "Sun Dec 06 09:05:03 2026";

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
