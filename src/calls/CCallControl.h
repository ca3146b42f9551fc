// Call control: follows the calls the adapter reports through their states, in the four
// tiles, and ties together the parts that act on them — the tiles and their buttons, the
// local phones and keypad, whole-number dialing, screening, the remote-control triggers and
// the end-of-call records. The controller owns one CCallControl, hands it every adapter
// report (it is the IModemReportSink of OnModemLine) and the commands and messages below.
//
// Window thread only. The stores and the dial-up manager may be absent; every part copes.
#pragma once

#include "calls/CCall.h"
#include "calls/CCallAnnouncer.h"
#include "calls/CCallContext.h"
#include "calls/CCallList.h"
#include "calls/CCallRecorder.h"
#include "calls/CCallScreening.h"
#include "calls/CDialer.h"
#include "calls/CLocalPhones.h"
#include "calls/CModemReport.h"
#include "calls/CRemoteControl.h"
#include "calls/CTileSet.h"

#include <string>

class CCallControl final : public IModemReportSink {
public:
    // Without a post hook, tile refreshes happen at once instead of through the queue.
    CCallControl(CWindowHost& host, const IClock& clock, CSettings& settings, SCallHooks hooks);
    CCallControl(const CCallControl&) = delete;
    CCallControl& operator=(const CCallControl&) = delete;
    ~CCallControl() override;

    void SetDialUp(IDialUpToggle* dialUp) { m_ctx.SetDialUp(dialUp); }
    // Who follows the calls from outside (the network publisher); nullptr for none.
    void SetObserver(ICallObserver* observer) { m_ctx.SetObserver(observer); }

    // A "CALL:" report: the transitions of one call (see the .cpp).
    void OnCallReport(const CModemReport& report) override;
    // An "AUD:" report: the local phones.
    void OnAudioReport(const CModemReport& report) override {
        m_phones.OnAudioReport(report);
        m_announcer.CloseSettled();
    }

    // The display name of a number: the phone book's name for it ("Unknown caller" when it
    // has none, or without a phone book), "Unknown callee" instead for an outgoing call.
    std::string CallerText(const std::string& number, bool outgoing);

    // The WM_RV_REFRESH_TILES handler.
    void OnRefreshTiles() { m_tiles.RefreshTiles(); }
    // The WM_RV_DIAL_NUMBER handler: 0 when dialed, -1 when both phones are off-hook.
    int DialNumber(const std::string& number) { return m_dialer.DialNumber(number); }

    // The buttons call control owns: the four tile select buttons, the keypad (1002..1013),
    // hang-up (1017) and hold (1049). False for any other id.
    bool OnCommand(int id);
    // WM_RV_REFRESH_TILES, WM_RV_DIAL_NUMBER and WM_RV_CALL_NOTIFICATION; false for any
    // other message.
    bool OnMessage(const CMessage& msg);

    // Shut-down: empties the held lists under the call-list lock, then deletes every call.
    void ShutDown();

    CCallList& Calls() { return m_calls; }
    CTileSet& Tiles() { return m_tiles; }
    CLocalPhones& Phones() { return m_phones; }
    CDialer& Dialer() { return m_dialer; }
    CCallScreening& Screening() { return m_screening; }
    CRemoteControl& RemoteControl() { return m_remoteControl; }
    CCallRecorder& Recorder() { return m_recorder; }

private:
    // A new call in the given state from the report's port and id, appended to the list.
    CCall& NewCall(const CModemReport& report, int state, bool outgoing = true);
    void OnHoldReport(const CModemReport& report, CCall* tracked);
    void OnRecalledReport(const CModemReport& report, CCall* tracked);
    void Notify(ECallChange event, const CCall& call);

    CCallContext m_ctx;
    CCallList m_calls;
    CTileSet m_tiles;
    CCallRecorder m_recorder;
    CRemoteControl m_remoteControl;
    CCallAnnouncer m_announcer;
    CCallScreening m_screening;
    CLocalPhones m_phones;
    CDialer m_dialer;
};
