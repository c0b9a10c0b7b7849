// The minimal Qt window the start-up benchmark measures the window against: as plain as a Qt
// window gets, with the window's style and size, reporting its first frame as the window does.
// Built for Linux and for Windows alike.

#include <QApplication>
#include <QStyleFactory>
#include <QWidget>

#include "ui/FirstFrame.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QWidget window;
    window.resize(712, 794);
    ksr::ui::ReportFirstFrameIfAsked(&window);
    window.show();
    return app.exec();
}
