#include "ui/TimeWindowsEditor.h"

#include <QLineEdit>
#include <QShowEvent>
#include <QSignalBlocker>

#include "setup/Errors.h"

namespace ksr::ui {
namespace {

// The date an immediate start is shown as ("immediately"); no real window starts on it.
const QDate kImmediately(1999, 12, 31);

template <class T>
T* Named(T* widget, const QString& name, QRect geometry) {
    widget->setObjectName(name);
    widget->setGeometry(geometry);
    widget->hide();
    return widget;
}

// A time field where a click chooses the part (hours, minutes, seconds) under it, selected, so
// that what is typed next replaces it; a click alone would leave a cursor in the middle of the
// digits, where typing does nothing.
class TimeField : public QTimeEdit {
  public:
    explicit TimeField(QWidget* parent) : QTimeEdit(parent) {
        lineEdit()->installEventFilter(this);
    }

  protected:
    // The click lands on the field's text: once it has placed the cursor, its part is selected.
    bool eventFilter(QObject* watched, QEvent* event) override {
        const bool handled = QTimeEdit::eventFilter(watched, event);
        if (watched == lineEdit() && event->type() == QEvent::MouseButtonRelease) {
            if (currentSection() != NoSection) setSelectedSection(currentSection());
        }
        return handled;
    }
};

QTimeEdit* TimePicker(QWidget* box, const QString& name, const QString& format, QRect geometry) {
    auto* picker = Named(new TimeField(box), name, geometry);
    picker->setDisplayFormat(format);
    return picker;
}

QLabel* Caption(QWidget* box, const char* text, int x, int y, int width) {
    auto* l = new QLabel(QString::fromLatin1(text), box);
    l->setGeometry(x, y, width, 16);
    return l;
}

// The column captions over a group's rows. `shift` moves the repeat and interval columns left
// when the duration time is narrower (hours and minutes only).
void ColumnCaptions(QWidget* box, int left, const char* startTime, const char* durationTime,
                    int shift) {
    Caption(box, "Start", left, 16, 30);
    Caption(box, "DATE", left + 34, 16, 60);
    Caption(box, "day-mo-year", left, 32, 100);
    Caption(box, "TIME", left + 104, 16, 58);
    Caption(box, startTime, left + 104, 32, 58);
    Caption(box, "Duration", left + 166, 16, 100);
    Caption(box, "days", left + 166, 32, 50);
    Caption(box, durationTime, left + 220, 32, 76);
    Caption(box, "Repeat", left + 296 + shift, 16, 50);
    Caption(box, "Interval", left + 352 + shift, 16, 80);
    Caption(box, "days", left + 352 + shift, 32, 44);
    Caption(box, "hh:mm", left + 400 + shift, 32, 58);
}

std::string Two(int v) {
    return (v >= 0 && v < 10 ? "0" : "") + std::to_string(v);
}

[[noreturn]] void CannotShow(const QString& who, const std::string& what,
                             const std::string& value) {
    throw RangeError(who.toStdString() + " " + what + " " + value + " cannot be shown");
}

}  // namespace

WindowRow::WindowRow(QWidget* box, QWidget* before, const QString& prefix, const QString& suffix,
                     int top, int left, bool durationSeconds, bool immediateStart)
    : QObject(box),
      box_(box),
      before_(before),
      prefix_(prefix),
      suffix_(suffix),
      top_(top),
      left_(left),
      durationSeconds_(durationSeconds),
      immediateStart_(immediateStart) {}

void WindowRow::make() {
    if (startDate) return;
    QWidget* box = box_;
    const QString& prefix = prefix_;
    const QString& suffix = suffix_;
    const int top = top_;
    const bool durationSeconds = durationSeconds_;
    int x = left_;
    auto next = [&x](int width) {
        const int at = x;
        x += width + 4;
        return at;
    };
    startDate = Named(new QDateEdit(box), prefix + "StartDate" + suffix, {next(100), top, 100, 22});
    startDate->setDisplayFormat(QStringLiteral("dd-MM-yyyy"));
    if (immediateStart_) {
        startDate->setMinimumDate(kImmediately);
        startDate->setSpecialValueText(QStringLiteral("immediately"));
    }
    startDate->setDate(QDate::currentDate());
    startTime = TimePicker(box, prefix + "StartTime" + suffix, QStringLiteral("HH:mm"),
                           {next(58), top, 58, 22});
    durationDays = Named(new SpinEdit(prefix + "DurationDays" + suffix, 0, 999, 1, box),
                         prefix + "DurationDays" + suffix, {next(50), top, 50, 22});
    durationDays->setMaxLength(3);
    durationDays->setValue(durationSeconds ? 0 : 1);
    durationTime =
        TimePicker(box, prefix + "DurationTime" + suffix,
                   durationSeconds ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm"),
                   {next(durationSeconds ? 76 : 58), top, durationSeconds ? 76 : 58, 22});
    durationTime->setTime(durationSeconds ? QTime(0, 0, 10) : QTime(0, 0));
    repeat =
        Named(new QCheckBox(box), prefix + "RepeatCheck" + suffix, {next(20) + 4, top, 20, 22});
    intervalDays = Named(new SpinEdit(prefix + "IntervalDays" + suffix, 0, 99, 1, box),
                         prefix + "IntervalDays" + suffix, {next(44), top, 44, 22});
    intervalDays->setMaxLength(2);
    intervalDays->setValue(1);
    intervalTime = TimePicker(box, prefix + "IntervalTime" + suffix, QStringLiteral("HH:mm"),
                              {next(58), top, 58, 22});
    // (Hidden until the row is ticked.) In the tab order where they would have been made at
    // once, with the names screen readers read.
    QWidget* previous = before_;  // or the last of its own parts (a selector's arrows)
    for (QWidget* w = before_->nextInFocusChain(); before_->isAncestorOf(w);
         w = w->nextInFocusChain())
        previous = w;
    for (QWidget* w :
         std::initializer_list<QWidget*>{startDate, startTime, durationDays, durationTime, repeat,
                                         intervalDays, intervalTime}) {
        QWidget::setTabOrder(previous, w);
        previous = w;
    }
    NameFocusableControls(box);

    connect(startDate, &QDateEdit::dateChanged, this, &WindowRow::StartDateChange);
    connect(startTime, &QTimeEdit::timeChanged, this, &WindowRow::StartTimeChange);
    connect(durationDays, &SpinEdit::changed, this, &WindowRow::DurationDaysChange);
    connect(durationTime, &QTimeEdit::timeChanged, this, &WindowRow::DurationTimeChange);
    connect(repeat, &QCheckBox::toggled, this, &WindowRow::RepeatCheckClick);
    connect(intervalDays, &SpinEdit::changed, this, &WindowRow::IntervalDaysChange);
    connect(intervalTime, &QTimeEdit::timeChanged, this, &WindowRow::IntervalTimeChange);
}

void WindowRow::showValues(bool visible) {
    make();
    for (QWidget* w :
         std::initializer_list<QWidget*>{startDate, startTime, durationDays, durationTime, repeat})
        w->setVisible(visible);
}

void WindowRow::hideAll() {
    make();
    showValues(false);
    repeat->setChecked(false);  // runs its action: Repeat becomes NO
    showInterval(false);
}

void WindowRow::setStartDate(const QDate& date) {
    make();
    const QSignalBlocker quiet(startDate);
    startDate->setDate(date);
}

void WindowRow::showInterval(bool visible) {
    make();
    intervalDays->setVisible(visible);
    intervalTime->setVisible(visible);
}

void WindowRow::StartDateChange() {
    const QDate date = startDate->date();
    if (immediateStart_ && date == kImmediately) {
        field(2) = 0;  // an immediate start keeps its month and year
        return;
    }
    field(2) = date.day();
    field(3) = date.month();
    field(4) = date.year();
}

void WindowRow::StartTimeChange() {
    field(5) = startTime->time().hour();
    field(6) = startTime->time().minute();
}

void WindowRow::DurationDaysChange() {
    if (EmptySpinBecomesZero(durationDays)) return;  // the nested change stored the value
    field(7) = durationDays->value();
}

void WindowRow::DurationTimeChange() {
    field(8) = durationTime->time().hour();
    field(9) = durationTime->time().minute();
    if (durationSeconds_) field(10) = durationTime->time().second();
}

void WindowRow::RepeatCheckClick() {
    const bool on = repeat->isChecked();
    field(11) = on ? code::Yes : code::No;
    if (on && !loading_) storeShownInterval();
    showInterval(on);
}

void WindowRow::IntervalDaysChange() {
    if (EmptySpinBecomesZero(intervalDays)) return;  // the nested change stored the value
    field(12) = intervalDays->value();
}

void WindowRow::IntervalTimeChange() {
    field(13) = intervalTime->time().hour();
    field(14) = intervalTime->time().minute();
}

void WindowRow::storeShownStart() {
    make();
    StartDateChange();
    StartTimeChange();
    DurationDaysChange();
    DurationTimeChange();
}

void WindowRow::storeShownInterval() {
    make();
    IntervalDaysChange();
    IntervalTimeChange();
}

void WindowRow::load(const QString& who) {
    make();
    const int day = field(2), month = field(3), year = field(4);
    QDate date = QDate(year, month, day);
    if (immediateStart_ && day == 0) date = kImmediately;
    if (!date.isValid() || date < startDate->minimumDate() || date > startDate->maximumDate())
        CannotShow(who, "start date", Two(day) + "-" + Two(month) + "-" + std::to_string(year));
    const QTime start(field(5), field(6), 0);
    if (!start.isValid()) CannotShow(who, "start time", Two(field(5)) + ":" + Two(field(6)));
    const QTime duration(field(8), field(9), durationSeconds_ ? field(10) : 0);
    if (!duration.isValid())
        CannotShow(who, "duration time",
                   Two(field(8)) + ":" + Two(field(9)) + ":" + Two(field(10)));
    {
        const QSignalBlocker a(startDate), b(startTime);
        startDate->setDate(date);
        startTime->setTime(start);
    }
    durationDays->setValue(field(7));
    {
        const QSignalBlocker c(durationTime);
        durationTime->setTime(duration);
    }
    if (field(11) == code::No) {
        repeat->setChecked(false);
        return;
    }
    const QTime interval(field(13), field(14), 0);
    if (!interval.isValid())
        CannotShow(who, "interval time", Two(field(13)) + ":" + Two(field(14)));
    loading_ = true;
    repeat->setChecked(true);
    loading_ = false;
    intervalDays->setValue(field(12));
    const QSignalBlocker d(intervalTime);
    intervalTime->setTime(interval);
}

// ---- Calibr. Windows ----

OutputWindowsBox::OutputWindowsBox(SetupRecord& record, QWidget* parent)
    : QGroupBox(QStringLiteral("Calibr. Windows"), parent), record_(record) {
    setObjectName(QStringLiteral("CaliWinBox"));
    const int left = 128;
    ColumnCaptions(this, left, "hh:mm", "hh:mm:ss", 0);
    struct Row {
        const char* check;
        const char* caption;
        const char* prefix;
    } const rows[OutputWindowCount] = {{"CaliCheck", "Calibration Out", "Cali"},
                                       {"TTLOutCheck", "TTL Out", "TTL"},
                                       {"OpenCollCheck", "Open Coll. Out", "OpColl"}};
    for (int w = 1; w <= OutputWindowCount; ++w) {
        const int top = 26 + 24 * w;
        checks_[w] = new QCheckBox(QString::fromLatin1(rows[w - 1].caption), this);
        checks_[w]->setObjectName(QString::fromLatin1(rows[w - 1].check));
        checks_[w]->setGeometry(8, top, 116, 22);
        rows_[w] = new WindowRow(this, checks_[w], QString::fromLatin1(rows[w - 1].prefix),
                                 QString(), top, left, true, false);
        rows_[w]->bind([this, w](int i) -> int& { return record_.OutputWindows[w].field(i); });
        connect(checks_[w], &QCheckBox::toggled, this, [this, w] { OutputCheckClick(w); });
    }
}

void OutputWindowsBox::showEvent(QShowEvent* event) {
    for (int w = 1; w <= OutputWindowCount; ++w) rows_[w]->make();
    QGroupBox::showEvent(event);
}

void OutputWindowsBox::OutputCheckClick(int w) {
    WindowRow* row = rows_[w];
    if (checks_[w]->isChecked()) {
        record_.OutputWindows[w].OnOff = code::On;
        if (!restoring_) row->storeShownStart();  // what the row shows is what the window holds
        row->showValues(true);
        return;
    }
    record_.OutputWindows[w].OnOff = code::Off;
    row->hideAll();
}

void OutputWindowsBox::ShowRecord() {
    for (int w = 1; w <= OutputWindowCount; ++w) {
        if (record_.OutputWindows[w].OnOff == code::Off) {
            checks_[w]->setChecked(false);
            continue;
        }
        restoring_ = true;
        checks_[w]->setChecked(true);
        restoring_ = false;
        rows_[w]->load(QString::fromLatin1(OutputWindowNames[w].data(), 6));
    }
}

void OutputWindowsBox::setStartDates(const QDate& date) {
    for (int w = 1; w <= OutputWindowCount; ++w) rows_[w]->setStartDate(date);
}

// ---- Record Windows ----

RecordWindowsBox::RecordWindowsBox(SetupRecord& record, QWidget* parent)
    : QGroupBox(QStringLiteral("Record Windows"), parent), record_(record) {
    setObjectName(QStringLiteral("RecordWinBox"));
    const int left = 140;
    Caption(this, "Type", 56, 16, 60);
    ColumnCaptions(this, left, "hh mm", "hh:mm", -18);
    for (int n = 1; n <= RecordRowCount; ++n) {
        const QString number = QString::number(n);
        const int top = 26 + 24 * n;
        checks_[n] = new QCheckBox(QStringLiteral("# ") + number, this);
        checks_[n]->setObjectName(QStringLiteral("RecWinCheck") + number);
        checks_[n]->setGeometry(8, top, 48, 22);
        typeTexts_[n] =
            Named(new QLabel(this), QStringLiteral("RecTypeText") + number, {56, top, 62, 22});
        typeTexts_[n]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        typeSelects_[n] = Named(new SpinButton(QStringLiteral("RecTypeSelect") + number, this),
                                QStringLiteral("RecTypeSelect") + number, {118, top, 18, 22});
        // Windows 2..5 can hold an immediate start; window 1 is always given a date.
        rows_[n] = new WindowRow(this, typeSelects_[n], QStringLiteral("Rec"), number, top, left,
                                 false, n >= 2);
        rows_[n]->bind([this, n](int i) -> int& { return record_.RecWindows[n].field(i); });
        connect(checks_[n], &QCheckBox::toggled, this, [this, n] { RecWinCheckClick(n); });
        connect(typeSelects_[n], &SpinButton::upClicked, this,
                [this, n] { RecTypeSelectClick(n, +1); });
        connect(typeSelects_[n], &SpinButton::downClicked, this,
                [this, n] { RecTypeSelectClick(n, -1); });
    }
}

void RecordWindowsBox::showEvent(QShowEvent* event) {
    for (int n = 1; n <= RecordRowCount; ++n) rows_[n]->make();
    QGroupBox::showEvent(event);
}

void RecordWindowsBox::RecWinCheckClick(int n) {
    RecWindow& w = record_.RecWindows[n];
    WindowRow* row = rows_[n];
    if (checks_[n]->isChecked()) {
        if (!restoring_) {
            if (n >= 2) w.WinType = code::WinConti;
            row->storeShownStart();  // what the row shows is what the window holds
        }
        typeTexts_[n]->setText(Latin1Text(WindowTypeNames.at(w.WinType, "WinType")));
        typeTexts_[n]->show();
        typeSelects_[n]->show();
        row->showValues(true);
        return;
    }
    w.WinType = code::WinOff;
    typeTexts_[n]->hide();
    typeSelects_[n]->hide();
    row->hideAll();
}

void RecordWindowsBox::RecTypeSelectClick(int n, int step) {
    int& type = record_.RecWindows[n].WinType;
    if (step > 0)
        type = type >= WindowTypeMax ? code::WinConti : type + 1;  // TRIGGER too goes to CONTI
    else
        type = type >= 3 ? type - 1 : WindowTypeMax;
    typeTexts_[n]->setText(Latin1Text(WindowTypeNames[type]));
}

void RecordWindowsBox::ShowRecord() {
    for (int n = 1; n <= RecordRowCount; ++n) {
        RecWindow& w = record_.RecWindows[n];
        const QString who = QStringLiteral("record window %1").arg(n);
        WindowTypeNames.at(w.WinType, who.toStdString() + " WinType");
        if (w.WinType == code::WinOff) {
            checks_[n]->setChecked(false);
            continue;
        }
        restoring_ = true;
        checks_[n]->setChecked(true);
        restoring_ = false;
        typeTexts_[n]->setText(Latin1Text(WindowTypeNames[w.WinType]));
        if (n == 1 && w.StartDay == 0) w.StartDay = 1;
        rows_[n]->load(who);
    }
}

void RecordWindowsBox::setStartDates(const QDate& date) {
    for (int n = 1; n <= RecordRowCount; ++n) rows_[n]->setStartDate(date);
}

}  // namespace ksr::ui
