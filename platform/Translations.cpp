// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "platform/Translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

namespace platform {

QString toolkitTranslationFile()
{
    return QDir(QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        .filePath(QStringLiteral("qtbase_ja.qm"));
}

bool installToolkitTranslation()
{
    // One translator for the whole run, owned by the application.
    static QPointer<QTranslator> installed;
    if (installed)
        return true;
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(toolkitTranslationFile())) {
        qWarning("tarnwell: cannot read %s; the toolkit's own texts stay in English",
                 qUtf8Printable(toolkitTranslationFile()));
        delete translator;
        return false;
    }
    if (!QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    installed = translator;
    return true;
}

} // namespace platform
