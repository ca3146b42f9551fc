#include "core/ProgramArguments.h"

namespace {
constexpr std::string_view kDataDir = "--data-dir";
}

bool ParseProgramArguments(const std::vector<std::string>& args, SProgramArguments& out, std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == kDataDir) {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                error = "--data-dir needs a folder";
                return false;
            }
            out.dataDir = args[++i];
        } else if (arg.starts_with(std::string(kDataDir) + "=")) {
            out.dataDir = arg.substr(kDataDir.size() + 1);
            if (out.dataDir.empty()) {
                error = "--data-dir needs a folder";
                return false;
            }
        } else if (arg == "--viewer") {
            out.viewer = true;
        } else {
            error = "unknown argument \"" + arg + "\"";
            return false;
        }
    }
    return true;
}

const char* ProgramUsage() {
    return "Usage: ringvale [--data-dir DIR] [--viewer]\n"
           "  --data-dir DIR  keep RV.cfg, the phone book, the call log and the trace in DIR\n"
           "                  (also RINGVALE_HOME=DIR)\n"
           "  --viewer        show the calls another computer's Ringvale publishes to the MQTT\n"
           "                  broker instead of using an adapter\n";
}
