#pragma once
// The "PowerEstimation" page: sampling, burst and GPS duty cycles, battery and disk of a planned
// deployment, with the mean load, battery life and record capacity kept current on every change.

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <functional>

#include "power/PowerEstimator.h"
#include "ui/Widgets.h"

namespace ksr::ui {

// Battery life over the battery type's temperature range for the page's settings.
class BatteryLifeChart : public QWidget {
    Q_OBJECT
  public:
    explicit BatteryLifeChart(QWidget* parent);
    void setCurve(const power::PowerSettings& settings);
    // (temperature, days) of the curve; days < 0 where no life is defined.
    const std::vector<std::pair<int, double>>& points() const { return points_; }
    int markedTemperature() const { return marked_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::vector<std::pair<int, double>> points_;
    int marked_ = 20;
};

class PowerPage : public QWidget {
    Q_OBJECT
  public:
    // What the page needs of the window around it.
    struct Host {
        std::function<QString()> statusText;
        std::function<void(const QColor&, const QString&)> setStatus;
        std::function<void()> shortSize;
        std::function<void()> checkSrate;
        std::function<void()> endProgram;
    };

    PowerPage(Host host, QWidget* parent);

    // The start values, then the load, battery and memory estimates (the window's FormCreate).
    void Start();
    void POWER_LOAD_CHECK();
    void POWER_DISK_CHECK();
    void POWER_BATT_CHECK();

    void PrimSrateSpinButtonClick(int step);
    void SecSrateSpinButtonClick(int step);
    void BurstCheckBoxClick();
    void BurstDurationSpinEditChange();
    void GPSCheckBoxClick();
    void GPSDurationSpinEditChange();
    void AddLoadEditChange();
    void TemperatureSpinEditChange();
    void ASCIICheckBoxClick();
    void MTCheckBoxClick();
    void BattSizeEditChange();
    void BatteryTypeClick(bool gel);
    void PowerSheetEnter();

    // The page's settings as the estimates read them from the controls.
    power::PowerSettings settings() const;
    const power::LoadEstimate& load() const { return load_; }

  private:
    void dutyCycleClick(QCheckBox* check, SpinEdit* interval, SpinEdit* duration);
    void durationChange(SpinEdit* interval, SpinEdit* duration);
    void buildSampling();
    void buildPower();
    void buildMemory();

    Host host_;
    int powerPrimIndex_ = 10;
    int powerSecIndex_ = 1;
    double addLoad_ = 0;
    double battSize_ = 38;
    bool gelBattery_ = false;
    power::LoadEstimate load_;

    QLabel* primSrateLabel_;
    QLabel* secSrateLabel_;
    SpinEdit* primChannels_;
    SpinEdit* secChannels_;
    QCheckBox* burstCheck_;
    SpinEdit* burstInterval_;
    SpinEdit* burstDuration_;
    QCheckBox* gpsCheck_;
    SpinEdit* gpsInterval_;
    SpinEdit* gpsDuration_;
    QCheckBox* asciiCheck_;
    QRadioButton* agm_;
    QRadioButton* gelButton_;
    QLineEdit* battSizeEdit_;
    QLabel* battCapacityLabel_;
    QLineEdit* addLoadEdit_;
    SpinEdit* temperature_;
    QLabel* battWarnLabel_;
    QLabel* battLifeLabel_;
    SpinEdit* memorySize_;
    QCheckBox* mtCheck_;
    QLabel* memoryComment_;
    QLabel* recordCapacity_;
    BatteryLifeChart* chart_;
    bool starting_ = false;  // Start() runs: the status bar is not the page's
};

}  // namespace ksr::ui
