#include "ui/PowerPage.h"

#include <QPainter>
#include <QPainterPath>
#include <tuple>

#include "setup/Tables.h"
#include "ui/Look.h"

namespace ksr::ui {
namespace {

QString Rate(int value) {
    return QStringLiteral("%1").arg(value, 4);
}
QLabel* ResultLabel(QWidget* parent, const char* name, const char* text, QRect geometry) {
    QLabel* l = Label(parent, name, QString::fromLatin1(text), geometry);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    QFont bold = l->font();
    bold.setBold(true);
    l->setFont(bold);
    return l;
}

QGroupBox* Group(QWidget* parent, const char* name, const char* title, QRect geometry) {
    auto* box = new QGroupBox(QString::fromLatin1(title), parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(geometry);
    return box;
}

SpinEdit* FixedSpin(QWidget* parent, const char* name, const power::InputRange& range,
                    QRect geometry) {
    auto* spin = new SpinEdit(QString::fromLatin1(name), range.min, range.max, range.step, parent);
    spin->setGeometry(geometry);
    spin->setValue(range.start);
    spin->setTypingAllowed(false);
    return spin;
}

// The names and ranges of a duty-cycle box (burst or cycled GPS).
struct DutyCycleNames {
    const char *box, *title, *check, *caption, *intervalLabel, *interval;
    power::InputRange intervalRange;
    const char *durationLabel, *duration;
    power::InputRange durationRange;
};

// A check box over an interval and a duration, both disabled until the box is ticked.
std::tuple<QCheckBox*, SpinEdit*, SpinEdit*> DutyCycleBox(QWidget* parent, const DutyCycleNames& n,
                                                          QRect geometry) {
    auto* box = Group(parent, n.box, n.title, geometry);
    auto* check = new QCheckBox(QString::fromLatin1(n.caption), box);
    check->setObjectName(QString::fromLatin1(n.check));
    check->setGeometry(8, 20, 150, 22);
    Label(box, n.intervalLabel, QStringLiteral("Interval  [min]"), {8, 50, 90, 22});
    SpinEdit* interval = FixedSpin(box, n.interval, n.intervalRange, {100, 48, 62, 26});
    Label(box, n.durationLabel, QStringLiteral("Duration  [min]"), {6, 80, 94, 22});
    SpinEdit* duration = FixedSpin(box, n.duration, n.durationRange, {100, 78, 62, 26});
    interval->setEnabled(false);
    duration->setEnabled(false);
    return {check, interval, duration};
}

}  // namespace

// ---- chart ----

BatteryLifeChart::BatteryLifeChart(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("BatteryLifeChart"));
    setAutoFillBackground(true);
    SetBackground(this, Qt::white);
}

void BatteryLifeChart::setCurve(const power::PowerSettings& settings) {
    points_.clear();
    marked_ = settings.temperature;
    power::PowerSettings s = settings;
    for (int t = power::LowestTemperature(settings.gel); t <= 40; t += 5) {
        s.temperature = t;
        const auto load = power::EstimateLoad(s);
        const auto battery = power::EstimateBattery(s, load.totalLoad);
        points_.emplace_back(t, battery.lifeDefined ? battery.batteryDays : -1.0);
    }
    update();
}

void BatteryLifeChart::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF plot(40, 24, width() - 52, height() - 50);
    double most = 1;
    for (const auto& [t, days] : points_) most = std::max(most, days);
    most = std::ceil(most / 5) * 5;
    const int first = points_.empty() ? -40 : points_.front().first;
    auto at = [&](double t, double days) {
        return QPointF(plot.left() + (t - first) / (40.0 - first) * plot.width(),
                       plot.bottom() - days / most * plot.height());
    };
    p.setPen(Qt::black);
    p.drawText(QRectF(0, 2, width(), 18), Qt::AlignCenter,
               QStringLiteral("Battery Life [days] over Temperature [\u00B0C]"));
    p.drawRect(plot);
    for (int t = first; t <= 40; t += 20) {
        const QPointF x = at(t, 0);
        p.drawText(QRectF(x.x() - 20, plot.bottom() + 2, 40, 16), Qt::AlignCenter,
                   QString::number(t));
    }
    for (double d : {0.0, most / 2, most})
        p.drawText(QRectF(0, at(first, d).y() - 8, 36, 16), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(d, 'f', 0));
    QPainterPath curve;
    bool started = false;
    for (const auto& [t, days] : points_) {
        if (days < 0) continue;
        if (!started)
            curve.moveTo(at(t, days));
        else
            curve.lineTo(at(t, days));
        started = true;
    }
    p.setPen(QPen(QColor(0, 0, 160), 2));
    p.drawPath(curve);
    for (const auto& [t, days] : points_) {
        if (t != marked_ || days < 0) continue;
        p.setBrush(Qt::red);
        p.setPen(Qt::red);
        p.drawEllipse(at(t, days), 5, 5);
    }
}

