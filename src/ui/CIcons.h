// The program's own pictures, drawn in code so they stay crisp at every size: the telephone
// of the application and the tray, the dial-up and call-waiting buttons, the indicator lamps,
// the call buttons, the call log's direction icons and the phone book's row button.
#pragma once

#include <QIcon>
#include <QPixmap>

#include <vector>

enum class EIcon {
    App,               // grey desk telephone with handset and keypad (also the resting tray icon)
    NewCall,           // the same telephone in red (the tray's blinking alternate)
    DialUpOffline,     // two computers linked through a telephone: a press connects
    DialUpOnline,      // the same with a red cross: a press disconnects
    CallWaitingOn,     // telephone under a red "2!" (call waiting enabled)
    CallWaitingOff,    // the same, greyed (call waiting disabled)
    SelectOn,          // tile select indicator, selected
    SelectOff,         // tile select indicator, not selected
    HoldLit,           // hold indicator lamp, lit
    HoldUnlit,         // hold indicator lamp, dark
    HangUp,            // the hang-up button
    Hold,              // the hold button
    CallInAnswered,    // call log: answered incoming call (dark red i)
    CallOutAnswered,   // call log: answered outgoing call (green o)
    CallInMissed,      // call log: missed incoming call (i with a red exclamation mark)
    CallOutUnanswered, // call log: unanswered outgoing call (o with the exclamation mark)
    PhoneBookEntry,    // phone book: the raised square button of every row
};

class CIcons {
public:
    // The picture drawn at size × size device pixels on a transparent background.
    static QPixmap Pixmap(EIcon icon, int size);
    // An icon holding the picture at 16, 24, 32, 48 and 64 pixels.
    static QIcon Icon(EIcon icon);
    // The call log's icon for a record: answered or not, outgoing or not.
    static EIcon CallLogIcon(bool connected, bool outgoing);
    // Every picture, for listings and tests.
    static const std::vector<EIcon>& All();
    static const char* Name(EIcon icon);
};
