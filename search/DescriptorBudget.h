// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// How many threads and open folders a run may take, so that their descriptors
// fit in what the process may still open (platform::descriptorRoom()). Asked
// on the walk's thread, when the run starts and when the walk first reaches
// storage that waits; running short later is handled where it happens (the
// walk gives back held folders, a reader its folder, and both wait).

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
int fitDescriptors(int wanted, int each);

// How many workers a run takes and how many folders its walk holds open, so
// that their descriptors fit in what the process may still open, with room to
// spare for the front (a window opens files of its own).
struct DescriptorBudget {
    int workers;
    std::size_t heldLevels;
};

// room: the descriptors the process may still open.
DescriptorBudget budgetDescriptors(int workers, int room);

} // namespace search
