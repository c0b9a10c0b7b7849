// ksr-setup: the set-up window. The working directory is the process's current directory.

#include <QApplication>

#include "setup/SetupRecord.h"
#include "ui/TKSR_SetUp.h"
#include "ui/WindowServices.h"

int main(int argc, char** argv) {
    ksr::SetupRecord record;
    ksr::SetDefaults(record);
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);  // the window's own close question decides
    ksr::ui::WindowServices services;
    ksr::ui::TKSR_SetUp window(record, services);
    window.show();
    return app.exec();
}
