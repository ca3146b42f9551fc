// The file that describes the simulated dial-up service: its entries with their devices and
// behaviour, and connections that "someone else" made.
//
//   # comment
//   <entry name>=<device> [delay=<ms>] [fail=<code>] [user=<name>] [password=<password>]
//   foreign=<device> [for=<ms>]
//
// The entry name is everything before the first '=' (spaces allowed, trimmed at both ends);
// "foreign" is reserved. delay: the dial takes this long; fail: the dial fails with this code;
// user/password: a dial with other credentials fails (pppd's status 19). A foreign line is a
// connection that holds the device from the moment the service sees the line, until the line
// is removed or, with for=<ms>, that many milliseconds have passed. Lines that cannot be read
// are skipped and reported in errors.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct SimDialUpEntry {
    std::string name;
    std::string device;
    int delayMs = 0;
    int failCode = 0;
    bool checkUser = false;
    std::string user;
    bool checkPassword = false;
    std::string password;
};

struct SimForeignConnection {
    std::string device;
    int forMs = -1; // -1: until the line is removed
};

struct SimDialUpFile {
    std::vector<SimDialUpEntry> entries;
    std::vector<SimForeignConnection> foreign;
    std::vector<std::string> errors; // "line <n>: <what is wrong>"
};

SimDialUpFile ParseSimDialUpFile(std::string_view text);
