// Command-line options of ringvale-adapter-sim.
#pragma once

#include "SimAdapter.h"

#include <string>
#include <vector>

struct CSimOptions {
    std::string link = "./ttyRV";
    std::string address = "127.0.0.1";
    int udpPort = 2323;
    std::string control;  // control socket path; none when empty
    std::string scenario; // scenario file; none when empty
    bool exitAfterScenario = false;
    std::string logPath;    // stderr when empty
    bool logMicros = false; // log times to the microsecond (latency measurements)
    bool stdinControl = true;
    bool rateCheck = true;
    bool garbage = false; // at a wrong rate, answer with garbage bytes instead of silence
    int expectTimeoutMs = 30000;
    CSimAdapter::Config adapter;
};

// Parses argv[1..]; false with a message on a bad option. `help` is set for --help.
bool ParseSimOptions(const std::vector<std::string>& args, CSimOptions& options, bool& help, std::string& error);
const char* SimUsageText();