// ---- page ----

PowerPage::PowerPage(Host host, QWidget* parent) : QWidget(parent), host_(std::move(host)) {
    setObjectName(QStringLiteral("PowerPage"));
    buildSampling();
    buildPower();
    buildMemory();
    chart_ = new BatteryLifeChart(this);
    chart_->setGeometry(360, 284, 344, 196);
    auto* exit = new ClickPanel(QStringLiteral("PowerExitPanel"),
                                QStringLiteral("Exit without Saving"), colour::LightYellow, this);
    exit->setGeometry(8, 444, 200, 30);
    connect(exit, &ClickPanel::clicked, this, [this] { host_.endProgram(); });
}

void PowerPage::buildSampling() {
    auto* box = Group(this, "PowerSrateBox", " Sampling ", {8, 8, 344, 150});
    Label(box, "PowerSrateRowLabel", QStringLiteral("Sampling Rate"), {8, 44, 96, 22});
    Label(box, "PowerChannelRowLabel", QStringLiteral("Channels"), {8, 76, 96, 22});
    auto* prim = Group(box, "PrimaryBox", " Prim Ch ", {106, 18, 112, 90});
    primSrateLabel_ = ResultLabel(prim, "PrimSrateLabel", "  100", {8, 26, 56, 22});
    auto* primSpin = new SpinButton(QStringLiteral("PrimSrateSpinButton"), prim);
    primSpin->setGeometry(68, 24, 18, 26);
    primChannels_ =
        FixedSpin(prim, "PrimChannelSpinEdit", power::PrimChannelsRange, {8, 56, 78, 26});
    auto* sec = Group(box, "SecondaryBox", " Sec Ch ", {224, 18, 112, 90});
    secSrateLabel_ = ResultLabel(sec, "SecSrateLabel", "0", {8, 26, 56, 22});
    auto* secSpin = new SpinButton(QStringLiteral("SecSrateSpinButton"), sec);
    secSpin->setGeometry(68, 24, 18, 26);
    secChannels_ = FixedSpin(sec, "SecChannelSpinEdit", power::SecChannelsRange, {8, 56, 78, 26});
    asciiCheck_ = new QCheckBox(QStringLiteral("ASCII Format"), box);
    asciiCheck_->setObjectName(QStringLiteral("ASCIICheckBox"));
    asciiCheck_->setGeometry(8, 116, 160, 24);

    std::tie(burstCheck_, burstInterval_, burstDuration_) =
        DutyCycleBox(this,
                     {"BurstBox", " Burst ", "BurstCheckBox", "Burst Mode", "BurstIntervalLabel",
                      "BurstIntervalSpinEdit", power::BurstIntervalRange, "BurstDurationLabel",
                      "BurstDurationSpinEdit", power::BurstDurationRange},
                     {8, 164, 170, 112});
    std::tie(gpsCheck_, gpsInterval_, gpsDuration_) =
        DutyCycleBox(this,
                     {"PowerGPSBox", " GPS ", "GPSCheckBox", "Cycled GPS", "GPSIntervalLabel",
                      "GPSIntervalSpinEdit", power::GpsIntervalRange, "GPSDurationLabel",
                      "GPSDurationSpinEdit", power::GpsDurationRange},
                     {182, 164, 170, 112});

    connect(primSpin, &SpinButton::upClicked, this, [this] { PrimSrateSpinButtonClick(+1); });
    connect(primSpin, &SpinButton::downClicked, this, [this] { PrimSrateSpinButtonClick(-1); });
    connect(secSpin, &SpinButton::upClicked, this, [this] { SecSrateSpinButtonClick(+1); });
    connect(secSpin, &SpinButton::downClicked, this, [this] { SecSrateSpinButtonClick(-1); });
    connect(primChannels_, &SpinEdit::changed, this, &PowerPage::POWER_LOAD_CHECK);
    connect(secChannels_, &SpinEdit::changed, this, &PowerPage::POWER_LOAD_CHECK);
    connect(burstCheck_, &QCheckBox::toggled, this, &PowerPage::BurstCheckBoxClick);
    connect(burstInterval_, &SpinEdit::changed, this, &PowerPage::POWER_LOAD_CHECK);
    connect(burstDuration_, &SpinEdit::changed, this, &PowerPage::BurstDurationSpinEditChange);
    connect(gpsCheck_, &QCheckBox::toggled, this, &PowerPage::GPSCheckBoxClick);
    connect(gpsInterval_, &SpinEdit::changed, this, &PowerPage::POWER_LOAD_CHECK);
    connect(gpsDuration_, &SpinEdit::changed, this, &PowerPage::GPSDurationSpinEditChange);
    connect(asciiCheck_, &QCheckBox::toggled, this, &PowerPage::ASCIICheckBoxClick);
    auto* watcher = new FocusWatcher(box);
    connect(watcher, &FocusWatcher::exited, this, [this] { host_.checkSrate(); });
}

