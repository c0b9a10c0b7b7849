#include "serial/PortList.h"

#include <QRegularExpression>
#include <QSerialPortInfo>
#include <algorithm>

namespace ksr::serial {
namespace {

int Group(const QString& device) {
    if (device.contains(QLatin1String("ttyUSB"))) return 0;
    if (device.contains(QLatin1String("ttyACM"))) return 1;
    if (device.contains(QLatin1String("ttyS"))) return 2;
    return 3;
}

int TrailingNumber(const QString& device) {
    static const QRegularExpression digits(QStringLiteral("(\\d+)$"));
    const auto m = digits.match(device);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

}  // namespace

QVector<QString> OrderForNumbering(QVector<QString> devices) {
    std::sort(devices.begin(), devices.end(), [](const QString& a, const QString& b) {
        const int ga = Group(a), gb = Group(b);
        if (ga != gb) return ga < gb;
        const int na = TrailingNumber(a), nb = TrailingNumber(b);
        if (na != nb) return na < nb;
        return a < b;
    });
    return devices;
}

QVector<PortEntry> PresentPorts() {
    QVector<PortEntry> entries;
    const auto infos = QSerialPortInfo::availablePorts();
#ifdef _WIN32
    for (const auto& info : infos) {
        const int n = TrailingNumber(info.portName());
        entries.push_back({n, info.portName(), info.description()});
    }
    std::sort(entries.begin(), entries.end(),
              [](const PortEntry& a, const PortEntry& b) { return a.number < b.number; });
#else
    QVector<QString> devices;
    for (const auto& info : infos) devices.push_back(info.systemLocation());
    int n = 0;
    for (const QString& device : OrderForNumbering(devices)) {
        QString description;
        for (const auto& info : infos) {
            if (info.systemLocation() != device) continue;
            QStringList parts;
            for (const QString& p : {info.manufacturer(), info.description(), info.serialNumber()})
                if (!p.isEmpty()) parts << p;
            description = parts.join(QLatin1Char(' '));
        }
        entries.push_back({++n, device, description});
    }
#endif
    return entries;
}

QString DeviceForCom(int number) {
    for (const auto& e : PresentPorts())
        if (e.number == number) return e.device;
    return {};
}

}  // namespace ksr::serial
