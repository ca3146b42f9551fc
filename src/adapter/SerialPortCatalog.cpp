#include "adapter/SerialPortCatalog.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <libudev.h>
#include <memory>

namespace {

std::string Value(const char* text) {
    return text != nullptr ? text : "";
}

std::string Spaced(std::string text) {
    std::replace(text.begin(), text.end(), '_', ' ');
    return text;
}

std::string Resolved(const std::string& path) {
    char buffer[PATH_MAX];
    return ::realpath(path.c_str(), buffer) != nullptr ? std::string(buffer) : std::string();
}

// Names in a folder that pass the filter.
template <typename Filter> std::vector<std::string> Names(const std::string& dir, Filter keep) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != ".." && keep(name)) {
                names.push_back(name);
            }
        }
        ::closedir(d);
    }
    return names;
}

SSerialPort* FindNode(std::vector<SSerialPort>& ports, const std::string& devnode) {
    const auto it =
        std::find_if(ports.begin(), ports.end(), [&](const SSerialPort& p) { return p.devnode == devnode; });
    return it != ports.end() ? &*it : nullptr;
}

// The tty devices udev knows with a device behind them (a USB adapter, a modem card); the
// virtual consoles and pseudo-terminals have none.
void AddFromUdev(std::vector<SSerialPort>& ports, const std::string& byIdDir) {
    const std::unique_ptr<udev, decltype(&udev_unref)> context(udev_new(), udev_unref);
    if (!context) {
        return;
    }
    const std::unique_ptr<udev_enumerate, decltype(&udev_enumerate_unref)> scan(udev_enumerate_new(context.get()),
                                                                                udev_enumerate_unref);
    if (!scan || udev_enumerate_add_match_subsystem(scan.get(), "tty") < 0 ||
        udev_enumerate_scan_devices(scan.get()) < 0) {
        return;
    }
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(scan.get())) {
        const std::unique_ptr<udev_device, decltype(&udev_device_unref)> device(
            udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)), udev_device_unref);
        if (!device || udev_device_get_parent(device.get()) == nullptr) {
            continue;
        }
        const std::string node = Value(udev_device_get_devnode(device.get()));
        const std::string sysname = Value(udev_device_get_sysname(device.get()));
        if (node.empty() || sysname.starts_with("ttyS")) {
            continue;
        }
        SSerialPort port{node, node, ""};
        const auto property = [&](const char* name) {
            return Value(udev_device_get_property_value(device.get(), name));
        };
        std::string vendor = property("ID_VENDOR_FROM_DATABASE");
        vendor = vendor.empty() ? Spaced(property("ID_VENDOR")) : vendor;
        std::string model = property("ID_MODEL_FROM_DATABASE");
        model = model.empty() ? Spaced(property("ID_MODEL")) : model;
        port.label = vendor.empty() || model.empty() ? vendor + model : vendor + " " + model;
        udev_list_entry* link = nullptr;
        udev_list_entry_foreach(link, udev_device_get_devlinks_list_entry(device.get())) {
            const std::string name = Value(udev_list_entry_get_name(link));
            if (name.starts_with(byIdDir + "/")) {
                port.path = name;
            }
        }
        ports.push_back(port);
    }
}

} // namespace

std::string LabelFromById(const std::string& linkName) {
    std::string name = linkName;
    for (const char* bus : {"usb-", "pci-", "platform-"}) {
        if (name.starts_with(bus)) {
            name.erase(0, std::string(bus).size());
            break;
        }
    }
    // "-if00-port0", "-if02": the interface and port of a multi-port adapter.
    if (const auto at = name.rfind("-if"); at != std::string::npos && at > 0) {
        name.erase(at);
    }
    return Spaced(name);
}

std::vector<SSerialPort> ListSerialPorts(const SSerialPortRoots& roots) {
    std::vector<SSerialPort> ports;
    if (roots.udev) {
        AddFromUdev(ports, roots.byIdDir);
    }
    // The by-id links udev made, also where its database cannot be read.
    for (const std::string& name : Names(roots.byIdDir, [](const std::string&) { return true; })) {
        const std::string link = roots.byIdDir + "/" + name;
        const std::string node = Resolved(link);
        if (node.empty()) {
            continue; // a link whose device is gone
        }
        if (SSerialPort* known = FindNode(ports, node)) {
            known->path = link;
            known->label = known->label.empty() ? LabelFromById(name) : known->label;
        } else {
            ports.push_back({link, node, LabelFromById(name)});
        }
    }
    const auto isAdapterNode = [](const std::string& n) { return n.starts_with("ttyUSB") || n.starts_with("ttyACM"); };
    for (const std::string& name : Names(roots.devDir, isAdapterNode)) {
        const std::string node = roots.devDir + "/" + name;
        if (FindNode(ports, node) == nullptr) {
            ports.push_back({node, node, ""});
        }
    }
    std::sort(ports.begin(), ports.end(), [](const SSerialPort& a, const SSerialPort& b) { return a.path < b.path; });
    return ports;
}
