// The local telephones on the adapter's two ports, and the keypad: lifting the handset
// answers an offered call, takes back the held call of the selected tile or starts a new
// call; hanging up drops the call on the line; a flash holds it and takes the next one;
// digits dialed while a call is being set up go on to the adapter one by one. Digits
// received during a connected call feed the remote-control digit watch.
#pragma once

#include "calls/CCallContext.h"
#include "calls/CCallList.h"
#include "calls/CModemReport.h"
#include "calls/CRemoteControl.h"
#include "calls/CTileSet.h"

class CLocalPhones {
public:
    CLocalPhones(CCallContext& context, CCallList& calls, CTileSet& tiles, CRemoteControl& remoteControl);

    // An "AUD:" report: on-hook, off-hook, flash or a digit.
    void OnAudioReport(const CModemReport& report);

    // The keypad: sends the character to the selected tile's call (nothing when the tile is
    // empty); while the call is being dialed the character joins its number, except a
    // leading 1.
    void SendKeypadDigit(char c);
    // A character typed into the main window: 0-9, * and # act as their keypad button.
    // Returns false for any other character (it gets default processing).
    bool OnTypedChar(char c);

    // The character of keypad button 1002..1013, or 0 for any other id.
    static char KeypadCharacter(int buttonId);
    static bool IsKeypadCharacter(char c);

private:
    void OnHook(int port);
    void OffHook(int port);
    void Flash(int port);
    void Digit(int port, char digit);
    // The port's current call when it is on the line (initiating, connecting, forwarding,
    // connected or existing), else nullptr.
    CCall* CallOnTheLine(int port) const;

    CCallContext& m_ctx;
    CCallList& m_calls;
    CTileSet& m_tiles;
    CRemoteControl& m_remoteControl;
};
