#include "app/CommandLine.h"
#include "app/MyApp.h"
#include "core/cycle/Automation.h"
#include "support/AgentProcess.h"
#include "support/DialogAnswers.h"
#include "ui/MainFrame.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kAgent = QStringLiteral(ORBIDEX_AGENT);
const QString kHarness = QStringLiteral(ORBIDEX_HARNESS);
const QString kBox = QStringLiteral("box: Nimbrel Ravlet | Tolvane's Orbidex is already loaded\n");

QString ReadLog(const CAgentHome& home)
{
    QFile f(home.Path("Orbidex.log"));
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
}

// With no agent running, nothing waits: each option ends at once with its code.
TEST(CommandLine, EachOptionWithoutARunningAgent)
{
    struct Row {
        QStringList args;
        int code;
        std::string out;  // stdout exactly, when not empty
        const char* err;  // in stderr
    } rows[] = {
        {{"--help"}, 0, UsageText(), ""},
        {{"--version"}, 0, VersionText(), ""},
        {{"--show"}, kExitNotRunning, "", "not running"},
        {{"--transfer-now"}, kExitNotRunning, "", "not running"},
        {{"--quit"}, kExitNotRunning, "", "not running"},
        {{"--status"}, kExitNotRunning, "", "not running"},
        {{"--bogus"}, kExitUsage, "", "Usage: orbidex"},
        {{"--show", "--quit"}, kExitUsage, "", "unknown option --quit"},
    };
    EXPECT_NE(VersionText().find("Orbidex 7."), std::string::npos);
    for (const Row& r : rows) {
        CAgentHome home;
        const CRun run = home.Run(kAgent, r.args, 15000);
        const std::string what = r.args.join(' ').toStdString();
        EXPECT_EQ(run.code, r.code) << what << "\n" << run.err.toStdString();
        if (!r.out.empty()) {
            EXPECT_EQ(run.out.toStdString(), r.out) << what;
        }
        EXPECT_TRUE(run.err.contains(QString::fromLatin1(r.err))) << what;
        // Nothing started: no log, no lock left behind.
        EXPECT_FALSE(QFileInfo::exists(home.Path("Orbidex.log"))) << what;
    }
}

// A value the agent cannot use is said, never silently taken as another.
TEST(CommandLine, FtpSessionsTakesOneToThreeAndRefusesTheRest)
{
    const std::pair<const char*, int> cases[] = {{nullptr, 3}, {"", 3},   {"1", 1}, {"2", 2},
                                                 {"3", 3},     {"0", 0},  {"7", 0}, {"-1", 0},
                                                 {"2x", 0},    {" 2", 0}, {"10", 0}};
    for (const auto& [value, sessions] : cases) {
        std::string refusal = "stale";
        EXPECT_EQ(FtpSessionsFrom(value, 3, &refusal), sessions ? sessions : 3) << sessions;
        EXPECT_EQ(refusal.empty(), sessions != 0) << refusal;
        EXPECT_EQ(refusal.find("1, 2 or 3") != std::string::npos, sessions == 0) << refusal;
    }
}

