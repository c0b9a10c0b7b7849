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


// The ports present now, numbered.
QVector<PortEntry> PresentPorts();
// The device of COM n, or empty when there is none.
QString DeviceForCom(int number);

}  // namespace ksr::serial
