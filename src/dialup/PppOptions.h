// Reading pppd option files (the files in /etc/ppp/peers, files named with "file") and pppd
// command lines, as far as the dial-up service needs them: which tty a connection uses.
//
// Option file syntax, as pppd reads it: words are separated by white space; a word that starts
// with '#' begins a comment that runs to the end of the line; single or double quotes group
// white space into a word; a backslash escapes the next character (\n, \t, \r, \s for a space,
// \ooo octal, \xhh hex), and a backslash before a line end joins the lines. Sample peers file:
//
//   # ISDN provider
//   ttyS1 115200
//   connect "/usr/sbin/chat -v -f /etc/chatscripts/provider"
//   noauth defaultroute
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Splits option file text into words (quotes removed, escapes resolved, comments dropped).
std::vector<std::string> SplitPppOptionWords(std::string_view text);

// The device the options name: a word starting with "/dev/" is used as is, a bare word starting
// with "tty" gets "/dev/" in front. The argument of an option that takes one (connect, logfile,
// user, ...) is never taken for a device. "call <peer>" reads <peersDir>/<peer> and "file <path>"
// reads <path> at the point where they appear (nested at most a few levels, so loops end). When
// several devices are named, the last one counts, as in pppd. "" when none is named.
std::string PppDeviceFromWords(const std::vector<std::string>& words, const std::string& peersDir);

// The device of the peers file <peersDir>/<entry>; "" when the file names none or is missing.
std::string PppDeviceOfPeersFile(const std::string& peersDir, const std::string& entry);

// True for a name that "pppd call" accepts and that names a plain file below the peers
// directory: not empty, no '/', not "." or "..".
bool IsValidPeerName(std::string_view name);