// The lock and the socket live only in a folder of the user's own that no one else may enter:
// any other is refused with a line that says what to do, and the agent does not start.
TEST(CommandLine, OnlyAPrivateRuntimeFolderIsUsed)
{
    const bool root = ::geteuid() == 0;
    struct Row {
        const char* what;
        std::function<void(CAgentHome&)> prepare;
        const char* refusal;  // empty: the folder is used
    } rows[] = {
        {"private", [](CAgentHome&) {}, ""},
        {"open to others",
         [](CAgentHome& h) { ::chmod(h.Path("run").toLocal8Bit().constData(), 0755); },
         "other users may open it (mode 0755)"},
        {"a link",
         [](CAgentHome& h) {
             QFile::link(h.Path("run"), h.Path("link"));
             h.SetEnv("XDG_RUNTIME_DIR", h.Path("link"));
         },
         "it is not a folder"},
        {"another user's",
         [root](CAgentHome& h) {
             if (root)
                 (void)!::chown(h.Path("run").toLocal8Bit().constData(), 65534, 65534);
             else
                 h.SetEnv("XDG_RUNTIME_DIR", QStringLiteral("/"));
         },
         "it belongs to another user"},
        {"made first by another user",
         [root](CAgentHome& h) {
             h.UnsetEnv("XDG_RUNTIME_DIR");
             h.SetEnv("TMPDIR", h.Path("tmp"));
             const QString made = h.Path("tmp") + QStringLiteral("/orbidex-%1").arg(::geteuid());
             QDir().mkpath(made);
             if (root)
                 (void)!::chown(made.toLocal8Bit().constData(), 65534, 65534);
             else
                 ::chmod(made.toLocal8Bit().constData(), 0777);
         },
         root ? "it belongs to another user" : "other users may open it (mode 0777)"},
        {"made here",
         [](CAgentHome& h) {
             h.UnsetEnv("XDG_RUNTIME_DIR");
             h.SetEnv("TMPDIR", h.Path("run"));
         },
         ""},
    };
    for (const Row& r : rows) {
        CAgentHome home;
        r.prepare(home);
        const CRun status = home.Run(kAgent, {QStringLiteral("--status")}, 15000);
        EXPECT_EQ(status.code, kExitNotRunning) << r.what;
        const QString refusal = QString::fromLatin1(r.refusal);
        if (refusal.isEmpty()) {
            EXPECT_TRUE(status.err.contains(QStringLiteral("not running"))) << r.what;
            continue;
        }
        EXPECT_TRUE(status.err.contains(QStringLiteral("cannot use its runtime folder"))) << r.what;
        EXPECT_TRUE(status.err.contains(refusal)) << r.what << ": " << status.err.toStdString();
        // The agent itself says it in its box and ends, with nothing made there.
        const CRun start = home.Run(kHarness, {}, 15000);
        EXPECT_EQ(start.code, 0) << r.what;
        EXPECT_TRUE(
            start.out.contains(QStringLiteral("box: Nimbrel Ravlet | Orbidex cannot use "
                                              "its runtime folder")))
            << r.what << ": " << start.out.toStdString();
        EXPECT_TRUE(start.err.contains(refusal)) << r.what;
        EXPECT_FALSE(QFileInfo::exists(home.Path("Orbidex.log"))) << r.what;
    }
}

// A login start: with a saved configuration the agent starts without its dialog; without one,
// the first login shows the Configuration dialog (here cancelled) and the agent stays, later
// logins end quietly until a configuration is saved, and a plain start still shows it.
TEST(CommandLine, AutostartShowsConfigurationOnceToWhoNeverSavedOne)
{
    const QString dialog = QStringLiteral("dialog: SourceDir\n");
    struct Step {
        bool save;
        QStringList args;
        bool runs;  // the agent starts (and is ended by --quit)
        bool dialog;
    } const steps[] = {
        {false, {"--autostart"}, true, true},
        {false, {"--autostart"}, false, false},
        {false, {"--autostart"}, false, false},
        {false, {}, true, true},
        {true, {"--autostart"}, true, false},
    };
    CAgentHome home;
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        const Step& s = steps[i];
        if (s.save)
            home.SaveConfiguration();
        QProcess* agent = home.Start(kHarness, s.args);
        if (s.runs) {
            // Past the start-up step: its dialog printed, or without one the first cycle ran.
            CRun status;
            EXPECT_TRUE(PumpUntil([&] {
                if (s.dialog)
                    return agent->peek(4096).contains(dialog.toLatin1());
                status = home.Run(kAgent, {QStringLiteral("--status")});
                return status.code != kExitNotRunning &&
                       !status.out.contains(QStringLiteral("none since start"));
            })) << i << status.err.toStdString();
            EXPECT_EQ(home.Run(kAgent, {QStringLiteral("--quit")}).code, 0) << i;
        }
        const CRun run = CAgentHome::Wait(agent);
        EXPECT_EQ(run.code, 0) << i << run.err.toStdString();
        EXPECT_EQ(run.out.contains(dialog), s.dialog) << i << run.out.toStdString();
        EXPECT_EQ(ReadLog(home).count(QStringLiteral("* * * SHUTDOWN * * *")),
                  std::count_if(steps, steps + i + 1, [](const Step& x) { return x.runs; }))
            << i << "a quiet end starts nothing";
    }
}

