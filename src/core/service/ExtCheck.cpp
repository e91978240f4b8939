#include "core/service/ExtCheck.h"

namespace {
bool IsLeadingSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Characters, not bytes: a two-letter extension in a non-Latin script is still two letters.
std::size_t CharacterCount(std::string_view text)
{
    std::size_t n = 0;
    for (char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++n;
    return n;
}
}  // namespace

std::string TrimLeadingSpace(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && IsLeadingSpace(text[i])) ++i;
    return std::string(text.substr(i));
}

bool IsExtensionAccepted(std::string_view extension, std::string_view validList)
{
    return CharacterCount(extension) >= 3 && validList.find(extension) != std::string_view::npos;
}

bool IsExtensionAccepted(std::string_view extension, const CValidList& list, std::string_view saved)
{
    if (list.fetched)
        return IsExtensionAccepted(extension, list.text);
    return !saved.empty() && extension == saved;
}

EFetchResult FetchExtensionList(IInternet* internet, const std::string& url, std::string& list)
{
    if (!internet)
        return EFetchResult::NoInternet;
    const CWebReply reply = GetUrl(*internet, url, 0);
    list += reply.body;
    return reply.result;
}
