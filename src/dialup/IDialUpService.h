// The operating system's dial-up networking as the program uses it: seven calls. The real
// service drives pppd; a simulated one stands in for tests and the demo.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A connection handle; 0 means none.
using DialUpHandle = std::uintptr_t;

enum class EDialUpStatus {
    Connected,
    Pending,      // still connecting or disconnecting
    Disconnected, // gone (also for an unknown or invalid handle)
};

struct DialUpConnectionInfo {
    DialUpHandle handle = 0;
    std::string entryName;
    std::string deviceName; // e.g. "/dev/ttyS1"
};

class IDialUpService {
public:
    virtual ~IDialUpService() = default;

    // Dials an entry and returns only when connected or failed: 0 with the connection's handle,
    // or an error code. A failed dial may still set a handle that must be hung up.
    virtual int Dial(const std::string& entryName, const std::string& userName, const std::string& password,
                     DialUpHandle& handle) = 0;

    // Ends a Dial that runs on another thread as soon as it can: the attempt is stopped and
    // Dial returns kDialUpErrCancelled (or its own result when it had just finished). Called
    // only while a Dial is in progress. A service whose Dial returns at once needs nothing here.
    virtual void CancelDial() {}

    // The text for an error code returned by Dial.
    virtual std::string ErrorText(int code) = 0;

    // Starts the hang-up; completion is seen through Status.
    virtual void HangUp(DialUpHandle handle) = 0;

    virtual EDialUpStatus Status(DialUpHandle handle) = 0;

    // A descriptor that becomes readable once the connection may have ended, so a wait for a
    // hang-up sleeps until then; -1 when the service cannot tell (Status is then asked again
    // after a while). It stays the service's, open until Status reports the connection gone.
    virtual int EndFd(DialUpHandle /*handle*/) { return -1; }

    // The active connections, each with the device it holds.
    virtual std::vector<DialUpConnectionInfo> ActiveConnections() = 0;

    // The entries that can be dialled, in the service's order.
    virtual std::vector<std::string> Entries() = 0;

    // The device an entry dials on; empty when the entry does not exist.
    virtual std::string EntryDeviceName(const std::string& entryName) = 0;
};
