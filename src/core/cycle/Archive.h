#pragma once
#include <string>

struct CCycleContext;
namespace fsys {
struct SourceFile;
}

// The author's side of a delivered file: its archive copy and its sent mark, both made through
// the descriptor the put read. What fails is reported as a problem of the file, and remembered
// in the state folder, so that a file that cannot be marked is not sent again while unchanged
// and a missing archive copy is made at a later cycle. True when both were made.
bool MarkSent(CCycleContext& ctx, const fsys::SourceFile& file, const std::string& local,
              const std::string& folder, const std::string& name);

// Makes the archive copies that failed before, of files still unchanged and marked sent.
void RetryArchives(CCycleContext& ctx);

// Marks, without sending them again, the files the service took in a run that stopped before
// their mark (as recorded then), while they are unchanged.
void MarkAnnounced(CCycleContext& ctx);

// Says once a run that the state folder cannot be written, and why.
void ReportStateFailure(CCycleContext& ctx);

// Says what the scan left out: each link once a run, and files sent but not markable; forgets
// the remembered files that changed since. Then tells which files still need the author: those
// waiting and those sent but not yet archived or marked.
void ReportSkipped(CCycleContext& ctx);

