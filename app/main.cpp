// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "documents/ReaderPool.h"
#include "mainwindow/MainWindow.h"
#include "platform/Display.h"
#include "platform/QtDesktopShell.h"
#include "platform/QtHelpViewer.h"
#include "platform/QtMessageBox.h"
#include "platform/ResourceLimits.h"
#include "platform/SettingsStore.h"
#include "platform/TerminationSignals.h"
#include "platform/Translations.h"
#include "platform/Volumes.h"
#include "resources/Texts.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    if (!platform::displayAvailable()) {
        platform::reportNoDisplay("tarnwell");
        return 1;
    }
    // The search fits its threads and held folders into the descriptors left;
    // a session's soft limit is often far below what the system allows.
    platform::raiseDescriptorLimit();
    // Before any thread starts: under a lowered address-space limit the
    // search's threads share one heap arena instead of reserving one each.
    platform::fitMemoryArenas();
    QApplication app(argc, argv);
    // Lets Wayland docks match the window to its desktop entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tarnwell.Tarnwell"));
    // The toolkit's own texts in Japanese, like the rest of the window.
    platform::installToolkitTranslation();

    QtMessageBox messageBox;
    QtHelpViewer help(texts::helpFileName, QUrl(QStringLiteral("qrc:/help/")));
    IniSettingsStore settings;
    SystemVolumeList volumes;
    QtDesktopShell desktop;
    PlatformServices services;
    services.messageBox = &messageBox;
    services.help = &help;
    services.settings = &settings;
    services.volumes = &volumes;
    services.desktop = &desktop;
    // Documents are read in helper processes, started on the first document.
    documents::ReaderPool documentReaders;
    services.documents = &documentReaders;

    MainWindow window(services);
    window.show();
    // The session's end, a closed terminal or Ctrl+C in it: closed as by the
    // close box (a search stopped first, the settings written), then the
    // program ends, whatever other window (help) is open.
    platform::onTerminationSignals(&window, [&window] {
        window.close();
        auto *closed = new QTimer(&window);
        QObject::connect(closed, &QTimer::timeout, &window, [&window] {
            if (!window.isVisible())
                QCoreApplication::quit();
        });
        closed->start(20);
    });
    return app.exec();
}
