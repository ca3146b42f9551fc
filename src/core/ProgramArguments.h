// The program's command line: it takes only what a user must be able to choose at start.
#pragma once

#include <string>
#include <vector>

struct SProgramArguments {
    std::string dataDir; // --data-dir DIR (or --data-dir=DIR): one folder for all the files
    bool viewer = false; // --viewer: the calls of another computer's program, from the MQTT broker
};

// Parses the arguments after the program name. False with a sentence naming the offending
// argument when one is unknown or lacks its value.
bool ParseProgramArguments(const std::vector<std::string>& args, SProgramArguments& out, std::string& error);

// The usage text --help prints and an argument error follows.
const char* ProgramUsage();
