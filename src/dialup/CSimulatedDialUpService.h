// A dial-up service for tests and the demo. Its entries come from a text file (see
// SimDialUpFile.h), read again at every call so that it can be edited while the program runs.
// Dialling an entry opens the entry's device exclusively and holds it until the hang-up, so
// the adapter's serial port is really taken, as a real dial-up connection would take it.
// Foreign connections (made by "someone else") hold their device too; they come from the file
// or from StartForeignConnection.
#pragma once

#include "adapter/CSerialDevice.h"
#include "dialup/IDialUpService.h"
#include "dialup/SimDialUpFile.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>

class CSimulatedDialUpService : public IDialUpService {
public:
    // lockDir: where the devices' lock files go (the same place the adapter link uses).
    explicit CSimulatedDialUpService(std::string filePath, std::string lockDir = CSerialDevice::DefaultLockDir());
    ~CSimulatedDialUpService() override;
    CSimulatedDialUpService(const CSimulatedDialUpService&) = delete;
    CSimulatedDialUpService& operator=(const CSimulatedDialUpService&) = delete;

    int Dial(const std::string& entryName, const std::string& userName, const std::string& password,
             DialUpHandle& handle) override;
    void CancelDial() override;
    std::string ErrorText(int code) override;
    void HangUp(DialUpHandle handle) override;
    EDialUpStatus Status(DialUpHandle handle) override;
    std::vector<DialUpConnectionInfo> ActiveConnections() override;
    std::vector<std::string> Entries() override;
    std::string EntryDeviceName(const std::string& entryName) override;

    // A connection that someone else made: holds the device until EndForeignConnection.
    // False (err set) when the device cannot be opened.
    bool StartForeignConnection(const std::string& device, int& err);
    void EndForeignConnection(const std::string& device);

    // The file the program uses: $RINGVALE_DIALUP_SIM_FILE, or "dialup-sim.txt" in the working
    // directory.
    static std::string DefaultFilePath();

private:
    using Clock = std::chrono::steady_clock;

    struct Connection {
        std::string entry; // "" for a foreign connection
        std::unique_ptr<CSerialDevice> device;
    };
    struct Foreign {
        DialUpHandle handle = 0;
        std::unique_ptr<CSerialDevice> device; // null once it has ended
        bool fromFile = false;
        Clock::time_point endsAt = Clock::time_point::max();
    };

    // Reads the file and brings the foreign connections in line with it. Needs m_mutex.
    void RefreshLocked();
    std::unique_ptr<CSerialDevice> OpenDevice(const std::string& path, int& err) const;

    std::string m_filePath;
    std::string m_lockDir;
    std::mutex m_mutex;
    std::condition_variable m_wake; // ends a dial's delay early when the service goes away
    bool m_stopping = false;
    bool m_cancelDial = false; // ends the dial that waits out its delay
    int m_dialsWaiting = 0;
    std::map<DialUpHandle, Connection> m_connections; // our own dials
    std::map<std::string, Foreign> m_foreign;         // by device
    std::vector<SimDialUpEntry> m_entries;
    std::string m_lastErrors;
    DialUpHandle m_nextHandle = 1;
};
