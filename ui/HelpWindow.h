#pragma once
// The help window (F1, or "?" beside the pages): the road from a new set-up to an upload, the
// keyboard, the status colours, the serial port's group and the working folder. Offline, from
// the program's own resources.

#include <QDialog>
#include <QString>

class QTextBrowser;

namespace ksr::ui {

class HelpWindow : public QDialog {
    Q_OBJECT
  public:
    HelpWindow(const QString& workingFolder, QWidget* parent);
    // The help's text as shown (HTML), for the tests.
    QString html() const;
    // Scrolls to a section: "edit", "upload" or "power".
    void showSection(const QString& anchor);
    // The first line in view.
    QString topLine() const;

  private:
    QTextBrowser* text_;
};

}  // namespace ksr::ui
