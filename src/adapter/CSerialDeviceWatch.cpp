#include "adapter/CSerialDeviceWatch.h"

#include <cstring>
#include <libudev.h>
#include <sys/epoll.h>
#include <sys/inotify.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr std::uint32_t kFolderEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ONLYDIR;

void AddToEpoll(int epollFd, int fd) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd;
    ::epoll_ctl(epollFd, EPOLL_CTL_ADD, fd, &event);
}

// A name in the device folder that matters: a serial node, or the folder on the way to by-id.
bool Relevant(const std::string& name) {
    return name.starts_with("tty") || name == "serial";
}

} // namespace

CSerialDeviceWatch::CSerialDeviceWatch(SSerialPortRoots roots) : m_roots(std::move(roots)) {
    m_epollFd = ::epoll_create1(EPOLL_CLOEXEC);
    if (m_epollFd < 0) {
        return;
    }
    m_inotifyFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_inotifyFd >= 0) {
        m_devWatch = ::inotify_add_watch(m_inotifyFd, m_roots.devDir.c_str(), kFolderEvents);
        WatchById();
        AddToEpoll(m_epollFd, m_inotifyFd);
    }
    if (m_roots.udev && (m_udev = udev_new()) != nullptr &&
        (m_monitor = udev_monitor_new_from_netlink(m_udev, "udev")) != nullptr) {
        udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "tty", nullptr);
        if (udev_monitor_enable_receiving(m_monitor) >= 0) {
            AddToEpoll(m_epollFd, udev_monitor_get_fd(m_monitor));
        }
    }
}

CSerialDeviceWatch::~CSerialDeviceWatch() {
    if (m_monitor != nullptr) {
        udev_monitor_unref(m_monitor);
    }
    if (m_udev != nullptr) {
        udev_unref(m_udev);
    }
    for (const int fd : {m_inotifyFd, m_epollFd}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void CSerialDeviceWatch::WatchById() {
    // /dev/serial, then /dev/serial/by-id: a folder that does not exist yet is watched for
    // from its parent, and added here once it was made.
    std::string folder = m_roots.byIdDir;
    std::vector<std::string> chain;
    while (folder.size() > m_roots.devDir.size() && folder.starts_with(m_roots.devDir + "/")) {
        chain.insert(chain.begin(), folder);
        folder.erase(folder.find_last_of('/'));
    }
    for (const std::string& path : chain) {
        if (::inotify_add_watch(m_inotifyFd, path.c_str(), kFolderEvents) < 0) {
            return;
        }
    }
}

bool CSerialDeviceWatch::ReadInotify() {
    bool changed = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_inotifyFd, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            const std::string name = event->len > 0 ? event->name : "";
            // Everything below the device folder is about serial devices.
            changed = changed || event->wd != m_devWatch || Relevant(name);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    if (changed) {
        WatchById();
    }
    return changed;
}

bool CSerialDeviceWatch::ReadUdev() {
    bool changed = false;
    while (udev_device* device = udev_monitor_receive_device(m_monitor)) {
        const char* action = udev_device_get_action(device);
        changed =
            changed || (action != nullptr && (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0));
        udev_device_unref(device);
    }
    return changed;
}

bool CSerialDeviceWatch::ReadChanges() {
    const bool files = m_inotifyFd >= 0 && ReadInotify();
    const bool devices = m_monitor != nullptr && ReadUdev();
    return files || devices;
}
