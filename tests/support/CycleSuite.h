#pragma once
// Whole cycles of CAutomation against the emulator: author ab12 with one source folder of "wav"
// files, passive mode, automatic download on, the log in a temporary folder. A suite changes
// the settings by overriding Configure, the transfer limits by overriding Limits.
#include "core/cycle/Automation.h"
#include "support/RecordingDisplay.h"
#include "support/cycle_util.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>

namespace orbidex::test {

namespace fs = std::filesystem;

template <class Base = ::testing::Test>
class CycleSuiteOf : public EmulatorSuite<Base> {
protected:
    using EmulatorSuite<Base>::s_emu;
    using EmulatorSuite<Base>::m_e;
    using EmulatorSuite<Base>::m_internet;

    virtual void Configure(CSettings&) {}

    void SetUp() override
    {
        EmulatorSuite<Base>::SetUp();
        Afresh();
        CSettings s = CycleSettings(m_src, m_down);
        Configure(s);
        m_record.Replace(s);
        m_lines = std::make_unique<CEventWriter>(m_display, nullptr, m_e.supportEmail);
        m_auto = std::make_unique<CAutomation>(*m_lines, m_internet.get(), m_e, m_record);
        m_auto->SetSettleTime(0);  // files are finished when written, unless a test says not
    }
    // An emulator that knows only ab12, and empty folders.
    void Afresh()
    {
        s_emu->reset();
        s_emu->addAuthor("ab12", "secret");
        for (const std::string& dir : {m_src, m_down}) {
            fs::remove_all(dir);
            fs::create_directories(dir);
        }
    }
    void RunCycle()
    {
        m_auto->StartAutomation();
        ASSERT_TRUE(WaitFor([this] { return !m_auto->IsBusy(); }));
    }
    std::string Uploaded(const std::string& remote) const
    {
        return ReadAll(s_emu->uploadDirLocal() + "/" + remote);
    }
    // Sent: marked, and the server holds what the author wrote.
    bool Done(const std::string& name) const
    {
        return fsys::IsReadOnly(m_src + name) && Uploaded("ab12_" + name) == ReadAll(m_src + name);
    }
    // Marked, and its archive copy holds what the author wrote.
    bool Archived(const std::string& name) const
    {
        return fsys::IsReadOnly(m_src + name) &&
               ReadAll(m_src + "tolvane/" + name) == ReadAll(m_src + name);
    }
    bool Waiting(const std::string& name) const
    {
        return !fsys::IsReadOnly(m_src + name) &&
               !QFile::exists(QString::fromStdString(m_src + "tolvane/" + name));
    }
    std::vector<std::string> Notified() const
    {
        std::vector<std::string> out;
        for (const QJsonObject& n : Objects(s_emu->records("notifications")))
            out.push_back(n["file"].toString().toStdString());
        return out;
    }
    std::string Log() const { return ReadAll(m_dir.path().toStdString() + "/Orbidex.log"); }
    // How often `text` is in the log.
    int InLog(const std::string& text) const
    {
        const std::string log = Log();
        int n = 0;
        for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
            ++n;
        return n;
    }
    // The kinds of the problems the agent state holds open, oldest first.
    std::vector<EProblem> Problems() const
    {
        std::vector<EProblem> kinds;
        for (const CProblem& p : m_auto->State().Snapshot().problems) kinds.push_back(p.kind);
        return kinds;
    }

    QTemporaryDir m_dir;
    std::string m_src = m_dir.path().toStdString() + "/src/";
    std::string m_down = m_dir.path().toStdString() + "/down/";
    CRecordingDisplay m_display{m_dir.path().toStdString() + "/Orbidex.log"};
    std::unique_ptr<CEventWriter> m_lines;  // made with the endpoints
    CSettingsRecord m_record;
    std::unique_ptr<CAutomation> m_auto;
};

using CycleSuite = CycleSuiteOf<>;
// Passive (1) or active (0) mode as the parameter.
class ModeCycleSuite : public CycleSuiteOf<::testing::TestWithParam<int>> {
protected:
    void Configure(CSettings& s) override { s.PASV = GetParam(); }
};

}  // namespace orbidex::test
