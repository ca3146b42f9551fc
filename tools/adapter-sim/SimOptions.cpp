#include "SimOptions.h"

#include "core/Format.h"

#include <arpa/inet.h>

namespace {

bool ReadInt(const std::string& text, int low, int high, int& value) {
    std::size_t used = 0;
    int v = 0;
    if (!ScanInt(text, v, &used) || used != text.size() || v < low || v > high) {
        return false;
    }
    value = v;
    return true;
}

} // namespace

const char* SimUsageText() {
    return "usage: ringvale-adapter-sim [options]\n"
           "  --link PATH          symlink to the pseudo-terminal (default ./ttyRV)\n"
           "  --address A          UDP address to listen on, port 2323 (default 127.0.0.1)\n"
           "  --udp-port N         another UDP port\n"
           "  --control PATH       Unix-domain control socket\n"
           "  --scenario FILE      play the commands of FILE, one a line\n"
           "  --exit-after-scenario  end when the scenario is done and its output read\n"
           "                       (at most 2 s later; exit 1 if it failed)\n"
           "  --log FILE           log to FILE instead of stderr\n"
           "  --log-micros         log times as HH:MM:SS.uuuuuu\n"
           "  --no-stdin           do not read commands from the terminal\n"
           "  --rate N             the adapter's rate at start (default 115200)\n"
           "  --no-rate-check      understand the tty whatever rate it is set to\n"
           "  --garbage            at a wrong rate answer with garbage instead of silence\n"
           "  --model TEXT         the ATI line (default 3C882)\n"
           "  --firmware TEXT      AT%V answers \"Version TEXT\" (default 3.21)\n"
           "  --s63 N              S-register 63 at start (default 9)\n"
           "  --first-id N         the first call id (default 1)\n"
           "  --answer-delay MS    the far end answers outgoing calls after MS (default 1000;\n"
           "                       -1: only on answer-far)\n"
           "  --digit-timeout MS   a number dialed digit by digit is complete after MS (4000)\n"
           "  --expect-timeout S   how long expect waits (default 30)\n";
}

bool ParseSimOptions(const std::vector<std::string>& args, CSimOptions& options, bool& help, std::string& error) {
    help = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& opt = args[i];
        auto flag = [&](const char* name) { return opt == name; };
        if (flag("--help") || flag("-h")) {
            help = true;
            return true;
        }
        if (flag("--exit-after-scenario")) {
            options.exitAfterScenario = true;
            continue;
        }
        if (flag("--no-stdin")) {
            options.stdinControl = false;
            continue;
        }
        if (flag("--no-rate-check")) {
            options.rateCheck = false;
            continue;
        }
        if (flag("--log-micros")) {
            options.logMicros = true;
            continue;
        }
        if (flag("--garbage")) {
            options.garbage = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            error = "unknown option or missing value: " + opt;
            return false;
        }
        const std::string& value = args[++i];
        bool ok = true;
        int seconds = 0;
        if (flag("--link")) {
            options.link = value;
        } else if (flag("--address")) {
            in_addr a{};
            ok = ::inet_pton(AF_INET, value.c_str(), &a) == 1;
            options.address = value;
        } else if (flag("--udp-port")) {
            ok = ReadInt(value, 1, 65535, options.udpPort);
        } else if (flag("--control")) {
            options.control = value;
        } else if (flag("--scenario")) {
            options.scenario = value;
        } else if (flag("--log")) {
            options.logPath = value;
        } else if (flag("--rate")) {
            ok = ReadInt(value, 1, 10000000, options.adapter.rate) && CSimAdapter::SupportedRate(options.adapter.rate);
        } else if (flag("--model")) {
            options.adapter.model = value;
        } else if (flag("--firmware")) {
            options.adapter.firmware = value;
        } else if (flag("--s63")) {
            ok = ReadInt(value, 0, 255, options.adapter.s63);
        } else if (flag("--first-id")) {
            ok = ReadInt(value, 0, 1000000000, options.adapter.calls.firstId);
        } else if (flag("--answer-delay")) {
            ok = ReadInt(value, -1, 3600000, options.adapter.calls.answerDelayMs);
        } else if (flag("--digit-timeout")) {
            ok = ReadInt(value, 0, 3600000, options.adapter.calls.digitTimeoutMs);
        } else if (flag("--expect-timeout")) {
            ok = ReadInt(value, 0, 86400, seconds);
            options.expectTimeoutMs = seconds * 1000;
        } else {
            error = "unknown option " + opt;
            return false;
        }
        if (!ok) {
            error = "bad value for " + opt + ": " + value;
            return false;
        }
    }
    return true;
}
