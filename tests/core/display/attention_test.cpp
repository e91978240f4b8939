// When the agent asks for the author's attention, and when it says so on the desktop: once per
// problem, never per poll, never for success.
#include "core/cycle/CycleContext.h"
#include "core/display/Attention.h"

#include <gtest/gtest.h>

namespace {

CCycleFaults Faults(bool refused, bool unreachable, int failures, int local = 0)
{
    CCycleFaults f;
    f.loginRefused = refused;
    f.unreachable = unreachable;
    f.transferFailures = failures;
    f.localFailures = local;
    return f;
}

TEST(Attention, EachProblemIsAnnouncedOnceAndShownUntilItEnds)
{
    struct Step {
        const char* what;
        CCycleFaults faults;
        int waiting;
        const char* note;  // a word of the notification, or null for none
        const char* tip;   // a word of the tooltip, or null for no attention
    };
    const Step steps[] = {
        {"all well", Faults(false, false, 0), 0, nullptr, nullptr},
        {"unreachable 1", Faults(false, true, 0), 2, nullptr, "unreachable, 2 file(s)"},
        {"unreachable 2", Faults(false, true, 0), 2, nullptr, "unreachable"},
        {"unreachable 3", Faults(false, true, 0), 2, "three polls", "unreachable"},
        {"unreachable 4", Faults(false, true, 0), 2, nullptr, "unreachable"},
        {"back, nothing waits", Faults(false, false, 0), 0, nullptr, nullptr},
        {"unreachable, nothing waits", Faults(false, true, 0), 0, nullptr, nullptr},
        {"a put fails", Faults(false, false, 1), 1, "could not be uploaded", "Transfer failed, 1"},
        {"it fails again", Faults(false, false, 1), 1, nullptr, "Transfer failed"},
        {"a download fails", Faults(false, false, 1), 0, nullptr, nullptr},
        {"sent", Faults(false, false, 0), 0, nullptr, nullptr},
        {"sent, not archived", Faults(false, false, 0, 1), 0, "archived or marked", "not archived"},
        {"still not archived", Faults(false, false, 0, 1), 0, nullptr, "not archived"},
        {"archived at last", Faults(false, false, 0), 0, nullptr, nullptr},
        {"fails anew", Faults(false, false, 2), 3, "could not be uploaded", "3 file(s)"},
        {"refused", Faults(true, false, 0), 3, "refused", "Login refused"},
        {"refused again", Faults(true, false, 0), 3, nullptr, "Login refused"},
        {"Transfer Now passes", Faults(false, false, 0), 0, nullptr, "Login refused"},
    };
    CAttention attention;
    for (const Step& s : steps) {
        const std::string note = attention.CycleEnded(s.faults, s.waiting);
        if (s.note) {
            EXPECT_NE(note.find(s.note), std::string::npos) << s.what << ": " << note;
        } else {
            EXPECT_EQ(note, "") << s.what;
        }
        EXPECT_EQ(attention.Active(), s.tip != nullptr) << s.what;
        if (s.tip) {
            EXPECT_NE(attention.Tip().find(s.tip), std::string::npos)
                << s.what << ": " << attention.Tip();
        }
        EXPECT_LE(attention.Tip().size(), 63u) << s.what;
    }
    attention.ConfigurationSaved();
    EXPECT_FALSE(attention.Active());
    // A new refusal after the save is a new problem.
    EXPECT_NE(attention.CycleEnded(Faults(true, false, 0), 0), "");
}

TEST(Attention, TooltipsFitTheTrayWithManyFiles)
{
    CAttention attention;
    attention.CycleEnded(Faults(false, true, 0), 99999);
    EXPECT_LE(attention.Tip().size(), 63u) << attention.Tip();
    CAttention other;
    other.CycleEnded(Faults(false, false, 5), 99999);
    EXPECT_LE(other.Tip().size(), 63u) << other.Tip();
}

}  // namespace
