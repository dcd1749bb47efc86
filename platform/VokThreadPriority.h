#pragma once

#include <cstdint>

/// How far above normal a thread should run. The order is the order of urgency.
enum TVokThreadPriority : uint8_t {
    tpAboveNormal, ///< ahead of ordinary threads
    tpHighest,     ///< one step below time-critical: workers that must keep pace with a clock
    tpTimeCritical ///< timer threads that only hand ticks on
};

/// What `RaiseCurrentThreadPriority` achieved.
enum TVokPriorityOutcome : uint8_t {
    poRealTime, ///< the thread now runs under a real-time round-robin policy
    poNice,     ///< the thread keeps the normal policy with a lower nice value
    poUnchanged ///< the system refused both; the thread runs as before
};

/// Raises the calling thread's scheduling priority to `priority` where the system permits:
/// first a real-time round-robin policy (levels 28, 29, 30 above the policy's minimum, in the
/// order of the enumeration, clamped to its range), else a lower nice value for this thread
/// alone (-5, -10, -15), else nothing. Never lowers a priority the thread already has: a thread
/// already real-time at that level or above is left alone, and a nice value is only changed
/// when the new one is lower than the current one. Failures are silent;
/// the answer tells what happened. Throws std::invalid_argument for a value outside the
/// enumeration.
TVokPriorityOutcome RaiseCurrentThreadPriority(TVokThreadPriority priority);
