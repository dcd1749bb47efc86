#include "platform/VokThreadPriority.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <future>
#include <stdexcept>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

struct TObserved {
    TVokPriorityOutcome Outcome;
    int Policy;
    int RealTimePriority;
    int NiceBefore;
    int NiceAfter;
};

int CurrentNice() {
    errno = 0;
    return getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
}

// Raises in a fresh thread (so the test thread keeps its priority) and reports what the
// system shows afterwards.
TObserved RaiseInFreshThread(std::initializer_list<TVokThreadPriority> steps) {
    return std::async(std::launch::async,
                      [steps] {
                          TObserved observed{};
                          observed.NiceBefore = CurrentNice();
                          for (TVokThreadPriority step : steps) {
                              observed.Outcome = RaiseCurrentThreadPriority(step);
                          }
                          sched_param parameter{};
                          pthread_getschedparam(pthread_self(), &observed.Policy, &parameter);
                          observed.RealTimePriority = parameter.sched_priority;
                          observed.NiceAfter = CurrentNice();
                          return observed;
                      })
        .get();
}

class ThreadPriorityTest : public ::testing::TestWithParam<TVokThreadPriority> {};

// Whatever the system permits, the answer matches what the scheduler shows.
TEST_P(ThreadPriorityTest, TheOutcomeMatchesTheSchedulerState) {
    const int level = static_cast<int>(GetParam());
    const TObserved observed = RaiseInFreshThread({GetParam()});
    switch (observed.Outcome) {
    case poRealTime:
        EXPECT_EQ(observed.Policy, SCHED_RR);
        EXPECT_EQ(observed.RealTimePriority, sched_get_priority_min(SCHED_RR) + 28 + level);
        break;
    case poNice:
        EXPECT_EQ(observed.Policy, SCHED_OTHER);
        EXPECT_EQ(observed.NiceAfter, -5 * (level + 1));
        break;
    case poUnchanged:
        EXPECT_EQ(observed.Policy, SCHED_OTHER);
        EXPECT_EQ(observed.NiceAfter, observed.NiceBefore);
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, ThreadPriorityTest,
                         ::testing::Values(tpAboveNormal, tpHighest, tpTimeCritical));

TEST(ThreadPriority, ARaiseNeverLowersWhatTheThreadAlreadyHas) {
    const TObserved high = RaiseInFreshThread({tpTimeCritical});
    const TObserved thenLower = RaiseInFreshThread({tpTimeCritical, tpAboveNormal});
    EXPECT_EQ(thenLower.Policy, high.Policy);
    EXPECT_EQ(thenLower.RealTimePriority, high.RealTimePriority);
    EXPECT_EQ(thenLower.NiceAfter, high.NiceAfter);
}

TEST(ThreadPriority, AnUnknownLevelIsRefused) {
    EXPECT_THROW(RaiseCurrentThreadPriority(static_cast<TVokThreadPriority>(7)),
                 std::invalid_argument);
}

} // namespace
