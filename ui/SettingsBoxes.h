#pragma once
// The single-value settings of the edit page: "Record Settings", "GPS Settings", "Aux. Channels"
// and "Calibration Signal". Every control stores its value into the record the moment it changes.

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

#include "setup/SetupRecord.h"
#include "ui/Widgets.h"

namespace ksr::ui {

// A button that pops up its menu with the menu's top-left corner at the button's bottom-left one.
class MenuButton : public QPushButton {
    Q_OBJECT
  public:
    MenuButton(const char* name, const char* caption, const char* menuName, QWidget* parent);
    QMenu* menu() const { return menu_; }
    // Adds an item that runs `action` when chosen.
    QAction* addItem(const char* name, const QString& text, std::function<void()> action);
    void popUp();

  private:
    QMenu* menu_;
};

// A value label that shows a table text exactly (its blanks included).
QLabel* ValueLabel(QWidget* parent, const char* name, QRect geometry);

class RecordSettingsBox : public QGroupBox {
    Q_OBJECT
  public:
    RecordSettingsBox(SetupRecord& record, QWidget* parent);

    void ContiRecClick();
    void TimedRecClick();
    void DataTypeClick(int code);
    void DiskModeClick(int code);
    void FileLengthChange();

    // The record mode's name (its window height is the window's matter).
    void ShowRecordMode();
    // File length, data type and disk mode from the record.
    void ShowFileAndFormat();
    SpinEdit* fileLength() const { return fileLength_; }

  signals:
    // The record mode was chosen from the menu: the window adapts its height.
    void recordModeChosen(int mode);

  private:
    SetupRecord& record_;
    QLabel* recModeText_;
    QLabel* dataTypeText_;
    QLabel* diskModeText_;
    SpinEdit* fileLength_;
};

class GpsSettingsBox : public QGroupBox {
    Q_OBJECT
  public:
    GpsSettingsBox(SetupRecord& record, QWidget* parent);

    void Continuous1Click();
    void Cycled1Click();
    void GPSCycleSelectClick(int step);
    void LockClick(int code);
    void LogClick(int code);
    void LatSpinChange();
    void LonSpinChange();
    void ShowRecord();

  private:
    SetupRecord& record_;
    QLabel* modeText_;
    SpinButton* cycleSelect_;
    QLabel* lockText_;
    QLabel* logText_;
    SpinEdit* lat_;
    SpinEdit* lon_;
};

class AuxChannelsBox : public QGroupBox {
    Q_OBJECT
  public:
    AuxChannelsBox(SetupRecord& record, QWidget* parent);
    // Aux1CheckBoxClick ... IbattCheckBoxClick: flag 1..8 in the record's order.
    void AuxCheckBoxClick(int flag);
    void ShowRecord();

  private:
    SetupRecord& record_;
    QCheckBox* boxes_[AuxFlagCount + 1]{};
};

class CalibrationSignalBox : public QGroupBox {
    Q_OBJECT
  public:
    CalibrationSignalBox(SetupRecord& record, QWidget* parent);
    void SignalTypeClick(int code);
    void VoltSpinChange();
    void ShowRecord();

  private:
    SetupRecord& record_;
    QLabel* signalTypeText_;
    QLabel* freqLabel_;
    QLabel* freqText_;
    SpinEdit* volt_;
};

}  // namespace ksr::ui
