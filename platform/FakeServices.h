// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The platform seams as test doubles, bundled for tests and drivers that
// build a whole window.

#include "platform/FakeDesktopShell.h"
#include "platform/FakeHelpViewer.h"
#include "platform/FakeMessageBox.h"
#include "platform/FakeVolumeList.h"
#include "platform/Services.h"
#include "platform/SettingsStore.h"

struct FakeServices {
    FakeMessageBox messageBox;
    FakeHelpViewer help;
    MemorySettingsStore settings;
    FakeVolumeList volumes;
    FakeDesktopShell desktop;

    PlatformServices services() { return {&messageBox, &help, &settings, &volumes, &desktop}; }
};
