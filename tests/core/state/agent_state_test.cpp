// The agent state: which events open a problem, which close it, and what the author reads.
#include "core/service/WebFailure.h"
#include "core/state/AgentState.h"
#include "ui/display/EventWriter.h"
#include "core/state/ProblemTexts.h"
#include "support/RecordingDisplay.h"

#include <gtest/gtest.h>

namespace {

const std::string W = "why";      // a reason
constexpr char U = 'u', D = 'd';  // the FTP accounts

std::vector<EProblem> Kinds(const CAgentState& state)
{
    std::vector<EProblem> kinds;
    for (const CProblem& p : state.Snapshot().problems) kinds.push_back(p.kind);
    return kinds;
}

// Each row: the event that opens a problem, one that must leave it open, one that closes it.
TEST(AgentState, EachProblemClosesOnlyWhenItsOwnStepSucceedsOrItsCauseIsGone)
{
    struct Row {
        const char* what;
        CAgentEvent open, unrelated, close;
        EProblem kind;
    };
    const Row rows[] = {
        {"web host", ev::ServiceDown{W}, ev::LoginAccepted{}, ev::ServiceAnswered{},
         EProblem::ServiceDown},
        {"login check", ev::ServiceFault{ev::EStep::Login, W}, ev::ListRead{{}}, ev::LoginRefused{},
         EProblem::ServiceFault},
        {"refused", ev::LoginRefused{}, ev::ServiceAnswered{}, ev::LoginAccepted{},
         EProblem::LoginRefused},
        {"no login id", ev::LoginNotConfigured{}, ev::FtpConnected{U}, ev::LoginAccepted{},
         EProblem::NotConfigured},
        {"ftp refused", ev::FtpLoginRefused{D, {}, W}, ev::FtpConnected{U}, ev::FtpConnected{D},
         EProblem::FtpLoginRefused},
        {"ftp down", ev::FtpUnreachable{U, {}, W}, ev::FtpConnected{D},
         ev::FtpLoginRefused{U, {}, W}, EProblem::FtpUnreachable},
        {"list", ev::ListFailed{W}, ev::DocumentFetched{"a"}, ev::ListRead{{"a"}},
         EProblem::ListFailed},
        {"put", ev::FileFailed{"/s/a.wav", EStage::None, W}, ev::FileSent{"/s/b.wav"},
         ev::FileSent{"/s/a.wav"}, EProblem::UploadFailed},
        {"file removed", ev::FileFailed{"/s/a.wav", EStage::None, W},
         ev::FilesWaiting{{"/s/a.wav"}}, ev::FilesWaiting{{"/s/b.wav"}}, EProblem::UploadFailed},
        {"archive copy", ev::FileFailed{"/s/a.wav", EStage::None, W},
         ev::FilesWaiting{{"/s/a.wav"}}, ev::FileArchived{"/s/a.wav"}, EProblem::UploadFailed},
        {"bad name", ev::LocalSkipped{"/s/\x01.wav"}, ev::FileSent{"/s/x"}, ev::FilesWaiting{{}},
         EProblem::LocalSkipped},
        {"fetch", ev::DocumentFailed{"a.rtf", EStage::None, W}, ev::ListRead{{"a.rtf"}},
         ev::DocumentFetched{"a.rtf"}, EProblem::DownloadFailed},
        {"no longer listed", ev::DocumentFailed{"a.rtf", EStage::None, W},
         ev::DocumentFetched{"b.rtf"}, ev::ListRead{{"b.rtf"}}, EProblem::DownloadFailed},
        {"keyring", ev::KeyringLocked{W}, ev::ServiceAnswered{}, ev::KeyringAnswered{},
         EProblem::KeyringLocked},
        {"settings file", ev::SettingsUnreadable{W}, ev::KeyringAnswered{}, ev::SettingsReadable{},
         EProblem::SettingsUnreadable},
    };
    for (const Row& row : rows) {
        CFixedClock clock(1000);
        CAgentState state(clock);
        int changes = 0;
        state.onChanged = [&] { ++changes; };
        state.Report(row.open);
        clock.Set(2000);
        state.Report(row.open);  // a repeat is the same problem, open since the first
        EXPECT_EQ(Kinds(state), std::vector<EProblem>{row.kind}) << row.what;
        EXPECT_EQ(state.Snapshot().problems[0].since, 1000) << row.what;
        EXPECT_EQ(changes, 1) << row.what;
        EXPECT_EQ(state.Take().changes.opened.size(), 1u) << row.what;
        state.Report(row.unrelated);
        EXPECT_EQ(Kinds(state), std::vector<EProblem>{row.kind}) << row.what;
        state.Report(row.close);
        EXPECT_TRUE(Kinds(state).empty() || Kinds(state).front() != row.kind) << row.what;
        const CAgentState::CChanges c = state.Take().changes;
        ASSERT_EQ(c.closed.size(), 1u) << row.what;
        EXPECT_EQ(c.closed[0].kind, row.kind) << row.what;
    }
}

TEST(AgentState, ACycleCountsItsOutcomeAndTheReportSaysItAll)
{
    CFixedClock clock(1700000000);  // 2023-11-14 22:13:20 UTC
    CAgentState state(clock);
    EXPECT_EQ(FormatAgentStatus(state.Snapshot(), 0),
              "idle\nlast cycle: none since start\nfiles waiting: 0\n");
    // Polling Time 0 is not idle; a held-back file is no failure.
    state.PollingChanged(0);
    state.Report(ev::FileHeldBack{"/s/c.wav"});
    EXPECT_EQ(FormatAgentStatus(state.Snapshot(), 1),
              "off\nlast cycle: none since start\nfiles waiting: 1\n"
              "automatic sending is off: Polling Time is 0\n");
    state.PollingChanged(5);
    state.Report(ev::CycleStarted{});
    EXPECT_EQ(FormatAgentStatus(state.Snapshot(), 1).rfind("busy\n", 0), 0u);
    state.Report(ev::FileSent{"/s/a.wav"});
    state.Report(ev::FileSent{"/s/b.wav"});
    state.Report(ev::DocumentFetched{"x.rtf"});
    state.Report(ev::DocumentFailed{"y.rtf", EStage::Fetch,
                                    "The connection with the server has been reset."});
    state.Report(ev::CycleEnded{});
    EXPECT_EQ(FormatAgentStatus(state.Snapshot(), 3),
              "attention\nlast cycle: 2023-11-14 22:13:20, 2 sent, 1 fetched, 1 failed\n"
              "files waiting: 3\nproblem since 22:13:20: download failed: y.rtf (The "
              "connection with the server has been reset)\n");

    // The author's new settings end what a login problem said.
    for (const CAgentEvent& login :
         {CAgentEvent(ev::LoginRefused{}), CAgentEvent(ev::LoginNotConfigured{})}) {
        state.Report(login);
        state.ConfigurationSaved();
        EXPECT_EQ(Kinds(state), std::vector<EProblem>{EProblem::DownloadFailed});
    }
}

// What reached the service or the disk counts once, as done; its copy, mark or confirmation
// failing is a problem of its own, not a failure to send or fetch.
TEST(AgentState, EachFileAndDocumentIsCountedOnceByWhereItGot)
{
    struct Row {
        const char* what;
        std::vector<CAgentEvent> events;
        int sent, fetched, failed;
        EStage openStage;
    };
    const Row rows[] = {
        {"archive copy failed, and again at the retry",
         {ev::FileSent{"/s/a.wav"}, ev::FileFailed{"/s/a.wav", EStage::Archive, W},
          ev::FileFailed{"/s/a.wav", EStage::Archive, W}},
         1,
         0,
         0,
         EStage::Archive},
        {"mark failed",
         {ev::FileSent{"/s/a.wav"}, ev::FileFailed{"/s/a.wav", EStage::Mark, W}},
         1,
         0,
         0,
         EStage::Mark},
        {"put failed", {ev::FileFailed{"/s/a.wav", EStage::Put, W}}, 0, 0, 1, EStage::Put},
        {"not confirmed",
         {ev::DocumentFailed{"a.rtf", EStage::Confirm, W}},
         0,
         1,
         0,
         EStage::Confirm},
        {"not saved", {ev::DocumentFailed{"a.rtf", EStage::Save, W}}, 0, 0, 1, EStage::Save},
        {"skipped", {ev::LocalSkipped{"/s/\x01.wav"}}, 0, 0, 1, EStage::Put},
    };
    for (const Row& row : rows) {
        CFixedClock clock(0);
        CAgentState state(clock);
        state.Report(ev::CycleStarted{});
        for (const CAgentEvent& e : row.events) state.Report(e);
        state.Report(ev::CycleEnded{});
        const CAgentState::CSnapshot s = state.Snapshot();
        EXPECT_EQ(s.last.sent, row.sent) << row.what;
        EXPECT_EQ(s.last.fetched, row.fetched) << row.what;
        EXPECT_EQ(s.last.failed, row.failed) << row.what;
        ASSERT_EQ(s.problems.size(), 1u) << row.what;
        EXPECT_EQ(s.problems[0].stage, row.openStage) << row.what;
    }
    CProblem confirm;
    confirm.kind = EProblem::DownloadFailed;
    confirm.subject = "a.rtf";
    confirm.stage = EStage::Confirm;
    EXPECT_EQ(AttentionTip({confirm}).find("Download failed"), std::string::npos);
}

// No internet at the login check, the list or a confirmation reaches the one state, not only
// the window's lines.
TEST(AgentState, NoInternetFromAnyStepIsAProblemOfTheState)
{
    CFixedClock clock(0);
    CAgentState state(clock);
    CRecordingDisplay display("", &clock);
    CEventWriter writer(display, &state, {});
    ReportNoInternet(writer);
    EXPECT_EQ(Kinds(state), std::vector<EProblem>{EProblem::ServiceDown});
    EXPECT_NE(display.WindowText().find("Internet not avaiable"), std::string::npos);
}

TEST(AgentState, TheTooltipFitsAndNamesWhatIsWrong)
{
    CFixedClock clock(0);
    CAgentState state(clock);
    state.Report(ev::DocumentFailed{std::string(80, 'n') + ".rtf", EStage::None, W});
    const std::string one = AttentionTip(state.Snapshot().problems);
    EXPECT_EQ(one.rfind("Download failed: nnn", 0), 0u);
    EXPECT_LE(one.size(), kTipMax);
    state.Report(ev::FtpLoginRefused{U, {}, W});
    EXPECT_EQ(AttentionTip(state.Snapshot().problems).rfind("2 problems. Download failed", 0), 0u);
    // Both accounts refused: two problems the author can tell apart.
    state.Report(ev::FtpLoginRefused{D, {}, W});
    const std::vector<CProblem> p = state.Snapshot().problems;
    ASSERT_EQ(p.size(), 3u);
    EXPECT_NE(ProblemLine(p[1]), ProblemLine(p[2]));
    EXPECT_NE(ProblemLine(p[1]).find("upload"), std::string::npos);
    EXPECT_EQ(AttentionTip({p[1]}).find("unreachable"), std::string::npos);
    EXPECT_NE(AttentionTip({p[2]}), AttentionTip({p[1]}));
    EXPECT_NE(AttentionTip({{EProblem::KeyringLocked}}).find("keyring is locked"),
              std::string::npos);
    // What a notice says, and what it must not suggest: whom to ask, where to look.
    const struct {
        CProblem problem;
        const char* text;
        bool said;
    } notices[] = {
        {p[1], "network", false},  // an FTP refusal is not a network fault
        {{EProblem::ServiceFault, "login", "HTTP 503"}, "assword", false},  // nor a password one
        {{EProblem::FtpLoginRefused, "u", "530 Login incorrect."}, "support: help@x.", true},
        {{EProblem::UploadFailed, "/in/a.wav", "Permission denied", EStage::Archive},
         "(Permission denied): check that you may write to /in/tolvane.", true},
    };
    for (const auto& n : notices)
        EXPECT_EQ(ProblemNotice(n.problem, "help@x").find(n.text) != std::string::npos, n.said)
            << n.text;
}

}  // namespace

