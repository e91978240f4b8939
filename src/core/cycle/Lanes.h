#pragma once
#include "core/cycle/CycleContext.h"
#include "core/ftp/MyInternetSession.h"

#include <functional>
#include <memory>
#include <vector>

// The most FTP sessions one pass opens for a backlog.
inline constexpr int kMostSessions = 3;

// How many sessions a pass of `files` files opens when the layer allows `most`: one for a
// few files, where a second login costs more than it saves; more for a backlog.
int SessionsFor(int files, int most);

// One FTP session of a pass: its internet session and its connection. The first session's
// connection is the work list's own, as a pass of one session has always used.
struct CLane {
    int number = 0;
    std::unique_ptr<CMyInternetSession> session;
    std::unique_ptr<IFtpConnection> own;
    std::unique_ptr<IFtpConnection>* conn = &own;
    // Set by a file whose remaining steps wait only on the web (the notification or the
    // confirmation, and what follows it): they run beside the next file's FTP steps, on the
    // cycle's web connection, and the file is done when they are.
    std::function<void(CCycleContext& fileCtx)> then;
};

// What one file of a pass does on a lane; false when the lane can carry no more files (its
// session lost, the connect failed).
using LaneFile = std::function<bool(CLane& lane, CCycleContext& fileCtx, int index)>;

// Runs the files 0 .. count-1 of a pass over `sessions` sessions (lane 0 on the calling
// thread, the others on threads of their own, which log in quietly before they take a file:
// a session that cannot be had leaves the files to the others). Each file's events reach
// ctx.events whole and in list order. Sets the work list's index to the first file no lane
// finished. `budgetStops`: a lane whose wait budget is spent takes no more files.
void RunLanes(CCycleContext& ctx, int count, int sessions, char account, bool budgetStops,
              const LaneFile& file);
