#include "dialup/CSimulatedDialUpService.h"

#include "core/Format.h"
#include "core/SafeFile.h"
#include "core/Trace.h"
#include "dialup/DialUpErrors.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <set>

CSimulatedDialUpService::CSimulatedDialUpService(std::string filePath, std::string lockDir)
    : m_filePath(std::move(filePath)), m_lockDir(std::move(lockDir)) {
    // Foreign connections in the file exist from the start, before the adapter link is opened.
    const std::lock_guard lock(m_mutex);
    RefreshLocked();
}

CSimulatedDialUpService::~CSimulatedDialUpService() {
    // A dial still waiting out its delay on another thread ends at once; wait for it to leave.
    std::unique_lock lock(m_mutex);
    m_stopping = true;
    m_wake.notify_all();
    m_wake.wait(lock, [this] { return m_dialsWaiting == 0; });
}

std::string CSimulatedDialUpService::DefaultFilePath() {
    const char* path = std::getenv("RINGVALE_DIALUP_SIM_FILE");
    return path != nullptr && *path != '\0' ? path : "dialup-sim.txt";
}

std::unique_ptr<CSerialDevice> CSimulatedDialUpService::OpenDevice(const std::string& path, int& err) const {
    auto device = std::make_unique<CSerialDevice>(m_lockDir);
    if (!device->Open(path, err)) {
        return nullptr;
    }
    return device;
}

void CSimulatedDialUpService::RefreshLocked() {
    std::string text;
    int err = 0;
    SimDialUpFile file;
    if (ReadWholeFile(m_filePath, text, err)) {
        file = ParseSimDialUpFile(text);
    }
    std::string errors;
    for (const std::string& e : file.errors) {
        errors += e + "\n";
    }
    if (errors != m_lastErrors) { // report a broken line once, not at every call
        for (const std::string& e : file.errors) {
            Trace(StrFormat("<dbg> Dial-up simulation: %s %s", m_filePath.c_str(), e.c_str()));
        }
        m_lastErrors = errors;
    }
    m_entries = std::move(file.entries);

    const Clock::time_point now = Clock::now();
    std::set<std::string> listed;
    for (const SimForeignConnection& f : file.foreign) {
        listed.insert(f.device);
        if (m_foreign.count(f.device) != 0) {
            continue;
        }
        int openErr = 0;
        std::unique_ptr<CSerialDevice> device = OpenDevice(f.device, openErr);
        if (!device) {
            continue; // busy or missing: tried again at the next call
        }
        Foreign foreign;
        foreign.handle = m_nextHandle++;
        foreign.device = std::move(device);
        foreign.fromFile = true;
        if (f.forMs >= 0) {
            foreign.endsAt = now + std::chrono::milliseconds(f.forMs);
        }
        Trace(StrFormat("<dbg> Dial-up simulation: foreign connection on %s", f.device.c_str()));
        m_foreign.emplace(f.device, std::move(foreign));
    }
    for (auto it = m_foreign.begin(); it != m_foreign.end();) {
        Foreign& foreign = it->second;
        if (foreign.fromFile && listed.count(it->first) == 0) {
            it = m_foreign.erase(it);
            continue;
        }
        if (foreign.device && now >= foreign.endsAt) {
            // Ended; the record stays while the line does, so the line does not start it again.
            foreign.device.reset();
        }
        ++it;
    }
}

