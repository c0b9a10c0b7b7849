#pragma once
// The numbered COM ports of serial/Ports.h in Qt's types, for the window.

#include <QString>
#include <QVector>

namespace ksr::serial {

struct PortEntry {
    int number = 0;       // the COM number
    QString device;       // the device path (or COMn on Windows)
    QString description;  // maker, product and serial number of the adapter, when known
    QString byId;         // the stable /dev/serial/by-id/... name, when there is one
    QString product;      // the adapter's own description
    QString manufacturer;
    QString serialNumber;
};

// The stable /dev/serial/by-id name of a device, or empty (Linux).
QString StableNameOf(const QString& device);
// A port given by any name (a by-id link, for instance) as the device it leads to.
QString ResolvedDevice(const QString& device);

// The ports present now, numbered.
QVector<PortEntry> PresentPorts();
// The stable order used for numbering, for a list of device names (exposed for the tests).
QVector<QString> OrderForNumbering(QVector<QString> devices);
// The device of COM n, or empty when there is none.
QString DeviceForCom(int number);

}  // namespace ksr::serial
