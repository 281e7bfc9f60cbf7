// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// What every thread of a run shares about resources: the first resource that
// ran short for good. Any thread may read or set it; once set, the run is
// failed and nobody waits for resources any more.

#include "platform/ResourceLimits.h"

#include <atomic>
#include <stop_token>

namespace search {

// What the walk and the workers share about resources. Once something ran
// short for good, the run is failed: nobody waits for resources any more.
struct RunState {
    std::atomic<int> resourceError{0};
    // Requested from any thread (the window's stop, a signal): the walk lists
    // no more, workers take no more files and break off the one they read,
    // and no result settled after it is reported.
    std::stop_token stop;

    bool stopped() const { return stop.stop_requested(); }

    void fail(int error)
    {
        int none = 0;
        resourceError.compare_exchange_strong(none, error);
    }
    bool failed() const { return resourceError.load(std::memory_order_relaxed) != 0; }
    // Waits before retry number `attempt` of something that ran short; false
    // when the caller is to give up (then the run is failed with `error`).
    bool wait(int attempt, int error)
    {
        if (!failed() && !stopped() && platform::waitForResources(attempt))
            return true;
        fail(error);
        return false;
    }
};

} // namespace search
