#pragma once
#include "core/service/WebRequests.h"

#include <array>
#include <string>
#include <string_view>

class IInternet;

// The service decides which extensions may be uploaded; its list is plain text that is never
// parsed, only searched.

// Extension boxes of the Configuration dialog, row 1 to 10.
inline constexpr std::array<int, 10> kExtensionBoxIds = {1013, 1029, 1030, 1031, 1032,
                                                         1016, 1039, 1040, 1041, 1042};

// Removes leading blanks, tabs and line breaks; trailing ones stay.
std::string TrimLeadingSpace(std::string_view text);

// Accepted when the extension occurs anywhere in the list, byte for byte, and is at least three
// characters long (so "wa" of "wav" is not enough, while a run across a separator is).
bool IsExtensionAccepted(std::string_view extension, std::string_view validList);

// What the Configuration dialog holds of the service's list. A request that failed gives no
// list at all, which is not the same as an empty list the service did send.
struct CValidList {
    std::string text;
    bool fetched = false;
};

// Without a list, an extension saved before (`saved` not empty) and unchanged since is taken on
// trust: it passed the check when it was saved. A list that came, even empty, decides alone.
bool IsExtensionAccepted(std::string_view extension, const CValidList& list,
                         std::string_view saved);

// Index of the first refused of `extensions`, or -1 when all are accepted.
template <class Container>
int FirstRefusedExtension(const Container& extensions, std::string_view validList)
{
    int row = 0;
    for (const auto& ext : extensions) {
        if (!IsExtensionAccepted(ext, validList))
            return row;
        ++row;
    }
    return -1;
}

// The same with each row's saved extension (`saved` as long as `extensions`).
template <class Container>
int FirstRefusedExtension(const Container& extensions, const CValidList& list,
                          const Container& saved)
{
    for (std::size_t row = 0; row < std::size(extensions); ++row)
        if (!IsExtensionAccepted(extensions[row], list, saved[row]))
            return static_cast<int>(row);
    return -1;
}

// One valid-extensions request: opens the internet with our user agent, opens `url` with
// flags 0 and appends every piece of the body to `list`. A read failing part-way keeps the
// pieces read so far.
EFetchResult FetchExtensionList(IInternet* internet, const std::string& url, std::string& list);
