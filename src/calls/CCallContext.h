// What the call-control classes share: the window host, the clock, the settings, the
// controller's logging and command sink, the message queue and the two stores. The
// controller's call control creates one and hands it to every part by reference.
//
// To log a text is to trace it and then add it to the activity list; the controller supplies
// that function (tests supply one that does the same with a fake host).
#pragma once

#include "calls/CCallCommands.h"
#include "calls/ICallObserver.h"
#include "core/CSettings.h"
#include "core/CWindowHost.h"
#include "core/Clock.h"
#include "core/Messages.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

class CPhoneBook;
class CCallLog;
class IDialUpToggle;

struct SCallHooks {
    // Traces the text, then adds it to the activity list.
    std::function<void(const std::string& text)> log;
    // The controller's SendCommand: one complete AT command to the adapter.
    std::function<void(const std::string& command)> sendCommand;
    // CModem::WriteCommand, used for the whole-number dial; sendCommand when empty.
    std::function<void(const std::string& command)> writeCommand;
    // Posts a message to the window thread's queue (WM_RV_REFRESH_TILES).
    std::function<void(CMessage msg)> post;
    // The phone book window refreshes the row of this entry (its statistics changed).
    std::function<void(std::uint64_t entryId)> phoneBookEntryUpdated;
    // An incoming call was logged: the new-call count, status bar part 3, tray tip and blink.
    std::function<void()> announceNewCall;
    // The selected tile changed (or is shown for the first time): the select indicators.
    std::function<void(int tile)> showSelectedTile;
    // The stores as they are now (the phone book may be replaced by another file); either
    // may give nullptr.
    std::function<CPhoneBook*()> phoneBook;
    std::function<CCallLog*()> callLog;
};

class CCallContext {
public:
    CCallContext(CWindowHost& host, const IClock& clock, CSettings& settings, SCallHooks hooks);
    CCallContext(const CCallContext&) = delete;
    CCallContext& operator=(const CCallContext&) = delete;

    CWindowHost& Host() const { return m_host; }
    const IClock& Clock() const { return m_clock; }
    std::int64_t Now() const { return m_clock.Now(); }
    CSettings& Settings() const { return m_settings; }

    void Log(const std::string& text) const;
    // Call-control commands through SendCommand.
    const CCallCommands& Commands() const { return m_commands; }
    // A command straight to the link (the whole-number dial).
    void WriteCommand(const std::string& command) const;
    // Posts WM_RV_REFRESH_TILES.
    void RefreshTiles() const;
    // Posts a message to the window thread's queue (nothing without a post hook).
    void Post(CMessage msg) const;
    // Blocks the window thread in place (the adapter needs time between commands).
    void WaitInPlace(int milliseconds) const { m_host.WaitInPlace(milliseconds); }
    void PhoneBookEntryUpdated(std::uint64_t entryId) const;
    void AnnounceNewCall() const;
    void ShowSelectedTile(int tile) const;

    // The stores and the dial-up manager; each may be absent (nullptr).
    CPhoneBook* PhoneBook() const { return m_hooks.phoneBook ? m_hooks.phoneBook() : nullptr; }
    CCallLog* CallLog() const { return m_hooks.callLog ? m_hooks.callLog() : nullptr; }
    IDialUpToggle* DialUp() const { return m_dialUp; }
    void SetDialUp(IDialUpToggle* dialUp) { m_dialUp = dialUp; }

    // Who follows the calls from outside; may be absent.
    ICallObserver* Observer() const { return m_observer; }
    void SetObserver(ICallObserver* observer) { m_observer = observer; }

    // Replaces the post hook when the owner has none (then refreshes happen at once).
    void SetRefreshFallback(std::function<void()> refresh) { m_refreshFallback = std::move(refresh); }

private:
    CWindowHost& m_host;
    const IClock& m_clock;
    CSettings& m_settings;
    SCallHooks m_hooks;
    CCallCommands m_commands;
    std::function<void()> m_refreshFallback;
    IDialUpToggle* m_dialUp = nullptr;
    ICallObserver* m_observer = nullptr;
};
