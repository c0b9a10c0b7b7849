#include "ui/ComSelectForm.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "serial/PortList.h"

namespace ksr::ui {

TComSelectForm::TComSelectForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ComSelectForm"));
    setWindowTitle(QStringLiteral("Select Port"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("The configured serial port is not valid."), this));
    layout->addWidget(new QLabel(QStringLiteral("Please choose another port."), this));
    ports_ = new QComboBox(this);
    ports_->setObjectName(QStringLiteral("PortsComboBox"));
    ports_->setEditable(true);  // a device path the list cannot show may be typed in
    // Enter confirms what was typed, as "OK" does: it must not become an entry without a device.
    ports_->setInsertPolicy(QComboBox::NoInsert);
    ports_->setMinimumWidth(360);
    for (const serial::PortEntry& p : serial::PresentPorts()) {
        ports_->addItem(
            QStringLiteral("COM%1   %2   %3").arg(p.number).arg(p.device, p.description), p.device);
        ports_->setItemData(ports_->count() - 1, p.description, Qt::ToolTipRole);
    }
    if (ports_->count() > 0) ports_->setCurrentIndex(0);
    layout->addWidget(ports_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

QString TComSelectForm::chosenDevice() const {
    const int index = ports_->findText(ports_->currentText());
    if (index >= 0 && !ports_->itemData(index).toString().isEmpty())
        return ports_->itemData(index).toString();
    return ports_->currentText().trimmed();  // typed in
}

std::optional<QString> TComSelectForm::Ask(QWidget* parent, const QString& offered) {
    TComSelectForm form(parent);
    if (!offered.isEmpty()) {
        const int at = form.ports_->findData(offered);
        if (at >= 0)
            form.ports_->setCurrentIndex(at);
        else
            form.ports_->setEditText(offered);
    }
    if (form.exec() != QDialog::Accepted) return std::nullopt;
    return form.chosenDevice();
}

}  // namespace ksr::ui
