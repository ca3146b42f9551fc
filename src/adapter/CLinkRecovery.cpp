#include "adapter/CLinkRecovery.h"

#include "adapter/CSerialDeviceWatch.h"
#include "adapter/IMonitoredLink.h"

#include <utility>

CLinkRecovery::CLinkRecovery(IMonitoredLink& link, SHooks hooks) : m_link(link), m_hooks(std::move(hooks)) {}

CLinkRecovery::~CLinkRecovery() = default;

int CLinkRecovery::Fd() const {
    return m_watch ? m_watch->Fd() : -1;
}

void CLinkRecovery::Watch(const std::string& path) {
    m_watch = std::make_unique<CSerialDeviceWatch>(SSerialPortRoots{}, path);
    m_watchedPath = path;
}

void CLinkRecovery::Lose(const std::string& path) {
    m_lost = true;
    m_hooks.log("Adapter disconnected: waiting for " + path);
    m_hooks.report(AS_Lost);
}

void CLinkRecovery::Step(bool readFailed) {
    const unsigned opens = m_link.Opens();
    const bool openedElsewhere = opens != m_opens;
    m_opens = opens;
    const bool broke = readFailed && m_link.IsOpen() && !m_link.OnSocket();
    if (m_link.IsOpen() && !broke) {
        m_watch.reset();
        if (m_lost) {
            m_lost = false;
            m_hooks.report(AS_Back);
        }
        return;
    }
    const std::string path = m_link.DevicePath();
    if (broke) {
        LetGo(path);
    }
    if (path.empty()) {
        m_watch.reset();
        return;
    }
    bool look = broke || openedElsewhere;
    const bool newPath = m_watch && path != m_watchedPath; // the configuration chose another port
    if (!m_watch || newPath) {
        Watch(path);
        // A device that is there now has had its chance: the open that left the link closed
        // failed on it.
        m_staleNode = DeviceNodeAt(path);
        look = true;
    }
    look = m_watch->ReadChanges() || look;
    if (m_watch->TakePathChanged()) {
        m_staleNode = {}; // a node there now was made anew, also where it took the old one's number
    }
    if (look) {
        LookAt(path, newPath, openedElsewhere);
    }
}

void CLinkRecovery::LetGo(const std::string& path) {
    m_watch.reset();
    if (!path.empty()) {
        Watch(path);
        // While the link still holds its device, no other device can take that device's node:
        // a node at the path that is the held one is the old device (a USB adapter's node goes
        // a moment after its line hangs up); any other is a device already back.
        const SDeviceNode held = m_link.HeldNode();
        m_staleNode = DeviceNodeAt(path) == held ? held : SDeviceNode{};
    }
    m_link.Close();
    if (!path.empty()) {
        Lose(path);
    }
}

void CLinkRecovery::LookAt(const std::string& path, bool newPath, bool openedElsewhere) {
    const SDeviceNode node = DeviceNodeAt(path);
    if (!node.Exists()) {
        m_staleNode = {};
        if (!m_lost || newPath) {
            Lose(path);
        } else if (openedElsewhere) {
            m_hooks.report(AS_Lost); // an open elsewhere failed meanwhile: still gone
        }
        return;
    }
    if (!m_lost || node == m_staleNode) {
        return;
    }
    m_hooks.log("Adapter is back on " + path);
    const bool up = m_link.ReopenSerial();
    m_opens = m_link.Opens();
    if (!up) {
        m_hooks.log("   FAILURE");
        m_staleNode = node; // not again until this device has gone
        return;
    }
    m_hooks.log("   Success, on serial");
    m_watch.reset();
    m_staleNode = {};
    m_lost = false;
    m_hooks.report(AS_Reopened);
}