// What needs the author shows even during a cycle; a cycle shows over a pause or polling off.
TEST(AgentState, OneLookForTrayAndWindowInAWrittenOrder)
{
    const struct {
        bool busy, problem, paused;
        int pollTime;
        ELook look;
    } rows[] = {{false, false, false, 5, ELook::Idle},   {true, false, false, 5, ELook::Busy},
                {true, true, true, 0, ELook::Attention}, {false, true, false, 5, ELook::Attention},
                {true, false, true, 0, ELook::Busy},     {false, false, true, 5, ELook::Paused},
                {false, false, false, 0, ELook::Paused}};
    for (const auto& r : rows) {
        CAgentState::CSnapshot s;
        s.busy = r.busy;
        s.paused = r.paused;
        s.pollTime = r.pollTime;
        if (r.problem)
            s.problems.push_back(CProblem{EProblem::ListFailed});
        const CLook look = LookOf(s);
        EXPECT_EQ(look.look, r.look) << r.busy << r.problem << r.paused << r.pollTime;
        EXPECT_EQ(look.tip.empty(), r.look == ELook::Idle || r.look == ELook::Busy);
        // Paused says the same words in the tooltip and the status report.
        const bool pausedOnly = r.paused && r.pollTime > 0 && r.look == ELook::Paused;
        EXPECT_EQ(look.tip == kPausedLine, pausedOnly);
        EXPECT_EQ(
            FormatAgentStatus(s, 0).find(std::string(kPausedLine) + "\n") != std::string::npos,
            r.paused);
    }
    EXPECT_LE(std::string_view(kPausedLine).size(), kTipMax);
}

