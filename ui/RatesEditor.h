#pragma once
// The "Sampling Rates [sps]" group: primary rate, secondary rate and gain of the six channels,
// each stepped through its table; "Similar Rates" lets channel 1 set all channels in use.

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>

#include "setup/SetupRecord.h"
#include "ui/Widgets.h"

namespace ksr::ui {

class RatesEditor : public QGroupBox {
    Q_OBJECT
  public:
    RatesEditor(SetupRecord& record, QWidget* parent);

    // The spin-button handlers of all six channels (Ch1PriSelectUpClick ...
    // Ch6GainSelectDownClick): `step` is +1 for up and -1 for down.
    void PriSelectClick(int channel, int step);
    void SecSelectClick(int channel, int step);
    void GainSelectClick(int channel, int step);

    void SimRateButtonClick();
    void DiffRateButtonClick();
    void SixChannelCheckClick();

    // The record's rates and gains into the labels and modes (the rates part of SETUP_ENTRY).
    void ShowRecord();
    // Gain labels from the record, after the rate rules may have raised gains.
    void ShowGains();

    QRadioButton* simRateButton() const { return simRate_; }
    QRadioButton* diffRateButton() const { return diffRate_; }
    QCheckBox* sixChannelCheck() const { return sixChannel_; }

  private:
    struct Channel {
        QGroupBox* box;
        QLabel* pri;
        QLabel* sec;
        QLabel* gain;
        SpinButton* priSelect;
        SpinButton* secSelect;
        SpinButton* gainSelect;
    };

    bool similar() const { return simRate_->isChecked(); }
    int channelsInUse() const { return sixChannel_->isChecked() ? 6 : 3; }
    // Whether the handlers of channel c act in the present modes.
    bool active(int c) const;
    void showSelectors(int first, int last, bool visible);
    void resetSecondary(int c);
    void showPrimary(int c);
    void showSecondary(int c);
    void showGain(int c);

    SetupRecord& record_;
    Channel channels_[ChannelCount + 1]{};
    QRadioButton* simRate_;
    QRadioButton* diffRate_;
    QCheckBox* sixChannel_;
};

}  // namespace ksr::ui
