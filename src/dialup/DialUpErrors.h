// Error codes of the dial-up services and their texts.
//
// Dialling with pppd fails with pppd's exit status, so the codes 1..19 (and any higher status a
// newer pppd may use) are pppd's own, with the meanings its manual documents. The services add a
// few codes of their own for failures that happen before or around pppd; they lie far above
// anything pppd returns.
#pragma once

#include <string>

constexpr int kDialUpErrNoPppd = 700;      // no pppd program was found
constexpr int kDialUpErrStartFailed = 701; // pppd was found but could not be started
constexpr int kDialUpErrOptionsFile = 702; // the temporary options file could not be written
constexpr int kDialUpErrNoEntry = 703;     // the entry does not exist
constexpr int kDialUpErrCancelled = 704;   // the dial was cancelled (the program is ending)
constexpr int kDialUpErrTimedOut = 705;    // the connection did not come up within the time limit
constexpr int kDialUpErrSignalBase = 800;  // 800 + n: pppd was killed by signal n
constexpr int kDialUpErrSignalLast = 800 + 64;

// pppd's exit statuses that the services use themselves.
constexpr int kPppdExitLockFailed = 6;
constexpr int kPppdExitOpenFailed = 7;
constexpr int kPppdExitAuthFailed = 19;

// The text for a code returned by a dial: pppd's documented meaning, or the text of one of the
// codes above, or a general text naming the code.
std::string DialUpErrorText(int code);
