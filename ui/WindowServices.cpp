#include "ui/WindowServices.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

namespace ksr::ui {

void WindowServices::beep() {
    QApplication::beep();
}

void WindowServices::sleepMs(int milliseconds) {
    QThread::msleep(static_cast<unsigned long>(milliseconds));
}

void WindowServices::endProgram() {
    QCoreApplication::exit(0);
}

QDateTime WindowServices::now() const {
    return QDateTime::currentDateTimeUtc();  // the window shows and stores UTC
}

void WindowServices::showError(QWidget* parent, const QString& message) {
    QMessageBox::critical(parent, QStringLiteral("Error"), message);
}

}  // namespace ksr::ui
