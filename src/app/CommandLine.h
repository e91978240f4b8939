#pragma once
#include <QString>
#include <optional>
#include <string>
#include <vector>

// What the command line asks for. Without options the agent starts as it always has.
enum class ECommand { Start, Autostart, Help, Version, Show, TransferNow, Quit, Status, Pause, Resume, Bad };

struct CCommandLine {
    ECommand command = ECommand::Start;
    std::string bad;  // the option not understood
};

// Exit codes of the commands (listed in the usage text).
inline constexpr int kExitIdle = 0;  // also: done
inline constexpr int kExitBusy = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNotRunning = 3;
inline constexpr int kExitAttention = 4;
inline constexpr int kExitSendingOff = 5;  // Polling Time 0 or below, or paused: nothing goes by itself

// `args` without the program name. One option at most.
CCommandLine ParseCommandLine(const std::vector<std::string>& args);
std::string UsageText();
std::string VersionText();  // as the About box shows it

// The request a second process sends for `command` ("show" for a plain second start).
QString RequestFor(ECommand command);
// Exit code of a status reply (its first line names the state).
int StatusExitCode(const QString& reply);

// A login start that ends at once: no configuration was ever saved, and a login start has
// already shown the Configuration dialog. The first such start is remembered and goes on.
bool AutostartEndsQuietly();

// ORBIDEX_FTP_SESSIONS, read once at start: how many FTP sessions a backlog opens side by side,
// 1 to 3. Unset or empty gives `fallback`; anything else gives `fallback` too, and `refusal`
// the line that says so.
int FtpSessionsFrom(const char* value, int fallback, std::string* refusal);

// Everything that runs without starting an agent: help, version, a bad option, the commands
// for a running agent, and a login start for someone who let the Configuration dialog go
// unsaved before. Returns the process's exit code, or nothing when the agent should start.
std::optional<int> RunWithoutAgent(const CCommandLine& line, int argc, char** argv);
