#pragma once
#include "core/cycle/Settle.h"

#include <map>
#include <set>
#include <string>

struct CSettings;
struct CWorkList;

// What a cycle looks at: every matching file, or (a cycle of the folder watch) the names the
// folders' events gave, by folder ending in '/', with the files the last look left waiting.
struct CScanScope {
    bool all = true;
    std::map<std::string, std::set<std::string>> names;
};

// Lists the files waiting in the source folders: empties the work list, then scans the pairs
// 1 to 10 in order, each when both its folder and its extension are set. A narrow scope lists
// the same files in the same order as a whole scan would, of those it names; a folder it
// names nothing of is not opened.
void ScanSourceFolders(const CSettings& settings, CWorkList& work,
                       const CScanScope& scope = CScanScope{});

// Appends the writable files of one folder (not its sub-folders) that match "*." + ext, and
// are finished, in directory-search order, as folder text + name; the ones still being
// written go to the held list.
void ScanFolder(const std::string& folder, const std::string& ext, CWorkList& work,
                const std::set<std::string>* only = nullptr);

// One look of the work list's settle tracker at a file, at the present time.
ESettle LookSettled(CWorkList& work, const std::string& path, const fsys::FileStamp& stamp,
                    fsys::EWriters writers);
