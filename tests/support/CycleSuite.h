#pragma once
// Whole cycles of CAutomation against the emulator: author ab12 with one source folder of "wav"
// files, passive mode, automatic download on, the log in a temporary folder.
#include "core/cycle/Automation.h"
#include "support/RecordingDisplay.h"
#include "support/cycle_util.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>

namespace orbidex::test {

namespace fs = std::filesystem;

class CycleSuite : public EmulatorSuite<> {
protected:
    void SetUp() override
    {
        EmulatorSuite::SetUp();
        s_emu->reset();
        s_emu->addAuthor("ab12", "secret");
        fs::create_directories(m_src);
        fs::create_directories(m_down);
        m_record.Replace(CycleSettings(m_src, m_down));
        m_lines = std::make_unique<CEventWriter>(m_display, nullptr, m_e.supportEmail);
        m_auto = std::make_unique<CAutomation>(*m_lines, m_internet.get(), m_e, m_record);
        m_auto->SetSettleTime(0);  // files are finished when written, unless a test says not
    }
    void RunCycle()
    {
        m_auto->StartAutomation();
        ASSERT_TRUE(WaitFor([this] { return !m_auto->IsBusy(); }));
    }
    bool Done(const std::string& name) const
    {
        return fsys::IsReadOnly(m_src + name) &&
               ReadAll(s_emu->uploadDirLocal() + "/ab12_" + name) == ReadAll(m_src + name);
    }
    std::vector<std::string> Notified() const
    {
        std::vector<std::string> out;
        for (const QJsonObject& n : Objects(s_emu->records("notifications")))
            out.push_back(n["file"].toString().toStdString());
        return out;
    }
    std::string Log() const { return ReadAll(m_dir.path().toStdString() + "/Orbidex.log"); }
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

}  // namespace orbidex::test
