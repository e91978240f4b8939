#pragma once
#include <string>

struct CSettings;
struct CWorkList;

// Lists the files waiting in the source folders: empties the work list, then scans the pairs
// 1 to 10 in order, each when both its folder and its extension are set.
void ScanSourceFolders(const CSettings& settings, CWorkList& work);

// Appends the writable files of one folder (not its sub-folders) that match "*." + ext,
// in directory-search order, as folder text + name.
void ScanFolder(const std::string& folder, const std::string& ext, CWorkList& work);
