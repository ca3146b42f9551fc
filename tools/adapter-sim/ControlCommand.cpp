#include "ControlCommand.h"

#include "AtCommand.h"
#include "core/Format.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace {

struct VerbInfo {
    const char* name;
    ECtlVerb verb;
};

constexpr VerbInfo kVerbs[] = {
    {"ring", ECtlVerb::Ring},
    {"answer-far", ECtlVerb::AnswerFar},
    {"hangup-far", ECtlVerb::HangUpFar},
    {"offhook", ECtlVerb::OffHook},
    {"onhook", ECtlVerb::OnHook},
    {"flash", ECtlVerb::Flash},
    {"digit", ECtlVerb::Digit},
    {"dtmf", ECtlVerb::Dtmf},
    {"existing", ECtlVerb::Existing},
    {"raw", ECtlVerb::Raw},
    {"wait", ECtlVerb::Wait},
    {"expect", ECtlVerb::Expect},
    {"unplug", ECtlVerb::Unplug},
    {"replug", ECtlVerb::Replug},
    {"status", ECtlVerb::Status},
    {"help", ECtlVerb::Help},
    {"quit", ECtlVerb::Quit},
};

bool ParsePort(const std::vector<std::string>& words, CControlCommand& out, std::string& error) {
    if (words.size() < 2 || (words[1] != "1" && words[1] != "2")) {
        error = "port must be 1 or 2";
        return false;
    }
    out.port = words[1][0] - '0';
    return true;
}

bool ParseNumbers(const std::vector<std::string>& words, CControlCommand& out, std::string& error) {
    if (words.size() < 3 || words.size() > 4) {
        error = "usage: " + words[0] + " <port> <remote|-> [<local>]";
        return false;
    }
    out.remote = words[2] == "-" ? "" : words[2];
    out.local = words.size() == 4 ? words[3] : "";
    if (!AllDigits(out.remote) || !AllDigits(out.local)) {
        error = "numbers must be digits";
        return false;
    }
    return true;
}

// The text after the verb and one blank, as typed.
std::string RestOfLine(std::string_view line, std::size_t verbLength) {
    std::string_view rest = TrimView(line).substr(verbLength);
    if (!rest.empty()) {
        rest.remove_prefix(1);
    }
    return std::string(rest);
}

} // namespace

const char* ControlHelpText() {
    return "commands: ring <port> <remote|-> [<local>]; answer-far <port>; hangup-far <port>; "
           "offhook <port>; onhook <port>; flash <port>; digit <port> <d>; dtmf <port> <digits>; "
           "existing <port> <remote|-> [<local>]; raw <text>; wait <seconds>; expect <text>; "
           "unplug; replug; status; help; quit";
}

std::string UnescapeText(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '\\' || i + 1 >= text.size()) {
            out.push_back(c);
            continue;
        }
        char n = text[++i];
        switch (n) {
        case 'r':
            out.push_back('\r');
            break;
        case 'n':
            out.push_back('\n');
            break;
        case 't':
            out.push_back('\t');
            break;
        case '\\':
            out.push_back('\\');
            break;
        case 'x':
            if (i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) != 0 &&
                std::isxdigit(static_cast<unsigned char>(text[i + 2])) != 0) {
                out.push_back(static_cast<char>(std::strtol(std::string(text.substr(i + 1, 2)).c_str(), nullptr, 16)));
                i += 2;
                break;
            }
            out += "\\x";
            break;
        default:
            out.push_back('\\');
            out.push_back(n);
            break;
        }
    }
    return out;
}

bool ParseControlCommand(std::string_view line, CControlCommand& out, std::string& error) {
    out = CControlCommand{};
    std::string_view trimmed = TrimView(line);
    if (trimmed.empty() || trimmed[0] == '#') {
        return true;
    }
    std::vector<std::string> words;
    std::istringstream in{std::string(trimmed)};
    for (std::string w; in >> w;) {
        words.push_back(w);
    }
    auto it = std::find_if(std::begin(kVerbs), std::end(kVerbs), [&](const VerbInfo& v) { return words[0] == v.name; });
    if (it == std::end(kVerbs)) {
        error = "unknown command " + words[0] + " (try help)";
        return false;
    }
    out.verb = it->verb;
    switch (out.verb) {
    case ECtlVerb::Ring:
    case ECtlVerb::Existing:
        return ParsePort(words, out, error) && ParseNumbers(words, out, error);
    case ECtlVerb::AnswerFar:
    case ECtlVerb::HangUpFar:
    case ECtlVerb::OffHook:
    case ECtlVerb::OnHook:
    case ECtlVerb::Flash:
        if (words.size() != 2) {
            error = "usage: " + words[0] + " <port>";
            return false;
        }
        return ParsePort(words, out, error);
    case ECtlVerb::Digit:
        if (words.size() != 3 || words[2].size() != 1 || !IsDialChar(words[2][0])) {
            error = "usage: digit <port> <0-9 * #>";
            return false;
        }
        out.digit = words[2][0];
        return ParsePort(words, out, error);
    case ECtlVerb::Dtmf:
        if (words.size() != 3 || !std::all_of(words[2].begin(), words[2].end(), IsDialChar)) {
            error = "usage: dtmf <port> <digits 0-9 * #>";
            return false;
        }
        out.text = words[2];
        return ParsePort(words, out, error);
    case ECtlVerb::Raw:
        out.text = UnescapeText(RestOfLine(line, 3));
        return true;
    case ECtlVerb::Expect:
        out.text = RestOfLine(line, 6);
        if (out.text.empty()) {
            error = "usage: expect <text>";
            return false;
        }
        return true;
    case ECtlVerb::Wait: {
        char* end = nullptr;
        double seconds = words.size() == 2 ? std::strtod(words[1].c_str(), &end) : -1;
        if (words.size() != 2 || end == nullptr || *end != '\0' || !std::isfinite(seconds) || seconds < 0 ||
            seconds > 86400) {
            error = "usage: wait <seconds>";
            return false;
        }
        out.waitMs = static_cast<int>(std::lround(seconds * 1000));
        return true;
    }
    case ECtlVerb::Unplug:
    case ECtlVerb::Replug:
    case ECtlVerb::Status:
    case ECtlVerb::Help:
    case ECtlVerb::Quit:
        if (words.size() != 1) {
            error = words[0] + " takes no arguments";
            return false;
        }
        return true;
    case ECtlVerb::None:
        break;
    }
    return true;
}
