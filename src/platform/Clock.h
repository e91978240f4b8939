#pragma once
#include <ctime>

// Source of "now", so time texts and transfer lines can be checked at fixed times.
class IClock {
public:
    virtual ~IClock() = default;
    virtual std::time_t Now() const = 0;
};

class CSystemClock final : public IClock {
public:
    std::time_t Now() const override { return std::time(nullptr); }
};

// The broken-down local time of `t`.
inline std::tm LocalTime(std::time_t t)
{
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &t);
#else
    localtime_r(&t, &tm);
#endif
    return tm;
}
