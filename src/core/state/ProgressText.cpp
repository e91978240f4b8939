#include "core/state/ProgressText.h"

#include "platform/Format.h"
#include "platform/Utf8.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string_view>

namespace {

// Decimal units, as desktops count file sizes and link speeds.
struct CUnit {
    double size;
    const char* name;
};

CUnit UnitOf(double bytes, bool atLeastKilo)
{
    if (bytes >= 1e9)
        return {1e9, "GB"};
    if (bytes >= 1e6)
        return {1e6, "MB"};
    if (bytes >= 1e3 || atLeastKilo)
        return {1e3, "kB"};
    return {1, "bytes"};
}

std::string Number(double value, int decimals)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// Below ten units one decimal says something; above it only clutters.
int DecimalsFor(double value, const CUnit& unit)
{
    return unit.size > 1 && value / unit.size < 10 ? 1 : 0;
}

// What is done is never shown as more than it is: rounded down.
double Down(double value, int decimals)
{
    const double scale = decimals ? 10.0 : 1.0;
    return std::floor(value * scale) / scale;
}

std::string Amounts(const ev::Progress& p)
{
    const double done = static_cast<double>(p.done);
    const double total = static_cast<double>(p.total);
    const CUnit unit = UnitOf(p.total ? total : done, false);
    const int decimals = DecimalsFor(p.total ? total : done, unit);
    std::string text = Number(Down(done / unit.size, decimals), decimals);
    if (p.total)
        text += " of " + Number(total / unit.size, decimals);
    return text + " " + unit.name;
}

std::string Rate(double rate)
{
    const CUnit unit = UnitOf(rate, true);
    return Number(rate / unit.size, DecimalsFor(rate, unit)) + " " + unit.name + "/s";
}

std::string TimeLeft(double seconds)
{
    const long s = std::max(1L, std::lround(seconds));
    if (s < 60)
        return "about " + std::to_string(s) + " s left";
    const long minutes = std::lround(seconds / 60);
    if (minutes < 60)
        return "about " + std::to_string(minutes) + " min left";
    const long hours = minutes / 60;
    const long rest = minutes % 60;
    return "about " + std::to_string(hours) + " h" +
           (rest ? " " + std::to_string(rest) + " min" : std::string()) + " left";
}

std::string Numbers(const ev::Progress& p)
{
    std::string text = Amounts(p);
    if (p.rate < 1)
        return text + ", waiting for the server";
    text += ", " + Rate(p.rate);
    if (p.total > p.done)
        text += ", " + TimeLeft(static_cast<double>(p.total - p.done) / p.rate);
    return text;
}

const char* Verb(const ev::Progress& p)
{
    return p.direction == EDirection::Up ? "Sending " : "Receiving ";
}

}  // namespace

std::string ProgressLine(const ev::Progress& p)
{
    return Verb(p) + EscapeControlChars(p.name) + ": " + Numbers(p);
}

std::string ProgressTip(const ev::Progress& p, std::size_t max)
{
    const std::string numbers = ": " + Numbers(p);
    const std::string verb = Verb(p);
    const std::string name = EscapeControlChars(p.name);
    if (verb.size() + name.size() + numbers.size() <= max)
        return verb + name + numbers;
    constexpr std::string_view kGap = "...";
    const std::size_t fixed = verb.size() + numbers.size() + kGap.size();
    if (fixed + 2 > max)  // no room for any of the name: the numbers alone, cut
        return std::string(CutUtf8(verb + name + numbers, max));
    // The end of a name tells one recording from the next as often as its start does.
    const std::size_t room = max - fixed;
    const std::string head(CutUtf8(name, room - room / 2));
    std::size_t from = name.size() - room / 2;
    while (from < name.size() && (static_cast<unsigned char>(name[from]) & 0xC0) == 0x80) ++from;
    return verb + head + std::string(kGap) + name.substr(from) + numbers;
}
