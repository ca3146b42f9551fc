// The simulator's control commands, shared by the interactive terminal, scenario files and
// the control socket. One command a line:
//   ring <port> <remote|-> [<local>]   a call is offered on the port ("-": the caller's number
//                                      is withheld)
//   answer-far <port>                  the far end answers the outgoing call on the port
//   hangup-far <port>                  the far end hangs up the call on the port
//   offhook <port> | onhook <port> | flash <port>   the local phone on the port
//   digit <port> <d>                   a digit dialed on the local phone
//   dtmf <port> <digits>               the far end sends DTMF digits during a connected call
//   existing <port> <remote|-> [<local>]  a call already in progress (reported as type 99)
//   raw <text>                         sends the text as one line (\r \n \t \\ \xHH escapes)
//   wait <seconds>                     pauses this control source (fractions allowed)
//   expect <text>                      waits until a received command contains the text
//   unplug                             the serial cable is pulled: the pseudo-terminal and its
//                                      link go away, and the network side is silent
//   replug                             the cable is back: a new pseudo-terminal at the link
//   status | help | quit
// Blank lines and lines starting with # are no commands.
#pragma once

#include <string>
#include <string_view>

enum class ECtlVerb {
    None, // blank line or comment
    Ring,
    AnswerFar,
    HangUpFar,
    OffHook,
    OnHook,
    Flash,
    Digit,
    Dtmf,
    Existing,
    Raw,
    Wait,
    Expect,
    Unplug,
    Replug,
    Status,
    Help,
    Quit,
};

struct CControlCommand {
    ECtlVerb verb = ECtlVerb::None;
    int port = 0;
    std::string remote;
    std::string local;
    std::string text; // raw (unescaped), expect, dtmf digits
    char digit = 0;
    int waitMs = 0;
};

// Returns false with a reason when the line is not a valid command.
bool ParseControlCommand(std::string_view line, CControlCommand& out, std::string& error);

// "\r", "\n", "\t", "\\" and "\xHH" become the bytes they name; other text is kept.
std::string UnescapeText(std::string_view text);

// The one-line summary that "help" answers with.
const char* ControlHelpText();