void PowerPage::buildPower() {
    auto* box = Group(this, "PowerBox", " Power ", {360, 8, 344, 268});
    agm_ = new QRadioButton(QStringLiteral("Battery 12 V; AGM (Glass Mat)"), box);
    agm_->setObjectName(QStringLiteral("Batt12VAGMRadioButton"));
    agm_->setGeometry(8, 20, 320, 22);
    agm_->setChecked(true);
    gelButton_ = new QRadioButton(QStringLiteral("Battery 12 V;  Gel"), box);
    gelButton_->setObjectName(QStringLiteral("Batt12VGelRadioButton"));
    gelButton_->setGeometry(8, 44, 320, 22);
    Label(box, "BattSizeLabel", QStringLiteral("Battery Size     [Ah]"), {8, 74, 180, 22});
    battSizeEdit_ = new QLineEdit(QStringLiteral("38"), box);
    battSizeEdit_->setObjectName(QStringLiteral("BattSizeEdit"));
    battSizeEdit_->setGeometry(220, 72, 80, 24);
    Label(box, "BattCapacityNameLabel", QStringLiteral("True Capacity [Wh]"), {8, 102, 180, 22});
    battCapacityLabel_ = ResultLabel(box, "BattCapacityLabel", "0000", {220, 100, 80, 24});
    Label(box, "AddLoadLabel", QStringLiteral("Additional Load [mW]"), {8, 130, 180, 22});
    addLoadEdit_ = new QLineEdit(QStringLiteral("0"), box);
    addLoadEdit_->setObjectName(QStringLiteral("AddLoadEdit"));
    addLoadEdit_->setGeometry(220, 128, 80, 24);
    Label(box, "TemperatureLabel", QString::fromUtf8("Temperature   [\u00B0C]"), {8, 158, 180, 22});
    temperature_ =
        FixedSpin(box, "TemperatureSpinEdit", power::TemperatureRange, {220, 156, 80, 26});
    battWarnLabel_ = Label(box, "BattWarnLabel", QString(), {8, 190, 328, 22});
    battWarnLabel_->setAlignment(Qt::AlignCenter);
    QFont bold = battWarnLabel_->font();
    bold.setBold(true);
    battWarnLabel_->setFont(bold);
    SetBackground(battWarnLabel_, colour::Lime);
    Label(box, "BattLifeNameLabel", QStringLiteral("Battery Life   [days]"), {8, 226, 180, 22});
    battLifeLabel_ = ResultLabel(box, "BattLifeLabel", "000", {220, 224, 80, 24});

    connect(gelButton_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) BatteryTypeClick(true);
    });
    connect(agm_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) BatteryTypeClick(false);
    });
    connect(battSizeEdit_, &QLineEdit::textChanged, this, &PowerPage::BattSizeEditChange);
    connect(addLoadEdit_, &QLineEdit::textChanged, this, &PowerPage::AddLoadEditChange);
    connect(temperature_, &SpinEdit::changed, this, &PowerPage::TemperatureSpinEditChange);
}

