#include "platform/VokThreadPriority.h"

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <string>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

struct TLevel {
    int RealTimeAboveMinimum;
    int Nice;
};

TLevel LevelOf(TVokThreadPriority priority) {
    switch (priority) {
    case tpAboveNormal:
        return {28, -5};
    case tpHighest:
        return {29, -10};
    case tpTimeCritical:
        return {30, -15};
    }
    throw std::invalid_argument("RaiseCurrentThreadPriority: unknown priority " +
                                std::to_string(static_cast<int>(priority)));
}

} // namespace

TVokPriorityOutcome RaiseCurrentThreadPriority(TVokThreadPriority priority) {
    const TLevel level = LevelOf(priority);

    // Round-robin rather than first-in-first-out: threads of equal level share the processor
    // instead of one starving the others when a callback runs long.
    const int minimum = sched_get_priority_min(SCHED_RR);
    const int maximum = sched_get_priority_max(SCHED_RR);
    if (minimum >= 0 && maximum >= minimum) {
        const int wanted = std::clamp(minimum + level.RealTimeAboveMinimum, minimum, maximum);
        int policy = SCHED_OTHER;
        sched_param parameter{};
        if (pthread_getschedparam(pthread_self(), &policy, &parameter) == 0 &&
            (policy == SCHED_RR || policy == SCHED_FIFO) && parameter.sched_priority >= wanted) {
            return poRealTime;
        }
        parameter.sched_priority = wanted;
        if (pthread_setschedparam(pthread_self(), SCHED_RR, &parameter) == 0) {
            return poRealTime;
        }
    }

    // Linux keeps a nice value per thread, addressed by its kernel thread id.
    const auto threadId = static_cast<id_t>(syscall(SYS_gettid));
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, threadId);
    if (errno != 0 || current <= level.Nice) {
        return poUnchanged;
    }
    if (setpriority(PRIO_PROCESS, threadId, level.Nice) == 0) {
        return poNice;
    }
    return poUnchanged;
}