int CSimulatedDialUpService::Dial(const std::string& entryName, const std::string& userName,
                                  const std::string& password, DialUpHandle& handle) {
    handle = 0;
    std::unique_lock lock(m_mutex);
    // A cancel is for this dial only: it ends with the dial, still under the lock.
    struct SCancelEnds {
        bool& cancel;
        ~SCancelEnds() { cancel = false; }
    } cancelEnds{m_cancelDial};
    RefreshLocked();
    const auto found =
        std::find_if(m_entries.begin(), m_entries.end(), [&](const SimDialUpEntry& e) { return e.name == entryName; });
    if (found == m_entries.end()) {
        return kDialUpErrNoEntry;
    }
    const SimDialUpEntry entry = *found;
    Trace(StrFormat("<dbg> Dial-up simulation: dialling %s on %s", entry.name.c_str(), entry.device.c_str()));
    if (entry.delayMs > 0) {
        ++m_dialsWaiting;
        const bool stopped = m_wake.wait_for(lock, std::chrono::milliseconds(entry.delayMs),
                                             [this] { return m_stopping || m_cancelDial; });
        --m_dialsWaiting;
        if (stopped) {
            m_wake.notify_all();
            return m_cancelDial ? kDialUpErrCancelled : kDialUpErrSignalBase + SIGTERM;
        }
    }
    if (entry.failCode != 0) {
        return entry.failCode;
    }
    if ((entry.checkUser && userName != entry.user) || (entry.checkPassword && password != entry.password)) {
        return kPppdExitAuthFailed;
    }
    int err = 0;
    std::unique_ptr<CSerialDevice> device = OpenDevice(entry.device, err);
    if (!device) {
        Trace(StrFormat("<dbg> Dial-up simulation: cannot open %s: %s", entry.device.c_str(), std::strerror(err)));
        // What pppd says when its "lock" option finds the port taken, or when open fails.
        return err == EBUSY || err == EWOULDBLOCK ? kPppdExitLockFailed : kPppdExitOpenFailed;
    }
    handle = m_nextHandle++;
    m_connections[handle] = Connection{entry.name, std::move(device)};
    return 0;
}

void CSimulatedDialUpService::CancelDial() {
    const std::lock_guard lock(m_mutex);
    m_cancelDial = true;
    m_wake.notify_all();
}

std::string CSimulatedDialUpService::ErrorText(int code) {
    return DialUpErrorText(code);
}

void CSimulatedDialUpService::HangUp(DialUpHandle handle) {
    const std::lock_guard lock(m_mutex);
    if (m_connections.erase(handle) != 0) {
        return;
    }
    for (auto it = m_foreign.begin(); it != m_foreign.end(); ++it) {
        if (it->second.handle == handle) {
            if (it->second.fromFile) {
                it->second.device.reset();
            } else {
                m_foreign.erase(it);
            }
            return;
        }
    }
}

EDialUpStatus CSimulatedDialUpService::Status(DialUpHandle handle) {
    const std::lock_guard lock(m_mutex);
    RefreshLocked();
    if (m_connections.count(handle) != 0) {
        return EDialUpStatus::Connected;
    }
    for (const auto& [device, foreign] : m_foreign) {
        if (foreign.handle == handle && foreign.device) {
            return EDialUpStatus::Connected;
        }
    }
    return EDialUpStatus::Disconnected;
}

std::vector<DialUpConnectionInfo> CSimulatedDialUpService::ActiveConnections() {
    const std::lock_guard lock(m_mutex);
    RefreshLocked();
    std::vector<DialUpConnectionInfo> result;
    for (const auto& [handle, connection] : m_connections) {
        result.push_back({handle, connection.entry, connection.device->Path()});
    }
    for (const auto& [device, foreign] : m_foreign) {
        if (foreign.device) {
            result.push_back({foreign.handle, "", device});
        }
    }
    return result;
}

std::vector<std::string> CSimulatedDialUpService::Entries() {
    const std::lock_guard lock(m_mutex);
    RefreshLocked();
    std::vector<std::string> names;
    for (const SimDialUpEntry& e : m_entries) {
        names.push_back(e.name);
    }
    return names;
}

std::string CSimulatedDialUpService::EntryDeviceName(const std::string& entryName) {
    const std::lock_guard lock(m_mutex);
    RefreshLocked();
    for (const SimDialUpEntry& e : m_entries) {
        if (e.name == entryName) {
            return e.device;
        }
    }
    return {};
}

bool CSimulatedDialUpService::StartForeignConnection(const std::string& device, int& err) {
    const std::lock_guard lock(m_mutex);
    const auto it = m_foreign.find(device);
    if (it != m_foreign.end() && it->second.device) {
        return true;
    }
    std::unique_ptr<CSerialDevice> held = OpenDevice(device, err);
    if (!held) {
        return false;
    }
    Foreign foreign;
    foreign.handle = m_nextHandle++;
    foreign.device = std::move(held);
    m_foreign[device] = std::move(foreign);
    return true;
}

void CSimulatedDialUpService::EndForeignConnection(const std::string& device) {
    const std::lock_guard lock(m_mutex);
    m_foreign.erase(device);
}
