#pragma once
// Serial ports as numbered COM ports, without Qt, for both programs. On Windows COM n is the
// system's COMn (from the registry's HARDWARE\DEVICEMAP\SERIALCOMM). Elsewhere COM n is the n-th
// present port in this order: USB serial adapters (ttyUSB*), USB modems/ACM devices (ttyACM*),
// built-in ports (ttyS*), then any other; each group by its number.

#include <filesystem>
#include <string>
#include <vector>

#include "upload/UploadLog.h"

namespace ksr::serial {

struct PortInfo {
    int number = 0;       // the COM number
    std::string device;   // the device path, or COMn on Windows
    std::string byId;     // the stable /dev/serial/by-id/... name, when there is one
    std::string product;  // the adapter's own description (on Windows the driver's name)
    std::string manufacturer;
    std::string serialNumber;
};

// The ports present now, numbered.
std::vector<PortInfo> PortsPresent();
// The stable order used for numbering, for a list of device names.
std::vector<std::string> NumberingOrder(std::vector<std::string> devices);
// The device of COM n, or empty when there is none.
std::string ComDevice(int number);
// A port given by any name (a by-id link, for instance) as the device it leads to.
std::string DeviceBehind(const std::string& device);
// The stable /dev/serial/by-id name of a device, or empty.
std::string StableName(const std::string& device);

// The record with the serial number of the USB adapter behind its port, when there is one.
upload::UploadRecord WithAdapterSerial(upload::UploadRecord record);

}  // namespace ksr::serial
