// Takes the adapter link up again by itself when its serial device went away (a USB adapter
// unplugged, a pseudo-terminal closed) and came back. The line monitor runs Step() in every
// pass with the link lock held, and waits on Fd() as well:
//  - a serial link that broke is closed; "Adapter disconnected: waiting for <path>" is logged
//    and the loss reported. A closed link whose device is missing is waited for the same way
//    (a start-up whose by-id path had gone, a reopen after a dial-up connection that failed).
//  - While the link is closed, udev and inotify tell when devices or the path come and go
//    (Fd() turns readable; nothing is polled). When the path names a device again, and not
//    the node the broken link held (a USB adapter's node goes a moment after its line hangs
//    up), "Adapter is back on <path>" is logged, the link is opened on the serial port with the
//    whole handshake (which asks the adapter for the calls in progress) and the result is
//    logged as "   Success, on serial" or "   FAILURE".
//  - A closed link whose device is there (a failed open: busy, no permission, another device,
//    a failed reopen of the recovery itself) is not opened again until that device has gone
//    and come back.
//  - A socket link (a dial-up connection holds the serial port) has no device to wait for.
// What it reports: AS_Lost when the loss begins (and again when another thread's open failed
// meanwhile, whose caller may have shown another state), AS_Back when another thread's open
// brought the link up, AS_Reopened after its own reopen. Monitor thread only.
#pragma once

#include "adapter/CSerialDevice.h"
#include "core/Messages.h"

#include <functional>
#include <memory>
#include <string>

class CSerialDeviceWatch;
class IMonitoredLink;

class CLinkRecovery {
public:
    struct SHooks {
        std::function<void(const std::string&)> log; // trace and activity list
        std::function<void(EAdapterState)> report;   // for the window thread
    };

    CLinkRecovery(IMonitoredLink& link, SHooks hooks);
    ~CLinkRecovery();
    CLinkRecovery(const CLinkRecovery&) = delete;
    CLinkRecovery& operator=(const CLinkRecovery&) = delete;

    // readFailed: the monitor's read of the link in this pass failed (a broken or closed link).
    void Step(bool readFailed);
    // Readable when a device may have come or gone while the link is down; -1 while it is up.
    int Fd() const;

private:
    // Watches the path (armed before the path is looked at, so no change is missed).
    void Watch(const std::string& path);
    void Lose(const std::string& path);
    // The serial link broke: closes it, and starts waiting for its device.
    void LetGo(const std::string& path);
    // Something may have changed at the path: reports a loss, or opens the device that is back.
    void LookAt(const std::string& path, bool newPath, bool openedElsewhere);

    IMonitoredLink& m_link;
    SHooks m_hooks;
    std::unique_ptr<CSerialDeviceWatch> m_watch; // while the link is down
    std::string m_watchedPath;
    SDeviceNode m_staleNode; // a node at the path that is not taken for the device coming back
    bool m_lost = false;     // the loss was reported and the link has not come back since
    unsigned m_opens = 0;    // the link's opens seen so far
};
