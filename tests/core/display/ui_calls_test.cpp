#include "core/display/UiCallQueue.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
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

}  // namespace