// The first agent runs inside this test; the second start and the commands are processes.
class RunningAgent : public ::testing::Test {
protected:
    void SetUp() override
    {
        home.SaveConfiguration();
        for (const char* name : {"a.wav", "b.WAV", "c.txt"}) {
            QFile f(home.Path("src") + QLatin1Char('/') + QLatin1String(name));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        }
        home.Enter();
        app = std::make_unique<CMyApp>();
        ASSERT_TRUE(app->InitInstance());
        frame = app->MainWindow();
        ASSERT_TRUE(PumpUntil([&] { return frame->TimerPeriod() != 0; }));  // started
    }
    void TearDown() override { app.reset(); }
    CRun Command(const char* option) { return home.Run(kAgent, {QString::fromLatin1(option)}); }
    // Once the first cycle has ended (it finds no service here).
    CRun StatusAfterFirstCycle()
    {
        CRun r;
        PumpUntil([&] {
            r = Command("--status");
            return r.code != kExitBusy && !r.out.contains(QStringLiteral("none since start"));
        });
        return r;
    }

    CAgentHome home;
    CDialogAnswers answers;
    std::unique_ptr<CMyApp> app;
    CMainFrame* frame = nullptr;
};

TEST_F(RunningAgent, SecondStartRaisesTheFirstAndEnds)
{
    // Hidden, or minimised where there is no tray (offscreen has none).
    ASSERT_TRUE(!frame->isVisible() || frame->isMinimized());
    const CRun second = home.Run(kHarness, {});
    EXPECT_EQ(second.code, 0) << second.err.toStdString();
    EXPECT_EQ(second.out, kBox);
    EXPECT_TRUE(frame->isVisible());
    EXPECT_FALSE(frame->isMinimized());
    // The first goes on as before: one start block in its log, its timer armed.
    EXPECT_EQ(ReadLog(home).count(QStringLiteral("Log Initialized")), 1);
    EXPECT_NE(frame->TimerId(), 0u);
}

TEST_F(RunningAgent, ShowTransferNowStatus)
{
    EXPECT_EQ(Command("--show").code, 0);
    EXPECT_TRUE(frame->isVisible());

    const CRun first = StatusAfterFirstCycle();
    ASSERT_EQ(first.code, kExitAttention) << first.out.toStdString();
    const QStringList lines = first.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << first.out.toStdString();
    // The cycle found no service while two files wait: the agent asks for attention.
    EXPECT_EQ(lines[0], QStringLiteral("attention"));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("last cycle: "))) << lines[1].toStdString();
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral(", 0 sent, 0 fetched, 0 failed")))
        << lines[1].toStdString();
    EXPECT_EQ(lines[2], QStringLiteral("files waiting: 2"));  // a.wav, b.WAV; not c.txt
    EXPECT_TRUE(lines[3].contains(QStringLiteral(": service not answering"))) << lines[3].toStdString();

    for (const bool pause : {true, false}) {
        EXPECT_EQ(Command(pause ? "--pause" : "--resume").code, 0);
        EXPECT_EQ(frame->Paused(), pause);
    }
    const unsigned before = frame->CyclesShown();
    EXPECT_EQ(Command("--transfer-now").code, 0);
    EXPECT_TRUE(PumpUntil([&] { return frame->CyclesShown() > before; }));
}

TEST_F(RunningAgent, QuitEndsItAsExitDoes)
{
    QProcess* quit = home.Start(kAgent, {QStringLiteral("--quit")});
    // The process would end here; in this test, the application object goes instead.
    ASSERT_TRUE(PumpUntil([&] { return frame->Quitting() && !frame->isVisible(); }));
    app.reset();
    EXPECT_EQ(CAgentHome::Wait(quit).code, 0);
    EXPECT_TRUE(ReadLog(home).contains(QStringLiteral("* * * SHUTDOWN * * *")));
    // The lock went with it: the next start is a first start again.
    EXPECT_EQ(Command("--status").code, kExitNotRunning);
}

}  // namespace
