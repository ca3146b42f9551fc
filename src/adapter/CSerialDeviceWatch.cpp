#include "adapter/CSerialDeviceWatch.h"

#include <cstring>
#include <libudev.h>
#include <sys/epoll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
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

} // namespace

CSerialDeviceWatch::CSerialDeviceWatch(SSerialPortRoots roots, std::string path)
    : m_roots(std::move(roots)), m_path(std::move(path)) {
    m_epollFd = ::epoll_create1(EPOLL_CLOEXEC);
    if (m_epollFd < 0) {
        return;
    }
    m_inotifyFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_inotifyFd >= 0) {
        m_devWatch = ::inotify_add_watch(m_inotifyFd, m_roots.devDir.c_str(), kFolderEvents);
        WatchById();
        WatchPath();
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
        const int wd = ::inotify_add_watch(m_inotifyFd, path.c_str(), kFolderEvents);
        if (wd < 0) {
            return;
        }
        m_byIdWatches.insert(wd);
    }
}

void CSerialDeviceWatch::WatchPath() {
    // Each step is a folder and the name in it on the way to the path, from the path's own
    // folder up to the first folder that exists (a by-id folder udev has not made yet).
    std::vector<std::pair<std::string, std::string>> steps;
    for (std::string below = m_path; !below.empty();) {
        const auto slash = below.find_last_of('/');
        const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : below.substr(0, slash);
        steps.emplace_back(folder, below.substr(slash == std::string::npos ? 0 : slash + 1));
        struct stat st {};
        if (folder == "/" || folder == "." || (::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) {
            break;
        }
        below = folder;
    }
    for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
        const int wd = ::inotify_add_watch(m_inotifyFd, step->first.c_str(), kFolderEvents);
        if (wd < 0) {
            return;
        }
        m_pathWatches[wd] = step->second;
    }
}

bool CSerialDeviceWatch::Relevant(int wd, const std::string& name) {
    if (const auto step = m_pathWatches.find(wd);
        step != m_pathWatches.end() && (name.empty() || name == step->second)) {
        m_pathChanged = true;
        return true; // also a watched folder that went away (no name)
    }
    if (wd == m_devWatch) {
        return name.starts_with("tty") || name == "serial";
    }
    return m_byIdWatches.contains(wd);
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
            changed = Relevant(event->wd, name) || changed;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    if (changed) {
        WatchById();
        WatchPath();
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
