#include "ui/RatesEditor.h"

#include <algorithm>

namespace ksr::ui {
namespace {

QString Number(int value) {
    return QString::number(value);
}

// A step within 1..limit; a step past a limit leaves the index as it is.
int Stepped(int index, int step, int limit) {
    const int next = index + step;
    return next < 1 || next > limit ? index : next;
}

}  // namespace

RatesEditor::RatesEditor(SetupRecord& record, QWidget* parent)
    : QGroupBox(QStringLiteral("Sampling Rates [sps]"), parent), record_(record) {
    setObjectName(QStringLiteral("SrateBox"));
    auto label = [this](const char* name, const char* text, int x, int y, int w) {
        auto* l = new QLabel(QString::fromLatin1(text), this);
        l->setObjectName(QString::fromLatin1(name));
        l->setGeometry(x, y, w, 20);
        return l;
    };
    label("PrimRateLabel", "Primary Rate", 8, 42, 100);
    label("SecRateLabel", "Secondary Rate", 8, 70, 100);
    label("GainLabel", "Gain", 8, 98, 100);

    for (int c = 1; c <= ChannelCount; ++c) {
        const QString n = QStringLiteral("Ch%1").arg(c);
        Channel& ch = channels_[c];
        ch.box = new QGroupBox(n, this);
        ch.box->setObjectName(n + QStringLiteral("_Box"));
        ch.box->setGeometry(104 + (c - 1) * 60, 18, 60, 108);
        auto value = [&](const QString& name, int y) {
            auto* l = new QLabel(ch.box);
            l->setObjectName(name);
            l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            l->setGeometry(2, y, 34, 20);
            return l;
        };
        auto spin = [&](const QString& name, int y) {
            auto* s = new SpinButton(name, ch.box);
            s->setGeometry(38, y, 18, 22);
            return s;
        };
        ch.pri = value(n + QStringLiteral("PriText"), 24);
        ch.sec = value(n + QStringLiteral("SecText"), 52);
        ch.gain = value(n + QStringLiteral("GainText"), 80);
        ch.priSelect = spin(n + QStringLiteral("PriSelect"), 23);
        ch.secSelect = spin(n + QStringLiteral("SecSelect"), 51);
        ch.gainSelect = spin(n + QStringLiteral("GainSelect"), 79);
        connect(ch.priSelect, &SpinButton::upClicked, this, [this, c] { PriSelectClick(c, +1); });
        connect(ch.priSelect, &SpinButton::downClicked, this, [this, c] { PriSelectClick(c, -1); });
        connect(ch.secSelect, &SpinButton::upClicked, this, [this, c] { SecSelectClick(c, +1); });
        connect(ch.secSelect, &SpinButton::downClicked, this, [this, c] { SecSelectClick(c, -1); });
        connect(ch.gainSelect, &SpinButton::upClicked, this, [this, c] { GainSelectClick(c, +1); });
        connect(ch.gainSelect, &SpinButton::downClicked, this,
                [this, c] { GainSelectClick(c, -1); });
    }

    simRate_ = new QRadioButton(QStringLiteral("Similar Rates"), this);
    simRate_->setObjectName(QStringLiteral("SimRateButton"));
    simRate_->setGeometry(8, 132, 120, 20);
    simRate_->setChecked(true);
    diffRate_ = new QRadioButton(QStringLiteral("Different Rates"), this);
    diffRate_->setObjectName(QStringLiteral("DiffRateButton"));
    diffRate_->setGeometry(140, 132, 130, 20);
    sixChannel_ = new QCheckBox(QStringLiteral("6 Channel Unit"), this);
    sixChannel_->setObjectName(QStringLiteral("SixChannelCheck"));
    sixChannel_->setGeometry(290, 132, 130, 20);
    // A radio button's action runs when it becomes selected, also when selected from code.
    connect(simRate_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) SimRateButtonClick();
    });
    connect(diffRate_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) DiffRateButtonClick();
    });
    connect(sixChannel_, &QCheckBox::toggled, this, [this] { SixChannelCheckClick(); });

    showSelectors(2, ChannelCount, false);
    for (int c = 1; c <= ChannelCount; ++c) {
        showPrimary(c);
        showSecondary(c);
        showGain(c);
    }
}

bool RatesEditor::active(int c) const {
    if (c == 1) return true;
    if (similar()) return false;
    return c <= 3 || sixChannel_->isChecked();
}

void RatesEditor::showSelectors(int first, int last, bool visible) {
    for (int c = first; c <= last; ++c)
        for (SpinButton* s :
             {channels_[c].priSelect, channels_[c].secSelect, channels_[c].gainSelect})
            s->setVisible(visible);
}

