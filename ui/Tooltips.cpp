#include "ui/Tooltips.h"

#include <QWidget>

namespace ksr::ui {

const ControlTip ControlTips[] = {
    {"NewSetUpPanel", "Begin a new set-up from the default values"},
    {"SetUpNameEdit", "The set-up's name: up to 8 letters and digits; Enter takes it"},
    {"UnLockPanel", "An opened set-up is locked; unlock it to edit it"},
    {"SimRateButton", "All channels sample at the same rates"},
    {"DiffRateButton", "Each channel has rates of its own"},
    {"SixChannelCheck", "Record six channels instead of three"},
    {"DataTypeButton", "The data format: MiniSEED (little or big endian), ASCII or legacy"},
    {"DiskModeButton", "What happens when the disk is full: stop, or overwrite the oldest data"},
    {"GPSModeButton", "Continuous GPS, or GPS switched on in cycles to save power"},
    {"GPSLockButton", "Which GPS fix the clock needs: 2D/3D or a single satellite"},
    {"GPSLogButton", "How much of the GPS and PLL state is logged"},
    {"LatSpin", "Latitude to start the GPS search with, in whole degrees (- is south)"},
    {"LonSpin", "Longitude to start the GPS search with, in whole degrees (- is west)"},
    {"SignalTypeButton", "The calibration signal fed to the sensor"},
    {"TemperatureSpin",
     "The lowest temperature expected on site: it limits the PC cycle written to SHORTTMP.DAT"},
    {"VoltSpin", "The calibration signal's amplitude in millivolts"},
    {"TemperatureSpinEdit", "The temperature the battery works at: the cold lowers its capacity"},
    {"ComSpinEdit", "The serial port: COM 1..8 as 'ksr-config ports' lists them; 0 asks"},
    {"EscapeUpLoadPanel", "Stop a dialogue that waits for the recorder; a transfer runs on"},
    {"MTCheckBox", "Magnetotellurics: the load of the MT sensors and their channels"},
    {"AddLoadEdit",
     "Further load in milliwatts, e.g. a radio or a heater; below zero a solar panel's gain"},
    {"BattSizeEdit", "The battery's nominal capacity in ampere hours"},
    {"Batt12VGelRadioButton", "Gel batteries lose capacity in the cold; below -25 C see the note"},
    {"MemorySizeSpinEdit", "The recorder's disk size in gigabytes"},
    {"UpLoadPanel", "Log in on the recorder, send the folder's recorder.ini, then reconfigure"},
    {"CloseUpLoadPanel", "End the program (the serial port is closed first)"},
    {"CloseSetUpPanel", "Apply the rate rules, then save, save as, or leave without saving"},
    {"BurstCheckBox", "Burst mode: the recorder records for the duration every interval"},
    {"GPSCheckBox", "Cycled GPS: the GPS is on for the duration every interval"},
    {"ASCIICheckBox", "ASCII format instead of Steim compression: more disk, more load"},
    {"PrimChannelSpinEdit", "How many channels sample at the primary rate"},
    {"SecChannelSpinEdit", "How many channels sample at the secondary rate"},
};
const int ControlTipCount = static_cast<int>(sizeof ControlTips / sizeof ControlTips[0]);

void ApplyControlTips(QWidget* window) {
    for (const ControlTip& tip : ControlTips)
        for (QWidget* control : window->findChildren<QWidget*>(QString::fromLatin1(tip.objectName)))
            if (control->toolTip().isEmpty()) control->setToolTip(QString::fromUtf8(tip.text));
}

}  // namespace ksr::ui
