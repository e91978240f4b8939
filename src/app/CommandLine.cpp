#include "app/CommandLine.h"

#include "app/InstanceChannel.h"
#include "app/MyApp.h"
#include "platform/QtProfileStore.h"
#include "platform/SingleInstance.h"
#include "platform/StateFolder.h"
#include "ui/dialogs/VersionText.h"

#include <QCoreApplication>
#include <cstdio>

namespace {

struct COption {
    const char* name;
    ECommand command;
};
constexpr COption kOptions[] = {
    {"--help", ECommand::Help},
    {"-h", ECommand::Help},
    {"--version", ECommand::Version},
    {"--show", ECommand::Show},
    {"--transfer-now", ECommand::TransferNow},
    {"--quit", ECommand::Quit},
    {"--status", ECommand::Status},
    {"--pause", ECommand::Pause},
    {"--resume", ECommand::Resume},
    {"--autostart", ECommand::Autostart},
};

// Long enough for an agent that is still starting (or busy in a dialog) to answer.
constexpr int kAnswerMs = 5000;
// An exit waits for nothing, but the shutdown block and the window's close take a moment.
constexpr int kQuitMs = 15000;
// Kept in the state folder once a login start has shown the Configuration dialog.
constexpr const char* kAutostartOffered = "autostart-offered";

void Print(std::FILE* to, const std::string& text)
{
    std::fputs(text.c_str(), to);
    std::fflush(to);
}

int RunRemote(ECommand command)
{
    const CSingleInstance lock(QString::fromLatin1(kInstanceName));
    if (!lock.Error().isEmpty()) {
        Print(stderr, lock.Error().toStdString() + "\n");
        return kExitNotRunning;
    }
    // Without a holder of the lock no agent runs, and none is starting: say so at once.
    if (!lock.IsHeld()) {
        Print(stderr, "Orbidex is not running.\n");
        return kExitNotRunning;
    }
    bool closed = false;
    const int timeout = command == ECommand::Quit ? kQuitMs : kAnswerMs;
    const std::optional<QString> reply = SendToRunningInstance(
        QString::fromLatin1(kInstanceName), RequestFor(command), timeout, &closed);
    if (!reply) {
        Print(stderr, "Orbidex is not running.\n");
        return kExitNotRunning;
    }
    if (command == ECommand::Status) {
        Print(stdout, reply->toStdString());
        return StatusExitCode(*reply);
    }
    if (command == ECommand::Quit && !closed) {
        Print(stderr, "Orbidex was asked to exit but is still running.\n");
        return kExitBusy;
    }
    return kExitIdle;
}

}  // namespace

bool AutostartEndsQuietly()
{
    if (CQtProfileStore().HasValues())
        return false;
    // Started for every user at login. Without settings the first login shows the agent's
    // Configuration dialog, so that installing leads somewhere; whoever left it unsaved is not
    // asked again at each login, and a plain start still opens it. A state folder that cannot
    // be written asks again next time rather than never.
    const std::string folder = fsys::DefaultStateFolder();
    if (!fsys::ReadFields(folder, kAutostartOffered).empty())
        return true;
    fsys::WriteFields(folder, kAutostartOffered, {"1"});
    return false;
}

CCommandLine ParseCommandLine(const std::vector<std::string>& args)
{
    CCommandLine line;
    if (args.empty())
        return line;
    if (args.size() > 1) {
        line.command = ECommand::Bad;
        line.bad = args[1];
        return line;
    }
    for (const COption& o : kOptions)
        if (args[0] == o.name) {
            line.command = o.command;
            return line;
        }
    line.command = ECommand::Bad;
    line.bad = args[0];
    return line;
}

std::string UsageText()
{
    return "Usage: orbidex [OPTION]\n"
           "Without an option, starts the agent (or brings the running one forward).\n"
           "\n"
           "  --show          open the running agent's window\n"
           "  --transfer-now  start a transfer cycle now, as Transfer Now!!! does\n"
           "  --status        print idle, busy, attention, paused or off, the last cycle and\n"
           "                  the files waiting\n"
           "  --pause         pause automatic sending (Transfer Now!!! still sends)\n"
           "  --resume        resume automatic sending\n"
           "  --quit          end the running agent, as Exit does\n"
           "  --autostart     used at login: starts if a configuration was saved; without one,\n"
           "                  shows Configuration at the first login only\n"
           "  --version       print the version\n"
           "  --help          print this help\n"
           "\n"
           "Exit status: 0 idle (or done), 1 busy, 2 bad option, 3 not running, 4 attention,\n"
           "5 off or paused (nothing is sent by itself).\n";
}

std::string VersionText()
{
    return "Orbidex " + FormatVersionNumber(GetVersionInfoString(nullptr, "ProductVersion")) + "\n";
}

QString RequestFor(ECommand command)
{
    switch (command) {
        case ECommand::TransferNow:
            return QStringLiteral("transfer-now");
        case ECommand::Quit:
            return QStringLiteral("quit");
        case ECommand::Status:
            return QStringLiteral("status");
        case ECommand::Pause:
            return QStringLiteral("pause");
        case ECommand::Resume:
            return QStringLiteral("resume");
        default:
            return QStringLiteral("show");
    }
}

int StatusExitCode(const QString& reply)
{
    const QString state = reply.section(QLatin1Char('\n'), 0, 0).trimmed();
    if (state == QLatin1String("idle"))
        return kExitIdle;
    if (state == QLatin1String("attention"))
        return kExitAttention;
    if (state == QLatin1String("off") || state == QLatin1String("paused"))
        return kExitSendingOff;
    return kExitBusy;
}

std::optional<int> RunWithoutAgent(const CCommandLine& line, int argc, char** argv)
{
    switch (line.command) {
        case ECommand::Start:
            return std::nullopt;
        case ECommand::Help:
            Print(stdout, UsageText());
            return kExitIdle;
        case ECommand::Version:
            Print(stdout, VersionText());
            return kExitIdle;
        case ECommand::Bad:
            Print(stderr, "orbidex: unknown option " + line.bad + "\n" + UsageText());
            return kExitUsage;
        case ECommand::Autostart:
            return AutostartEndsQuietly() ? std::optional<int>(kExitIdle) : std::nullopt;
        default: {
            QCoreApplication app(argc, argv);  // no display needed
            return RunRemote(line.command);
        }
    }
}

int FtpSessionsFrom(const char* value, int fallback, std::string* refusal)
{
    refusal->clear();
    if (!value || !*value)
        return fallback;
    if (value[0] >= '1' && value[0] <= '3' && value[1] == '\0')
        return value[0] - '0';
    *refusal = "Orbidex: ORBIDEX_FTP_SESSIONS=" + std::string(value) +
               " is not used: it takes 1, 2 or 3. Using " + std::to_string(fallback) + ".";
    return fallback;
}
