#pragma once
#include "core/state/AgentEvent.h"
#include "platform/Internet.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

// Turns a transfer's byte counts, which the internet layer gives many times a second, into the
// few progress events a person can read: none while the transfer is young (a short one says
// nothing), then at most one a quarter second, each with the rate of the last few seconds.
class CProgressPacer {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kQuiet{2000};
    static constexpr std::chrono::milliseconds kEvery{250};

    CProgressPacer(EDirection direction, std::string name, Clock::time_point start);
    // The event due now, if one is.
    std::optional<ev::Progress> Moved(std::uint64_t done, std::uint64_t total,
                                      Clock::time_point now);

private:
    struct Sample {
        Clock::time_point at;
        std::uint64_t done = 0;
    };
    // Samples at each event; the rate is taken over the span back to the oldest kept.
    static constexpr std::size_t kSamples = 16;

    EDirection m_direction;
    std::string m_name;
    Clock::time_point m_start;
    Clock::time_point m_next;  // the earliest time of the next event
    std::array<Sample, kSamples> m_samples{};
    std::size_t m_count = 0;  // samples kept
    std::size_t m_oldest = 0;
};

// Tells `events` of one put or get on `connection` while it lives; the connection tells no one
// once it is gone.
class CProgressReport {
public:
    CProgressReport(IAgentEvents& events, IFtpConnection& connection, EDirection direction,
                    const std::string& name);
    ~CProgressReport();
    CProgressReport(const CProgressReport&) = delete;
    CProgressReport& operator=(const CProgressReport&) = delete;

private:
    IFtpConnection& m_connection;
};
