#pragma once
// "Calibr. Windows" and "Record Windows": the three output windows and the first five recording
// windows, one row each. A row's controls show while it is ticked, its interval while "Repeat" is
// ticked too; every change is written into the record at once.

#include <QCheckBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QTimeEdit>
#include <functional>

#include "setup/SetupRecord.h"
#include "ui/Widgets.h"

namespace ksr::ui {

// The seven value controls every row has, and the fields of the record window they write. The
// controls are made when the row is first used or its box first shown: a row stays hidden until
// it is ticked, and the window starts with every box hidden.
class WindowRow : public QObject {
    Q_OBJECT
  public:
    // `prefix` names the controls ("Cali", "TTL", "OpColl", "Rec"); `suffix` is the row number of
    // a recording row ("1".."5") or empty. The controls follow `before` in the tab order.
    WindowRow(QWidget* box, QWidget* before, const QString& prefix, const QString& suffix, int top,
              int left, bool durationSeconds, bool immediateStart);

    // Makes the controls, if not made yet.
    void make();

    // The record window the row writes, by field number (fields 2..14 are those of both kinds).
    void bind(std::function<int&(int)> field) { field_ = std::move(field); }
    void showValues(bool visible);
    void showInterval(bool visible);
    // A row switched off: every value control hidden, "Repeat" cleared.
    void hideAll();
    // The start date shown, without the action (a picker set from code runs none).
    void setStartDate(const QDate& date);
    // The record window's values into the controls; pickers run no action. `who` names the window
    // in an error about a date or time the pickers cannot show.
    void load(const QString& who);
    // The values the row shows become the window's: start and duration when the operator ticks the
    // row, the interval when the operator ticks "Repeat".
    void storeShownStart();
    void storeShownInterval();

    void StartDateChange();
    void StartTimeChange();
    void DurationDaysChange();
    void DurationTimeChange();
    void RepeatCheckClick();
    void IntervalDaysChange();
    void IntervalTimeChange();

  private:
    int& field(int i) { return field_(i); }

    QWidget* box_;
    QWidget* before_;
    QString prefix_, suffix_;
    int top_, left_;
    QCheckBox* repeat = nullptr;
    QDateEdit* startDate = nullptr;
    QTimeEdit* startTime = nullptr;
    SpinEdit* durationDays = nullptr;
    QTimeEdit* durationTime = nullptr;
    SpinEdit* intervalDays = nullptr;
    QTimeEdit* intervalTime = nullptr;
    std::function<int&(int)> field_;
    bool loading_ = false;
    bool durationSeconds_;
    bool immediateStart_;
};

class OutputWindowsBox : public QGroupBox {
    Q_OBJECT
  public:
    OutputWindowsBox(SetupRecord& record, QWidget* parent);
    // CaliCheckClick, TTLOutCheckClick, OpenCollCheckClick for window 1..3.
    void OutputCheckClick(int window);
    WindowRow* row(int window) const { return rows_[window]; }
    // SETUP_ENTRY's part: the three output windows.
    void ShowRecord();
    void setStartDates(const QDate& date);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    SetupRecord& record_;
    bool restoring_ = false;
    QCheckBox* checks_[OutputWindowCount + 1]{};
    WindowRow* rows_[OutputWindowCount + 1]{};
};

inline constexpr int RecordRowCount = 5;

class RecordWindowsBox : public QGroupBox {
    Q_OBJECT
  public:
    RecordWindowsBox(SetupRecord& record, QWidget* parent);
    // RecWinCheck1Click .. RecWinCheck5Click.
    void RecWinCheckClick(int window);
    // RecTypeSelect<n>UpClick (+1) and RecTypeSelect<n>DownClick (-1).
    void RecTypeSelectClick(int window, int step);
    WindowRow* row(int window) const { return rows_[window]; }
    // SETUP_ENTRY's part: recording windows 1..5, each keeping its stored type.
    void ShowRecord();
    void setStartDates(const QDate& date);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    SetupRecord& record_;
    bool restoring_ = false;
    QCheckBox* checks_[RecordRowCount + 1]{};
    QLabel* typeTexts_[RecordRowCount + 1]{};
    SpinButton* typeSelects_[RecordRowCount + 1]{};
    WindowRow* rows_[RecordRowCount + 1]{};
};

}  // namespace ksr::ui
