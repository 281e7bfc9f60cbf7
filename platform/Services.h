// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The platform seams a window takes at construction. The program passes the
// real implementations; tests pass doubles.

class MessageBoxService;
class HelpViewer;
class SettingsStore;
class VolumeList;
class DesktopShell;
class Beeper;
namespace documents {
class DocumentReader;
}

struct PlatformServices {
    MessageBoxService *messageBox = nullptr;
    HelpViewer *help = nullptr;
    SettingsStore *settings = nullptr;
    VolumeList *volumes = nullptr;
    DesktopShell *desktop = nullptr; // without one the window uses the real desktop
    Beeper *beeper = nullptr;        // without one the window uses the system bell
    // Where the search and the viewer read documents; without one the search
    // menu's documents item is disabled and every file is read as text.
    documents::DocumentReader *documents = nullptr;
};
