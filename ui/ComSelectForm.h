#pragma once
// "Select Port": offered when the configured port number names no present port. Lists the
// present ports, read anew each time it opens; a device path can be typed in as well.

#include <QComboBox>
#include <QDialog>
#include <optional>

namespace ksr::ui {

class TComSelectForm : public QDialog {
    Q_OBJECT
  public:
    explicit TComSelectForm(QWidget* parent = nullptr);
    // The device chosen or typed; empty if none.
    QString chosenDevice() const;
    QComboBox* portsComboBox() const { return ports_; }

    // Shows the dialog, `offered` (a device chosen before) selected when given; the device
    // chosen, or nothing on "Cancel".
    static std::optional<QString> Ask(QWidget* parent, const QString& offered = {});

  private:
    QComboBox* ports_;
};

}  // namespace ksr::ui
