// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The toolkit's own texts (standard buttons, the text boxes' context menu, the
// scroll bars' menu) in Japanese, whatever the system's locale: Qt's Japanese
// translation from the system's Qt translations folder.

#include <QString>

namespace platform {

// The file the toolkit's Japanese texts are read from.
QString toolkitTranslationFile();

// Installs the toolkit's Japanese translation on the running application, once.
// Returns false when the translation file is missing or cannot be read; the
// toolkit then shows its English texts.
bool installToolkitTranslation();

} // namespace platform
