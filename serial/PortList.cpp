#include "serial/PortList.h"

#include <QDir>
#include <QFileInfo>
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
        PortEntry entry;
        entry.number = n;
        entry.device = info.portName();
        entry.description = info.description();
        entry.product = info.description();
        entry.manufacturer = info.manufacturer();
        entry.serialNumber = info.serialNumber();
        entries.push_back(entry);
    }
    std::sort(entries.begin(), entries.end(),
              [](const PortEntry& a, const PortEntry& b) { return a.number < b.number; });
#else
    QVector<QString> devices;
    for (const auto& info : infos) devices.push_back(info.systemLocation());
    int n = 0;
    for (const QString& device : OrderForNumbering(devices)) {
        PortEntry entry;
        entry.number = ++n;
        entry.device = device;
        entry.byId = StableNameOf(device);
        for (const auto& info : infos) {
            if (info.systemLocation() != device) continue;
            QStringList parts;
            for (const QString& p : {info.manufacturer(), info.description(), info.serialNumber()})
                if (!p.isEmpty()) parts << p;
            entry.description = parts.join(QLatin1Char(' '));
            entry.product = info.description();
            entry.manufacturer = info.manufacturer();
            entry.serialNumber = info.serialNumber();
        }
        entries.push_back(entry);
    }
#endif
    return entries;
}

QString StableNameOf(const QString& device) {
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    const QString target = QFileInfo(device).canonicalFilePath();
    if (target.isEmpty()) return {};
    for (const QFileInfo& link :
         byId.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        if (link.canonicalFilePath() == target) return link.absoluteFilePath();
    return {};
}

QString ResolvedDevice(const QString& device) {
    const QFileInfo info(device);
    if (!info.isSymLink()) return device;
    const QString target = info.canonicalFilePath();
    return target.isEmpty() ? device : target;
}

QString DeviceForCom(int number) {
    for (const auto& e : PresentPorts())
        if (e.number == number) return e.device;
    return {};
}

}  // namespace ksr::serial
