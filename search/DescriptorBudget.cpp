// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "search/DescriptorBudget.h"

#include "platform/ResourceLimits.h"

#include <algorithm>

namespace search {

namespace {

constexpr int kSpareDescriptors = 8;

} // namespace

int fitDescriptors(int wanted, int each)
{
    const int spare = platform::descriptorRoom() - int(kHeldLevels) - kWalkExtraDescriptors - 16;
    return std::clamp(spare / 2 / each, 0, wanted);
}

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
