// The dial-up connection manager. The program starts and ends dial-up connections from one of
// three configured slots (entries of the dial-up service). The dial-up connection runs through
// the same adapter as the program's own AT-command link, so every connect and disconnect is one
// operation that closes the adapter link, dials or hangs up, and reopens the link: over the
// socket while the program's own connection is up, serial port first otherwise.
//
// It owns the current slot's connection handle, the connect/disconnect operation, the commands
// that lead to it (the "Connect to %s" items, the dial-up button, the toggle command) and the
// check marks of the connection items. Everything runs on the window thread; the link lock is
// held from the close of the link to the end of its reopen, so the line monitor neither reads
// replies meant for the reopen's handshake nor watches the connection meanwhile. No message
// box is shown while the lock is held (the window framework runs queued work inside a modal
// box, which could start another toggle): the reopen's boxes come once it is released.
//
// A dial runs on a worker thread for at most the DialUpTimeLimit setting, while the window
// thread waits for it with the windows painted; Quit during the dial ends it. An own
// connection that ends by itself is noticed at the next tick of the on-line clock.
#pragma once

#include "core/CSettings.h"
#include "core/CWindowHost.h"
#include "core/Clock.h"
#include "core/IDialUpToggle.h"
#include "dialup/IDialUpService.h"

#include <functional>
#include <string>
#include <vector>

class CModem;
class CLineMonitor;

class CDialUpManager final : public IDialUpToggle {
public:
    struct SHooks {
        // Logs a status text to the trace file and the activity list.
        std::function<void(const std::string&)> log;
        // Opens the adapter link with the ComPort and Baud settings and the adapter's network
        // address; serialFirst false tries the socket first. Caller holds the link lock.
        std::function<bool(bool serialFirst)> openLink;
        // Sends the call-waiting register for the current setting and shows it on its button.
        std::function<void()> applyCallWaiting;
        // true: message boxes asked for on the window thread are kept back; false: the ones
        // kept back are shown. Holds nest.
        std::function<void(bool hold)> holdMessageBoxes;
    };

    // Longest wait for a hang-up to complete, and the wait between two status checks.
    static constexpr int kHangUpLimitMs = 15000;
    static constexpr int kStatusPollMs = 50;
    // Pause after a failed dial before the link is reopened.
    static constexpr int kFailurePauseMs = 2000;

    CDialUpManager(CWindowHost& host, const IClock& clock, IDialUpService& service, CSettings& settings, CModem& modem,
                   CLineMonitor& monitor, SHooks hooks);

    // Connects the current slot when no connection of ours is up, disconnects it otherwise.
    // Does nothing when the current slot is not configured.
    void ToggleDialUpConnection() override;

    // A "Connect to %s" item of slot 0..2: choosing the connected slot ends its connection;
    // choosing another slot while connected ends that connection and dials the chosen one.
    // Inert while a connection the program did not make holds the adapter's serial port.
    void OnConnection(int slot);
    void OnConnection1() { OnConnection(0); }
    void OnConnection2() { OnConnection(1); }
    void OnConnection3() { OnConnection(2); }

    // The dial-up button: toggles the only configured slot, or offers the configured slots in
    // a pop-up menu.
    void OnDialUpButton();

    // "&Clear Total Timer": the total on-line time starts again from zero.
    void OnClearTotalTimer();

    // Re-creates the "Connect to %s" items of the "&Internet" menu for the configured slots.
    void RebuildConnectionMenu();
    // Check marks of the connection items.
    void UpdateConnectionChecks();
    // The "Connect to %s" items of the configured slots with their check marks, in slot order
    // (for the pop-up menus).
    std::vector<SMenuItem> ConnectionItems() const;
    // Whether the item of a configured slot carries the check mark: it is the current slot
    // and the link runs over the socket because of our own connection.
    bool SlotChecked(int slot) const;

    // At each tick of the on-line clock: an own connection whose pppd has gone (the line
    // dropped, an idle limit, the peer hung up) is handled as a disconnect, and the link moves
    // back to the serial port.
    void CheckOwnConnection();

    // Shut-down: an own connection that is still up is hung up, without waiting for it.
    void HangUpAtShutDown();

    DialUpHandle OwnConnection() const { return m_hOwnConnection; }

    // The toggle command, the connection items and the dial-up button; false for any other id.
    bool OnCommand(int id);

private:
    // Closes the link, runs the operation, reopens the link (unless the program is quitting)
    // and shows the resulting state, all under the link lock.
    void MoveLink(const std::string& entry, const std::function<void()>& operation);
    void Disconnect(const std::string& entry);
    void Connect(int slot);
    // The dial on a worker thread, ended at the time limit or when the user quits.
    int DialWithinLimit(int slot, DialUpHandle& handle);
    void ShowConnectionState(const std::string& entry);
    void RestartOnlineClock();

    CWindowHost& m_host;
    const IClock& m_clock;
    IDialUpService& m_service;
    CSettings& m_settings;
    CModem& m_modem;
    CLineMonitor& m_monitor;
    SHooks m_hooks;
    DialUpHandle m_hOwnConnection = 0; // our own connection; 0 when none is up
    bool m_bQuitting = false;          // the user quit during the current operation
};