void PowerPage::buildMemory() {
    auto* box = Group(this, "MemoryBox", " Memory ", {8, 284, 344, 150});
    Label(box, "CardSizeLabel", QStringLiteral("Hard Disk [GByte]"), {8, 24, 180, 22});
    memorySize_ = FixedSpin(box, "MemorySizeSpinEdit", power::DiskGbRange, {220, 22, 80, 26});
    mtCheck_ = new QCheckBox(QStringLiteral("Magnetotellurics Profile"), box);
    mtCheck_->setObjectName(QStringLiteral("MTCheckBox"));
    mtCheck_->setGeometry(8, 54, 300, 22);
    memoryComment_ = Label(box, "MemoryCommentLabel", QString::fromLatin1(power::CommentSteim),
                           {8, 84, 328, 22});
    memoryComment_->setAlignment(Qt::AlignCenter);
    QFont font = memoryComment_->font();
    font.setBold(true);
    font.setItalic(true);
    memoryComment_->setFont(font);
    Label(box, "RecordCapacityNameLabel", QStringLiteral("Record Capacity   [days]"),
          {8, 116, 180, 22});
    recordCapacity_ = ResultLabel(box, "RecordCapacityLabel", "000", {220, 114, 80, 24});
    connect(memorySize_, &SpinEdit::changed, this, &PowerPage::POWER_DISK_CHECK);
    connect(mtCheck_, &QCheckBox::toggled, this, &PowerPage::MTCheckBoxClick);
}

power::PowerSettings PowerPage::settings() const {
    power::PowerSettings s;
    s.primRate = primSrateLabel_->text().trimmed().toInt();
    s.primChannels = primChannels_->value();
    s.secRate = secSrateLabel_->text().trimmed().toInt();
    s.secChannels = secChannels_->value();
    s.burst = burstCheck_->isChecked();
    s.burstInterval = burstInterval_->value();
    s.burstDuration = burstDuration_->value();
    s.cycledGps = gpsCheck_->isChecked();
    s.gpsInterval = gpsInterval_->value();
    s.gpsDuration = gpsDuration_->value();
    s.ascii = asciiCheck_->isChecked();
    s.temperature = temperature_->value();
    s.battSizeAh = battSize_;
    s.gel = gelBattery_;
    s.addLoadW = addLoad_;
    s.diskGB = memorySize_->value();
    s.mt = mtCheck_->isChecked();
    return s;
}

void PowerPage::Start() {
    powerPrimIndex_ = 10;
    powerSecIndex_ = 1;
    addLoad_ = 0;
    battSize_ = 38;
    gelBattery_ = false;
    // The page is made while the window runs: its start values leave the status bar alone.
    starting_ = true;
    POWER_LOAD_CHECK();
    POWER_BATT_CHECK();
    POWER_DISK_CHECK();
    starting_ = false;
}

void PowerPage::POWER_LOAD_CHECK() {
    load_ = power::EstimateLoad(settings());
    POWER_DISK_CHECK();
    POWER_BATT_CHECK();
}

void PowerPage::POWER_DISK_CHECK() {
    recordCapacity_->setText(Latin1Text(power::EstimateDisk(settings(), load_).label));
}

