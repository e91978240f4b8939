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
