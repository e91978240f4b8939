#include "core/cycle/TransferProgress.h"

#include <memory>

CProgressPacer::CProgressPacer(EDirection direction, std::string name, Clock::time_point start)
    : m_direction(direction), m_name(std::move(name)), m_start(start), m_next(start + kQuiet)
{
    m_samples[0] = {start, 0};
    m_count = 1;
}

std::optional<ev::Progress> CProgressPacer::Moved(std::uint64_t done, std::uint64_t total,
                                                  Clock::time_point now)
{
    if (now < m_next)
        return std::nullopt;
    m_next = now + kEvery;
    const Sample& from = m_samples[m_oldest];
    const double seconds = std::chrono::duration<double>(now - from.at).count();
    ev::Progress p{m_direction, m_name, done, total, 0};
    if (seconds > 0 && done >= from.done)
        p.rate = static_cast<double>(done - from.done) / seconds;
    // The window slides once full: the rate follows a link that changes pace within seconds.
    const std::size_t slot = (m_oldest + m_count) % kSamples;
    m_samples[slot] = {now, done};
    if (m_count < kSamples)
        ++m_count;
    else
        m_oldest = (m_oldest + 1) % kSamples;
    return p;
}

CProgressReport::CProgressReport(IAgentEvents& events, IFtpConnection& connection,
                                 EDirection direction, const std::string& name)
    : m_connection(connection)
{
    auto pacer = std::make_shared<CProgressPacer>(direction, name, CProgressPacer::Clock::now());
    connection.SetProgress([&events, pacer](std::uint64_t done, std::uint64_t total) {
        if (auto p = pacer->Moved(done, total, CProgressPacer::Clock::now()))
            events.Report(*p);
    });
}

CProgressReport::~CProgressReport()
{
    m_connection.SetProgress({});
}
