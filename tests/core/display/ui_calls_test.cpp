#include "ui/display/UiCallQueue.h"
#include "ui/display/UiUpdates.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

// The worker-to-window hand-off: order, waiting, and letting go at close.
namespace {

TEST(UiCalls, RunOnTheOwnerInOrderAndTheCallerWaitsForEach)
{
    CUiCallQueue calls;
    std::vector<int> ran;  // touched on the owner's thread only
    std::vector<int> seenAfterReturn;
    std::atomic<bool> finished{false};
    QThread* owner = QThread::currentThread();
    std::atomic<bool> allOnOwner{true};
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i) {
            calls.Call([&, i] {
                allOnOwner = allOnOwner && QThread::currentThread() == owner;
                ran.push_back(i);
            });
            // Returned: the call has run, so its effect is there to see.
            seenAfterReturn.push_back(ran.empty() ? -1 : ran.back());
        }
        finished = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return finished.load(); }, 10000));
    worker.join();
    ASSERT_EQ(ran.size(), 50u);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(ran[i], i);
        EXPECT_EQ(seenAfterReturn[i], i);
    }
    EXPECT_TRUE(allOnOwner);
}

TEST(UiCalls, AModalLoopInACallKeepsTheCallerWaitingUntilItEnds)
{
    CUiCallQueue calls;
    std::atomic<bool> returned{false};
    bool returnedWhileOpen = true;
    std::thread worker([&] {
        calls.Call([&] {
            QDialog box;
            QTimer::singleShot(300, &box, [&] {
                returnedWhileOpen = returned;
                box.accept();
            });
            box.exec();
        });
        returned = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return returned.load(); }, 5000));
    worker.join();
    EXPECT_FALSE(returnedWhileOpen);
}

TEST(UiCalls, CloseLetsAWaitingCallerGoWithoutRunningItsCall)
{
    CUiCallQueue calls;
    std::atomic<int> ran{0};
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        calls.Call([&] { ++ran; });  // the owner's loop is not run: this one waits
        calls.Call([&] { ++ran; });  // after close: dropped at once
        returned = true;
    });
    QThread::msleep(100);
    EXPECT_FALSE(returned);
    QElapsedTimer t;
    t.start();
    calls.Close();
    worker.join();
    EXPECT_LT(t.elapsed(), 1000);
    EXPECT_TRUE(returned);
    QTest::qWait(50);
    calls.RunPending();
    EXPECT_EQ(ran, 0);
}

TEST(UiCalls, OwnerCanRunWaitingCallsItselfAndCallsDirectly)
{
    CUiCallQueue calls;
    int direct = 0;
    calls.Call([&] { ++direct; });
    EXPECT_EQ(direct, 1);

    std::atomic<bool> returned{false};
    int ran = 0;
    std::thread worker([&] {
        calls.Call([&] { ++ran; });
        returned = true;
    });
    // The owner waiting on the worker without its event loop, as at exit.
    for (int i = 0; i < 500 && !returned; ++i) {
        calls.RunPending();
        QThread::msleep(2);
    }
    worker.join();
    EXPECT_EQ(ran, 1);
}

// A worker's window lines and status texts, posted while the UI thread does not run its loop
// at all: the worker never waits, the lines arrive whole and in order in one insertion, and of
// the status texts only the last is shown.
TEST(UiCalls, PostedLinesKeepTheirOrderAndOnlyTheLastStatusIsShown)
{
    CUiCallQueue calls;
    std::vector<std::string> statuses;
    std::vector<std::string> insertions;
    CUiUpdates updates(
        calls, [&](const std::string& s) { statuses.push_back(s); },
        [&](const std::string& l) { insertions.push_back(l); });
    std::vector<int> order;
    std::atomic<bool> posted{false};
    std::string expected;
    for (int i = 0; i < 1000; ++i) expected += "line " + std::to_string(i) + "\r\n";
    std::thread worker([&] {
        for (int i = 0; i < 1000; ++i) {
            updates.AddLines("line " + std::to_string(i) + "\r\n");
            updates.SetStatus("status " + std::to_string(i));
        }
        posted = true;
        calls.Post([&] { order.push_back(1); });
        calls.Call([&] { order.push_back(2); });  // waits: runs after everything before it
    });
    // The queue is served by hand, and only once the worker has sent everything.
    for (int i = 0; i < 5000 && order.size() < 2; ++i) {
        QThread::msleep(1);
        if (posted)
            calls.RunPending();
    }
    calls.Close();  // lets the worker go should the call never have run
    worker.join();
    ASSERT_EQ(insertions.size(), 1u);
    EXPECT_EQ(insertions[0], expected);
    EXPECT_EQ(statuses, std::vector<std::string>{"status 999"});
    EXPECT_EQ(order, (std::vector<int>{1, 2}));

    // A text set on the UI thread lands after what the worker sent before it, never under it.
    CUiCallQueue calls2;
    statuses.clear();
    CUiUpdates updates2(
        calls2, [&](const std::string& s) { statuses.push_back(s); }, [](const std::string&) {});
    std::thread late([&] { updates2.SetStatus("from the worker"); });
    late.join();
    updates2.SetStatus("from the UI");
    calls2.RunPending();
    EXPECT_EQ(statuses, std::vector<std::string>{"from the UI"});
}

// A worker that sends a line every millisecond or so while the UI thread runs its loop: the
// lines arrive whole and in order in a few insertions a second, the last status soon after.
TEST(UiCalls, ASteadyStreamIsShownInAFewPiecesASecond)
{
    CUiCallQueue calls;
    std::string shown;
    std::string status;
    int insertions = 0;
    CUiUpdates updates(
        calls, [&](const std::string& s) { status = s; },
        [&](const std::string& l) {
            shown += l;
            ++insertions;
        });
    std::string expected;
    for (int i = 0; i < 200; ++i) expected += "line " + std::to_string(i) + "\r\n";
    std::atomic<bool> done{false};
    QElapsedTimer clock;
    clock.start();
    std::thread worker([&] {
        for (int i = 0; i < 200; ++i) {
            updates.AddLines("line " + std::to_string(i) + "\r\n");
            updates.SetStatus("status " + std::to_string(i));
            QThread::usleep(1000);
        }
        done = true;
    });
    while (!done) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    worker.join();
    EXPECT_TRUE(QTest::qWaitFor([&] { return status == "status 199"; }, 1000));
    // Timed after the last piece: on a loaded machine that piece can come late, and counts.
    const qint64 spent = clock.elapsed();
    EXPECT_EQ(shown, expected);
    EXPECT_LE(insertions, spent / 50 + 3);
}

TEST(UiCalls, CloseDuringABurstLetsTheWorkerRunOnAndDropsTheRest)
{
    CUiCallQueue calls;
    int applied = 0;
    CUiUpdates updates(
        calls, [&](const std::string&) { ++applied; }, [&](const std::string&) { ++applied; });
    std::atomic<bool> stop{false};
    std::atomic<int> sent{0};
    std::thread worker([&] {
        while (!stop && sent < 1000000) {
            updates.AddLines("a line\r\n");
            updates.SetStatus("busy");
            ++sent;
        }
    });
    QTest::qWait(30);
    calls.Close();
    const int before = applied;
    const int sentAtClose = sent;
    QTest::qWait(30);
    stop = true;
    worker.join();
    EXPECT_GT(sent.load(), sentAtClose) << "the worker kept going after the close";
    calls.RunPending();
    EXPECT_EQ(applied, before);
    EXPECT_FALSE(calls.Post([] {}));
}

}  // namespace
