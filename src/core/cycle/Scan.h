#pragma once
#include "core/cycle/Settle.h"

#include <string>

struct CSettings;
struct CWorkList;

// Lists the files waiting in the source folders: empties the work list, then scans the pairs
// 1 to 10 in order, each when both its folder and its extension are set.
void ScanSourceFolders(const CSettings& settings, CWorkList& work);

// Appends the writable files of one folder (not its sub-folders) that match "*." + ext, and
// are finished, in directory-search order, as folder text + name; the ones still being
// written go to the held list.
void ScanFolder(const std::string& folder, const std::string& ext, CWorkList& work);

// One look of the work list's settle tracker at a file, at the present time.
ESettle LookSettled(CWorkList& work, const std::string& path, const fsys::FileStamp& stamp,
                    fsys::EWriters writers);
