// Tells when serial devices come or go, without polling: udev's monitor socket (a device
// added or removed in the tty subsystem) and inotify on the device folder and the by-id
// folder (which are all there is where udev sends no events, as in a container). One
// descriptor to wait on: the configuration dialog refreshes its port list on it, and a
// link that waits for its device to come back waits on it too, with the device's own path
// watched as well (a link of a pseudo-terminal, a name a udev rule makes).
#pragma once

#include "adapter/SerialPortCatalog.h"

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

struct udev;
struct udev_monitor;

class CSerialDeviceWatch {
public:
    // path: a device path whose coming and going counts too ("" for none). Its folder is
    // watched for its name, and where that folder does not exist yet, the folders above it.
    explicit CSerialDeviceWatch(SSerialPortRoots roots = {}, std::string path = {});
    ~CSerialDeviceWatch();
    CSerialDeviceWatch(const CSerialDeviceWatch&) = delete;
    CSerialDeviceWatch& operator=(const CSerialDeviceWatch&) = delete;

    // Readable when something may have changed; -1 when nothing can be watched.
    int Fd() const { return m_epollFd; }
    // Takes what is pending without blocking; true when a serial device or by-id link came
    // or went.
    bool ReadChanges();
    // Whether the path (or a folder on the way to it) was made, removed or renamed since the
    // last call: a node there now is another one than before, whatever its number.
    bool TakePathChanged() { return std::exchange(m_pathChanged, false); }

private:
    // Watches the by-id folder and the folders above it below the device folder, as far as
    // they exist (udev makes them with the first adapter).
    void WatchById();
    void WatchPath();
    // Whether an event counts; notes one about the path.
    bool Relevant(int wd, const std::string& name);
    bool ReadInotify();
    bool ReadUdev();

    SSerialPortRoots m_roots;
    std::string m_path;
    int m_epollFd = -1;
    int m_inotifyFd = -1;
    int m_devWatch = -1;                      // the device folder's watch
    std::set<int> m_byIdWatches;              // the folders on the way to by-id
    std::map<int, std::string> m_pathWatches; // a folder on the way to m_path: the name that matters in it
    bool m_pathChanged = false;
    udev* m_udev = nullptr;
    udev_monitor* m_monitor = nullptr;
};
