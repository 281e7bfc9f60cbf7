// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once

#include "platform/ResourceLimits.h"

#include <algorithm>
#include <cstddef>

namespace search {

// The walk keeps the folders of the current path open, so that each folder is
// opened relative to its parent and the path may grow without limit. Folders
// deeper than this keep their descriptor only while the walk is inside them;
// coming back to one that has more sub-folders to enter, the walk opens it
// again from the deepest folder still open. At most kHeldLevels + 4
// descriptors are open at once (the held ones, the current folder, a child
// being entered, its listing and the file system check of what it names).
constexpr std::size_t kHeldLevels = 32;
constexpr int kWalkExtraDescriptors = 4;
constexpr int kDescriptorsPerWorker = 2; // a file and its folder

// How many of `wanted` threads for storage that waits fit in the descriptors
// the process may still open, each taking up to `each`. The walk's held
// folders and a reserve stay; the read-ahead helpers and the workers may each
// take half of what is left.
int fitDescriptors(int wanted, int each)
{
    const int spare = platform::descriptorRoom() - int(kHeldLevels) - kWalkExtraDescriptors - 16;
    return std::clamp(spare / 2 / each, 0, wanted);
}

// How many workers a run takes and how many folders its walk holds open, so
// that their descriptors fit in what the process may still open, with room to
// spare for the front (a window opens files of its own).
struct DescriptorBudget {
    int workers;
    std::size_t heldLevels;
};

constexpr int kSpareDescriptors = 8;

DescriptorBudget budgetDescriptors(int workers, int room)
{
    room -= kSpareDescriptors;
    const int walk = int(kHeldLevels) + kWalkExtraDescriptors;
    if (workers > 1) {
        // The walk runs beside the workers.
        const int fit = (room - walk) / kDescriptorsPerWorker;
        if (fit >= 2)
            return {std::min(workers, fit), kHeldLevels};
        workers = 1;
    }
    // One thread reads after the walk has closed its folders: the walk alone
    // decides, holding fewer folders open (and opening them again more often).
    const int held = std::clamp(room - kWalkExtraDescriptors, 1, int(kHeldLevels));
    return {1, std::size_t(held)};
}

} // namespace search