void RatesEditor::showPrimary(int c) {
    channels_[c].pri->setText(Number(PrimaryRates.at(record_.PrimRateIndex[c], "PrimRateIndex")));
}
void RatesEditor::showSecondary(int c) {
    channels_[c].sec->setText(Number(record_.SecRateValue[c]));
}
void RatesEditor::showGain(int c) {
    channels_[c].gain->setText(
        QString::fromLatin1(GainNames.at(record_.GainIndex[c], "GainIndex")));
}

void RatesEditor::resetSecondary(int c) {
    SetSecondaryRate(record_, c, 1);
    channels_[c].sec->setText(QStringLiteral("0"));
}

void RatesEditor::PriSelectClick(int c, int step) {
    if (!active(c)) return;
    const int before = record_.PrimRateIndex[c];
    record_.PrimRateIndex[c] = Stepped(before, step, RateCount);
    if (c != 1 || record_.PrimRateIndex[c] != before) {
        showPrimary(c);
        resetSecondary(c);
    }
    if (c != 1 || !similar()) return;
    for (int k = 2; k <= channelsInUse(); ++k) {
        record_.PrimRateIndex[k] = record_.PrimRateIndex[1];
        resetSecondary(k);
        channels_[k].pri->setText(channels_[1].pri->text());
    }
}

void RatesEditor::SecSelectClick(int c, int step) {
    if (!active(c)) return;
    const int prim = record_.PrimRateIndex[c];
    SetSecondaryRate(
        record_, c,
        Stepped(record_.SecRateIndex[c], step, SecondaryRateCount.at(prim, "PrimRateIndex")));
    showSecondary(c);
    if (c != 1 || !similar()) return;
    for (int k = 2; k <= channelsInUse(); ++k) {
        // The value comes from the channel's own row, so that it never disagrees with the
        // index even when this channel's primary rate differs from channel 1's.
        SetSecondaryRate(record_, k, record_.SecRateIndex[1]);
        showSecondary(k);
    }
}

void RatesEditor::GainSelectClick(int c, int step) {
    if (!active(c)) return;
    const int before = record_.GainIndex[c];
    record_.GainIndex[c] = Stepped(before, step, static_cast<int>(GainNames.size()));
    if (record_.GainIndex[c] != before) showGain(c);
    if (c != 1 || !similar()) return;
    for (int k = 2; k <= channelsInUse(); ++k) {
        record_.GainIndex[k] = record_.GainIndex[1];
        channels_[k].gain->setText(channels_[1].gain->text());
    }
}

void RatesEditor::SimRateButtonClick() {
    showSelectors(2, ChannelCount, false);
}

void RatesEditor::DiffRateButtonClick() {
    showSelectors(2, 3, true);
    if (sixChannel_->isChecked()) showSelectors(4, ChannelCount, true);
}

void RatesEditor::SixChannelCheckClick() {
    const bool six = sixChannel_->isChecked();
    if (!similar()) {
        showSelectors(4, ChannelCount, six);
        return;
    }
    for (int c = 4; c <= ChannelCount; ++c) {
        Channel& ch = channels_[c];
        if (six) {
            record_.PrimRateIndex[c] = record_.PrimRateIndex[1];
            SetSecondaryRate(record_, c, record_.SecRateIndex[1]);
            record_.GainIndex[c] = record_.GainIndex[1];
            ch.pri->setText(channels_[1].pri->text());
            ch.sec->setText(channels_[1].sec->text());
            ch.gain->setText(channels_[1].gain->text());
        } else {
            record_.PrimRateIndex[c] = 1;
            SetSecondaryRate(record_, c, 1);
            record_.GainIndex[c] = 1;
            ch.pri->setText(QStringLiteral("0"));
            ch.sec->setText(QStringLiteral("0"));
            ch.gain->setText(QStringLiteral("1"));
        }
    }
}

void RatesEditor::ShowRecord() {
    for (int c = 1; c <= ChannelCount; ++c) {
        showPrimary(c);
        channels_[c].sec->setText(Number(record_.SecRateValue[c]));
        showGain(c);
    }
    long long upperSum = 0;
    for (int c = 4; c <= ChannelCount; ++c)
        upperSum += PrimaryRates.at(record_.PrimRateIndex[c], "PrimRateIndex") +
                    LookUpSecondaryRate(record_.PrimRateIndex[c], record_.SecRateIndex[c]);
    const int count = upperSum != 0 ? 6 : 3;
    bool same = true;
    for (int c = 2; c <= count; ++c)
        same = same && record_.PrimRateIndex[c] == record_.PrimRateIndex[1] &&
               record_.SecRateIndex[c] == record_.SecRateIndex[1] &&
               record_.GainIndex[c] == record_.GainIndex[1];
    if (!same) diffRate_->setChecked(true);
    if (count == 6) sixChannel_->setChecked(true);
}

void RatesEditor::ShowGains() {
    for (int c = 1; c <= ChannelCount; ++c) showGain(c);
}

}  // namespace ksr::ui
