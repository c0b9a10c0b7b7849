#include "serial/PortList.h"

#include "serial/Ports.h"

namespace ksr::serial {
namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

QVector<PortEntry> PresentPorts() {
    QVector<PortEntry> entries;
    for (const PortInfo& p : PortsPresent()) {
        PortEntry e;
        e.number = p.number;
        e.device = Q(p.device);
        e.byId = Q(p.byId);
        e.product = Q(p.product);
        e.manufacturer = Q(p.manufacturer);
        e.serialNumber = Q(p.serialNumber);
        QStringList parts;
        for (const QString& part : {e.manufacturer, e.product, e.serialNumber})
            if (!part.isEmpty()) parts << part;
        e.description = parts.join(QLatin1Char(' '));
        entries.push_back(e);
    }
    return entries;
}

QString DeviceForCom(int number) {
    return Q(ComDevice(number));
}

}  // namespace ksr::serial
