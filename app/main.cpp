#include "Display.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    if (!platform::displayAvailable()) {
        platform::reportNoDisplay("tarnwell");
        return 1;
    }
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Tarnwell"));
    window.show();
    return app.exec();
}
