#include "dialup/DialUpErrors.h"

#include "core/Format.h"

#include <array>
#include <cstring>

namespace {

// pppd's exit statuses, indexed by the status (see the EXIT STATUS section of pppd's manual).
constexpr std::array<const char*, 20> kPppdExitTexts = {
    "pppd ended without error",
    "pppd failed: an immediately fatal error occurred (a system call failed or memory ran out)",
    "pppd failed: an error was found in the options",
    "pppd failed: pppd is not setuid-root and the user is not root",
    "pppd failed: the kernel does not support PPP (the driver is missing or cannot be loaded)",
    "pppd ended because it received a SIGINT, SIGTERM or SIGHUP signal",
    "pppd failed: the serial port could not be locked (another program is using it)",
    "pppd failed: the serial port could not be opened",
    "pppd failed: the connect script failed",
    "pppd failed: the command given with the pty option could not be run",
    "pppd failed: the PPP negotiation failed (no network protocol came up)",
    "pppd failed: the peer failed or refused to authenticate itself",
    "pppd ended: the link was idle",
    "pppd ended: the connect time limit was reached",
    "pppd ended: callback was negotiated and an incoming call should arrive shortly",
    "pppd ended: the peer is not responding to echo requests",
    "pppd ended: the modem hung up",
    "pppd failed: serial loopback was detected during PPP negotiation",
    "pppd failed: the init script failed",
    "pppd failed: we failed to authenticate ourselves to the peer (check user name and password)",
};

} // namespace

std::string DialUpErrorText(int code) {
    if (code >= 0 && code < static_cast<int>(kPppdExitTexts.size())) {
        return kPppdExitTexts[static_cast<std::size_t>(code)];
    }
    switch (code) {
    case kDialUpErrNoPppd:
        return "pppd is not installed (no pppd program was found); install the ppp package to dial";
    case kDialUpErrStartFailed:
        return "pppd could not be started (is the user allowed to run it? on Debian: group dip)";
    case kDialUpErrOptionsFile:
        return "The temporary options file for pppd could not be written";
    case kDialUpErrNoEntry:
        return "The dial-up entry does not exist";
    case kDialUpErrCancelled:
        return "The dial was cancelled";
    case kDialUpErrTimedOut:
        return "The connection did not come up within the time limit (DialUpTimeLimit); the attempt was ended";
    default:
        break;
    }
    if (code > kDialUpErrSignalBase && code <= kDialUpErrSignalLast) {
        const int sig = code - kDialUpErrSignalBase;
        const char* name = ::strsignal(sig);
        return StrFormat("pppd was killed by signal %d (%s)", sig, name != nullptr ? name : "unknown");
    }
    if (code > 0 && code < kDialUpErrNoPppd) {
        return StrFormat("pppd failed with exit status %d, which has no documented meaning", code);
    }
    return StrFormat("Unknown dial-up error %d", code);
}
