// A recording is sent when it is finished: never while a writer has it, never in part.
#include "support/CycleSuite.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace {

using namespace orbidex::test;
using std::chrono::milliseconds;

class Finished : public CycleSuite {
protected:
    // Sent once, whole: the put, the announcement, the archive copy and the mark.
    void ExpectSentWholeOnce(const std::string& name, std::size_t size)
    {
        EXPECT_EQ(Notified().size(), 1u);
        EXPECT_TRUE(Done(name));
        EXPECT_EQ(ReadAll(m_src + name).size(), size);
        EXPECT_EQ(ReadAll(m_src + "tolvane/" + name), ReadAll(m_src + name));
        // Held back is not a failure: nothing for the author to mend.
        EXPECT_TRUE(Problems().empty());
        EXPECT_EQ(m_auto->State().Snapshot().last.failed, 0);
        EXPECT_EQ(InLog(name + " is still being written"), 1);
    }
};

// Pauses longer than the settle time while the file stays open: only the kernel's word that a
// writer still has it holds it back.
TEST_F(Finished, AFileHeldOpenIsNotSentUntilItIsClosed)
{
    m_auto->SetSettleTime(300);
    {
        std::ofstream out(m_src + "rec.wav", std::ios::binary);
        for (char c : std::string("abc")) {
            out << std::string(4000, c) << std::flush;
            std::this_thread::sleep_for(milliseconds(500));
            RunCycle();
            ASSERT_TRUE(Notified().empty());
            ASSERT_FALSE(fsys::IsReadOnly(m_src + "rec.wav"));
        }
    }
    std::this_thread::sleep_for(milliseconds(400));
    RunCycle();
    RunCycle();
    ExpectSentWholeOnce("rec.wav", 12000);
}

// Closes the file between appends: nobody has it open then, and the settle time holds it. While
// it is written the settle time is far longer than a loaded machine may take between an append
// and the cycle's look; then a short one lets it go, counted from the last change.
TEST_F(Finished, AWriterThatClosesBetweenAppendsIsHeldByTheSettleTime)
{
    m_auto->SetSettleTime(60000);
    for (char c : std::string("abcd")) {
        std::ofstream(m_src + "rec.wav", std::ios::binary | std::ios::app) << std::string(4000, c);
        RunCycle();
        ASSERT_TRUE(Notified().empty());
        std::this_thread::sleep_for(milliseconds(300));
    }
    m_auto->SetSettleTime(1500);
    ASSERT_TRUE(WaitFor(
        [&] {
            m_auto->StartAutomation();
            return WaitFor([&] { return !m_auto->IsBusy(); }) && !Notified().empty();
        },
        15000));
    RunCycle();
    ExpectSentWholeOnce("rec.wav", 16000);
}

// Closed a moment before the cycle looks (a copied file, the first cycle's files): nobody
// writes it, so it waits quietly for the settle time and is then sent.
TEST_F(Finished, AFileClosedAMomentBeforeACycleWaitsQuietly)
{
    m_auto->SetSettleTime(1500);
    std::ofstream(m_src + "copy.wav", std::ios::binary) << std::string(5000, 'c');
    RunCycle();
    ASSERT_TRUE(Notified().empty());
    std::this_thread::sleep_for(milliseconds(1600));
    RunCycle();
    EXPECT_EQ(Notified().size(), 1u);
    EXPECT_EQ(InLog("is still being written"), 0);
}

}  // namespace