void PowerPage::POWER_BATT_CHECK() {
    const power::PowerSettings s = settings();
    const power::BatteryEstimate e = power::EstimateBattery(s, load_.totalLoad);
    temperature_->setLimits(e.temperatureMinimum, temperature_->maximum());
    const QString warning = QString::fromLatin1(power::GelWarning);
    if (!starting_) {
        if (!gelBattery_)
            host_.setStatus(QColor(), QString());
        else if (e.gelTooCold)
            host_.setStatus(colour::Aqua, warning);
        else if (host_.statusText() == warning)
            host_.setStatus(QColor(), QString());
    }
    battCapacityLabel_->setText(Latin1Text(e.capacityLabel));
    battWarnLabel_->setText(Latin1Text(e.note));
    battLifeLabel_->setText(Latin1Text(e.lifeLabel));
    chart_->setCurve(s);
    repaint();
}

void PowerPage::PrimSrateSpinButtonClick(int step) {
    const int next = powerPrimIndex_ + step;
    if (next < 1 || next > RateCount) return;
    powerPrimIndex_ = next;
    primSrateLabel_->setText(Rate(PrimaryRates[powerPrimIndex_]));
    POWER_LOAD_CHECK();
}

void PowerPage::SecSrateSpinButtonClick(int step) {
    if (step < 0 && powerSecIndex_ <= 1) return;
    if (step > 0 && SecondaryRateCount[powerPrimIndex_] <= powerSecIndex_) return;
    powerSecIndex_ += step;
    secSrateLabel_->setText(Rate(SecondaryRates[powerPrimIndex_][powerSecIndex_]));
    POWER_LOAD_CHECK();
}

// The burst and the GPS duty cycle share their rules: the check box enables the two spin edits,
// and a duration changed beyond the interval is pulled back to it (which runs the change again).
void PowerPage::dutyCycleClick(QCheckBox* check, SpinEdit* interval, SpinEdit* duration) {
    interval->setEnabled(check->isChecked());
    duration->setEnabled(check->isChecked());
    POWER_LOAD_CHECK();
}

void PowerPage::durationChange(SpinEdit* interval, SpinEdit* duration) {
    if (duration->value() > interval->value()) duration->setValue(interval->value());
    POWER_LOAD_CHECK();
}

void PowerPage::BurstCheckBoxClick() {
    dutyCycleClick(burstCheck_, burstInterval_, burstDuration_);
}
void PowerPage::BurstDurationSpinEditChange() {
    durationChange(burstInterval_, burstDuration_);
}
void PowerPage::GPSCheckBoxClick() {
    dutyCycleClick(gpsCheck_, gpsInterval_, gpsDuration_);
}
void PowerPage::GPSDurationSpinEditChange() {
    durationChange(gpsInterval_, gpsDuration_);
}

void PowerPage::AddLoadEditChange() {
    addLoad_ = power::ParseDecimal(addLoadEdit_->text().toStdString()) / 1000;
    POWER_LOAD_CHECK();
}

void PowerPage::TemperatureSpinEditChange() {
    POWER_LOAD_CHECK();
    POWER_BATT_CHECK();
}

void PowerPage::ASCIICheckBoxClick() {
    POWER_LOAD_CHECK();
    POWER_BATT_CHECK();
    POWER_DISK_CHECK();
    memoryComment_->setText(
        QString::fromLatin1(asciiCheck_->isChecked() ? power::CommentAscii : power::CommentSteim));
}

void PowerPage::MTCheckBoxClick() {
    POWER_LOAD_CHECK();
    POWER_BATT_CHECK();
    POWER_DISK_CHECK();
}

void PowerPage::BattSizeEditChange() {
    const std::string text = battSizeEdit_->text().toStdString();
    const std::string replaced = power::BatterySizeText(text);
    if (replaced != text) {
        battSizeEdit_->setText(QString::fromStdString(replaced));  // runs this handler again
        return;
    }
    battSize_ = power::ParseDecimal(text);
    POWER_LOAD_CHECK();
}

void PowerPage::BatteryTypeClick(bool gel) {
    gelBattery_ = gel;
    POWER_BATT_CHECK();
}

void PowerPage::PowerSheetEnter() {
    POWER_LOAD_CHECK();
    POWER_BATT_CHECK();
    POWER_DISK_CHECK();
    host_.shortSize();
}

}  // namespace ksr::ui
