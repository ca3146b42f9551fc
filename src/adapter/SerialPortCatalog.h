// The serial devices that exist on this machine, with names a person recognises: for each
// device the stable /dev/serial/by-id/... link where udev made one (so a USB adapter is
// found again when it comes back under another ttyUSB number), else its device node, and the
// vendor and model udev knows. Where udev has no database (a container) the by-id links and
// the /dev/ttyUSB*, /dev/ttyACM* nodes are still found; ttyS* are left to COM1..COM8.
#pragma once

#include <string>
#include <vector>

struct SSerialPort {
    std::string path;    // what the settings store: the by-id link, else the device node
    std::string devnode; // /dev/ttyUSB0
    std::string label;   // "3Com ImpactIQ" (vendor and model), "" when unknown
    bool operator==(const SSerialPort&) const = default;
};

// Where the devices are looked for; tests point these at folders of their own.
struct SSerialPortRoots {
    std::string devDir = "/dev";
    std::string byIdDir = "/dev/serial/by-id";
    bool udev = true; // ask udev too
};

// The devices, sorted by path.
std::vector<SSerialPort> ListSerialPorts(const SSerialPortRoots& roots = {});

// The label a by-id link's name gives: "usb-3Com_ImpactIQ_0042-if00-port0" -> "3Com ImpactIQ 0042".
std::string LabelFromById(const std::string& linkName);
