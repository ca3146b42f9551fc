// Parsing of one command line received by the simulated adapter (the text before its CR).
#pragma once

#include <string>
#include <string_view>

enum class EAtKind {
    NotAt,       // the line does not begin with AT: a modem ignores it
    Attention,   // "AT" alone
    Identify,    // ATI, ATI0
    Firmware,    // AT%V
    Echo,        // ATE0, ATE1 (value)
    Verbose,     // ATV0, ATV1 (value)
    RegQuery,    // ATSn? (reg)
    RegSet,      // ATSn=v (reg, value)
    Store,       // AT&W
    Reset,       // ATZ, AT&F
    CallReports, // AT$V0, AT$V1 (value)
    SetRate,     // AT$B<rate> (value; 0 = default rate)
    StatusCheck, // AT*SC
    Answer,      // AT*pA/id
    HangUp,      // AT*pH/id
    Hold,        // AT*pW/id
    Retrieve,    // AT*pR/id
    NewCall,     // AT*pD
    DialDigit,   // AT*pDc/id (digit)
    DialNumber,  // AT*pD<number> (number)
    Unknown,     // begins with AT but is not understood: the answer is ERROR
};

struct CAtCommand {
    EAtKind kind = EAtKind::Unknown;
    int port = 0;    // 1 or 2 for the call commands
    int callId = -1; // call commands with "/id"
    int reg = -1;    // S-register number
    int value = 0;   // E, V, $V, $B values and the S-register value
    char digit = 0;  // DialDigit
    std::string number;
};

// The prefix and letters are case-insensitive; blanks inside the command are ignored, as a
// Hayes modem does. Numbers out of range (register above 255, value above 255, port other
// than 1 or 2, ids or rates with more than 9 digits) make the command Unknown.
CAtCommand ParseAtCommand(std::string_view line);

// True for the characters a phone can dial: 0-9, * and #.
bool IsDialChar(char c);
