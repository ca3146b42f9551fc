#include "AtCommand.h"

#include <cctype>

namespace {

// Reads 1..9 decimal digits at pos; false when there are none or too many.
bool ReadNumber(const std::string& s, std::size_t& pos, int& value) {
    std::size_t start = pos;
    long long v = 0;
    while (pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos])) != 0) {
        v = v * 10 + (s[pos] - '0');
        ++pos;
        if (pos - start > 9) {
            return false;
        }
    }
    if (pos == start) {
        return false;
    }
    value = static_cast<int>(v);
    return true;
}

// "/id" up to the end of the body.
bool ReadCallId(const std::string& s, std::size_t pos, int& id) {
    if (pos >= s.size() || s[pos] != '/') {
        return false;
    }
    ++pos;
    return ReadNumber(s, pos, id) && pos == s.size();
}

CAtCommand Make(EAtKind kind) {
    CAtCommand c;
    c.kind = kind;
    return c;
}

CAtCommand ParseCallCommand(const std::string& body) {
    // body starts with "*<p>"
    CAtCommand c;
    if (body.size() < 3 || (body[1] != '1' && body[1] != '2')) {
        return c;
    }
    c.port = body[1] - '0';
    char op = body[2];
    std::size_t rest = 3;
    switch (op) {
    case 'A':
    case 'H':
    case 'W':
    case 'R':
        if (!ReadCallId(body, rest, c.callId)) {
            return Make(EAtKind::Unknown);
        }
        c.kind = op == 'A'   ? EAtKind::Answer
                 : op == 'H' ? EAtKind::HangUp
                 : op == 'W' ? EAtKind::Hold
                             : EAtKind::Retrieve;
        return c;
    case 'D':
        if (rest == body.size()) {
            c.kind = EAtKind::NewCall;
            return c;
        }
        if (body.find('/', rest) != std::string::npos) {
            if (!IsDialChar(body[rest]) || !ReadCallId(body, rest + 1, c.callId)) {
                return Make(EAtKind::Unknown);
            }
            c.kind = EAtKind::DialDigit;
            c.digit = body[rest];
            return c;
        }
        for (std::size_t i = rest; i < body.size(); ++i) {
            if (!IsDialChar(body[i])) {
                return Make(EAtKind::Unknown);
            }
        }
        c.kind = EAtKind::DialNumber;
        c.number = body.substr(rest);
        return c;
    default:
        return Make(EAtKind::Unknown);
    }
}

// E, V: no digit means 0.
CAtCommand ParseSwitch(EAtKind kind, const std::string& body) {
    if (body.size() == 1) {
        CAtCommand c = Make(kind);
        c.value = 0;
        return c;
    }
    if (body.size() == 2 && (body[1] == '0' || body[1] == '1')) {
        CAtCommand c = Make(kind);
        c.value = body[1] - '0';
        return c;
    }
    return Make(EAtKind::Unknown);
}

CAtCommand ParseRegister(const std::string& body) {
    std::size_t pos = 1;
    CAtCommand c;
    if (!ReadNumber(body, pos, c.reg) || c.reg > 255 || pos >= body.size()) {
        return Make(EAtKind::Unknown);
    }
    if (body[pos] == '?' && pos + 1 == body.size()) {
        c.kind = EAtKind::RegQuery;
        return c;
    }
    if (body[pos] == '=') {
        ++pos;
        if (ReadNumber(body, pos, c.value) && pos == body.size() && c.value <= 255) {
            c.kind = EAtKind::RegSet;
            return c;
        }
    }
    return Make(EAtKind::Unknown);
}

} // namespace

bool IsDialChar(char c) {
    return (c >= '0' && c <= '9') || c == '*' || c == '#';
}

CAtCommand ParseAtCommand(std::string_view line) {
    std::string text;
    for (char ch : line) {
        if (ch != ' ' && ch != '\t') {
            text.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(ch))));
        }
    }
    if (text.size() < 2 || text[0] != 'A' || text[1] != 'T') {
        return Make(EAtKind::NotAt);
    }
    std::string body = text.substr(2);
    if (body.empty()) {
        return Make(EAtKind::Attention);
    }
    if (body == "I" || body == "I0") {
        return Make(EAtKind::Identify);
    }
    if (body == "%V") {
        return Make(EAtKind::Firmware);
    }
    if (body == "&W") {
        return Make(EAtKind::Store);
    }
    if (body == "Z" || body == "Z0" || body == "&F") {
        return Make(EAtKind::Reset);
    }
    if (body == "*SC") {
        return Make(EAtKind::StatusCheck);
    }
    switch (body[0]) {
    case 'E':
        return ParseSwitch(EAtKind::Echo, body);
    case 'V':
        return ParseSwitch(EAtKind::Verbose, body);
    case 'S':
        return ParseRegister(body);
    case '*':
        return ParseCallCommand(body);
    case '$':
        if (body == "$V0" || body == "$V1") {
            CAtCommand c = Make(EAtKind::CallReports);
            c.value = body[2] - '0';
            return c;
        }
        if (body.size() > 2 && body[1] == 'B') {
            CAtCommand c = Make(EAtKind::SetRate);
            std::size_t pos = 2;
            if (ReadNumber(body, pos, c.value) && pos == body.size()) {
                return c;
            }
        }
        return Make(EAtKind::Unknown);
    default:
        return Make(EAtKind::Unknown);
    }
}
