// A complete call-control set-up for tests: fake clock and window host, settings, the real
// phone book and call log stores in a temporary directory, the message queue, and a
// CCallControl whose commands, log lines and dial-up toggles are recorded with the fake time
// they happened at. Feed it adapter lines with Line(); the refresh messages it posts are
// handled by Pump() (Line() pumps too).
#pragma once

#include "calls/CCallControl.h"
#include "core/ActivityList.h"
#include "core/CMessageQueue.h"
#include "core/CSettings.h"
#include "core/IDialUpToggle.h"
#include "records/CCallLog.h"
#include "records/CPhoneBook.h"
#include "support/CFakeClock.h"
#include "support/CFakeWindowHost.h"
#include "support/TempDir.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Adapter lines as the adapter writes them.
namespace calltest {
// An incoming call offered on port 1 or 2 from remote to the local number.
std::string Offer(int port, int id, const std::string& remote = "2125550000", const std::string& local = "5551212");
// A call report of the given type ("CALL:0,<type>;2,<port>;3,<id>").
std::string Report(int type, int port, int id);
// A hook event: 1 on-hook, 2 off-hook, 3 flash.
std::string Audio(int port, int code);
// A digit dialed on the phone or received from the far end.
std::string Digit(int port, char digit);
} // namespace calltest

class CCallTestRig : public IDialUpToggle {
public:
    struct SEvent {
        std::string text;    // the command sent, the text logged, or "TOGGLE"
        std::int64_t tickMs; // fake clock tick when it happened
    };

    // configure may change the settings (defaults, DefaultAreaCode "408") before the call
    // control is built.
    // A rig without stores (the phone book or call log missing) when withStores is false.
    explicit CCallTestRig(const std::function<void(CSettings&)>& configure = {}, bool withStores = true);
    ~CCallTestRig() override;

    // One adapter line, through the same decoding and dispatch as the program, then Pump().
    void Line(const std::string& line);
    // Handles the queued messages (WM_RV_REFRESH_TILES).
    void Pump();

    // Adds a phone book entry (number as given; the store puts the area code in front of a
    // short one) and returns its id.
    std::uint64_t AddEntry(const std::string& number, const std::string& lastName, const std::string& firstName,
                           std::uint32_t flags = 0);

    std::vector<std::string> Commands() const;
    // Commands sent since the last ClearEvents().
    void ClearEvents();
    bool Logged(const std::string& text) const;
    int CountLogged(const std::string& text) const;
    // Tick of the first event with this exact text, -1 when none.
    std::int64_t TickOf(const std::string& text) const;
    int Toggles() const { return m_toggles; }
    std::string CallLogFile() const;

    // IDialUpToggle
    void ToggleDialUpConnection() override;

    TempDir dir;
    CFakeClock clock;
    CFakeWindowHost host{&clock};
    CSettings settings;
    CMessageQueue queue;
    CActivityList activity;
    std::unique_ptr<CPhoneBook> phoneBook;
    std::unique_ptr<CCallLog> callLog;
    std::unique_ptr<CCallControl> control;
    std::vector<SEvent> commands; // every command sent
    std::vector<SEvent> logs;     // every text logged
    std::vector<SEvent> toggles;
    std::vector<std::size_t> callsAtToggle;      // calls still tracked at each toggle
    std::vector<std::uint64_t> refreshedEntries; // phone book rows asked to refresh
    int newCalls = 0;                            // incoming calls announced
    std::vector<int> selectedTiles;              // every selection shown

private:
    int m_toggles = 0;
};