// With several transfers at once the one that told its progress first stays in view until it
// ends; whatever ends a transfer (done, failed, the cycle's end) takes it out.
TEST(AgentState, TheRunningTransferIsTheFirstToTellItsProgress)
{
    const ev::Progress up{EDirection::Up, "a.wav", 1'000'000, 4'000'000, 500'000};
    const ev::Progress down{EDirection::Down, "b.rtf", 10, 20, 5};
    ev::Progress upLater = up;
    upLater.done = 2'000'000;
    const struct {
        const char* what;
        std::vector<CAgentEvent> events;
        const char* shown;  // the name in view, or null
        std::uint64_t done;
    } rows[] = {
        {"one", {up}, "a.wav", 1'000'000},
        {"its news", {up, down, upLater}, "a.wav", 2'000'000},
        {"the first done", {up, down, ev::FileDone{EDirection::Up, "a.wav"}}, "b.rtf", 10},
        {"another's end", {up, down, ev::FileDone{EDirection::Down, "b.rtf"}}, "a.wav", 1'000'000},
        {"put failed", {up, ev::FileFailed{"/s/a.wav", EStage::Put}}, nullptr, 0},
        {"get failed", {down, ev::DocumentFailed{"b.rtf"}}, nullptr, 0},
        {"cut at exit", {up, down, ev::CycleEnded{}}, nullptr, 0},
    };
    for (const auto& r : rows) {
        CFixedClock clock(1000);
        CAgentState state(clock);
        int changes = 0;
        state.onChanged = [&] { ++changes; };
        state.Report(ev::CycleStarted{});
        for (const CAgentEvent& e : r.events) state.Report(e);
        const CAgentState::CSnapshot s = state.Snapshot();
        ASSERT_EQ(s.transfer.has_value(), r.shown != nullptr) << r.what;
        if (r.shown) {
            EXPECT_EQ(s.transfer->name, r.shown) << r.what;
            EXPECT_EQ(s.transfer->done, r.done) << r.what;
        }
        // Every step of a transfer is news to the views.
        EXPECT_EQ(changes, static_cast<int>(r.events.size()) + 1) << r.what;
    }
}

// The tooltip and the status report tell of a long transfer while nothing needs the author.
TEST(AgentState, ATransferInTheTipAndTheReport)
{
    CAgentState::CSnapshot s;
    s.busy = true;
    s.transfer = ev::Progress{EDirection::Up, "a.wav", 1'000'000, 4'000'000, 500'000};
    const std::string line = "Sending a.wav: 1.0 of 4.0 MB, 500 kB/s, about 6 s left";
    EXPECT_EQ(LookOf(s).look, ELook::Busy);
    EXPECT_EQ(LookOf(s).tip, line);
    EXPECT_NE(FormatAgentStatus(s, 1).find("\n" + line + "\n"), std::string::npos);
    s.problems.push_back(CProblem{EProblem::ListFailed});
    EXPECT_EQ(LookOf(s).look, ELook::Attention);
    EXPECT_EQ(LookOf(s).tip, AttentionTip(s.problems));
    s.busy = false;  // a transfer the view has not yet seen end is not shown after its cycle
    EXPECT_EQ(FormatAgentStatus(s, 1).find("Sending"), std::string::npos);
}
