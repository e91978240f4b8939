#pragma once
#include <cstddef>
#include <string>

struct CCycleContext;

inline constexpr std::size_t kMaxDownloadPath = 255;

// Creates the folder when it is missing; an existing one is left alone and a failure ignored.
void EnsureFolder(const std::string& path);

// The folder used when TDir is empty, ending with a separator: C:\nimbrel\download\ on
// Windows, $HOME/nimbrel/download/ elsewhere.
std::string DefaultDownloadFolder();

// Whether a name listed by the server may become a local file name: one that is empty, "."
// or "..", holds a separator or a control character could leave the download folder or
// forge lines in the log.
bool IsSafeDownloadName(const std::string& name);

// Fetches every entry of ctx.work into the download folder and confirms each one fetched.
// Returns how many were fetched and confirmed.
int DownloadFiles(CCycleContext& ctx, const std::string& sourceDir);
