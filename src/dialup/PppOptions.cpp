#include "dialup/PppOptions.h"

#include "core/SafeFile.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace {

constexpr int kMaxIncludeDepth = 8;

// Options whose next word is their argument. Only the ones whose argument is text matter here
// (a number never looks like a device), so that "logfile /dev/null" or "user ttyuser" are not
// taken for the device.
constexpr std::array<std::string_view, 30> kOptionsWithArgument = {
    "active-filter", "allow-ip",   "allow-number", "call",        "chap-secrets", "connect",  "disconnect", "domain",
    "file",          "ifname",     "init",         "ipparam",     "linkname",     "logfd",    "logfile",    "ms-dns",
    "ms-wins",       "name",       "nic",          "pap-secrets", "pass-filter",  "password", "plugin",     "pty",
    "record",        "remotename", "remotenumber", "socket",      "user",         "welcome",
};

bool TakesArgument(std::string_view word) {
    return std::find(kOptionsWithArgument.begin(), kOptionsWithArgument.end(), word) != kOptionsWithArgument.end();
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Resolves the escape that starts after a backslash at text[i]; advances i past it. Returns
// false for a backslash before a line end (the two lines are joined, nothing is added).
bool ReadEscape(std::string_view text, std::size_t& i, char& out) {
    const char c = text[i++];
    switch (c) {
    case '\n':
        return false;
    case 'b':
        out = '\b';
        return true;
    case 'f':
        out = '\f';
        return true;
    case 'n':
        out = '\n';
        return true;
    case 'r':
        out = '\r';
        return true;
    case 's':
        out = ' ';
        return true;
    case 't':
        out = '\t';
        return true;
    case 'x': {
        int value = 0;
        int digits = 0;
        while (digits < 2 && i < text.size() && HexValue(text[i]) >= 0) {
            value = value * 16 + HexValue(text[i++]);
            ++digits;
        }
        out = digits == 0 ? 'x' : static_cast<char>(value);
        return true;
    }
    default:
        break;
    }
    if (c >= '0' && c <= '7') {
        int value = c - '0';
        for (int digits = 1; digits < 3 && i < text.size() && text[i] >= '0' && text[i] <= '7'; ++digits) {
            value = value * 8 + (text[i++] - '0');
        }
        out = static_cast<char>(value);
        return true;
    }
    out = c;
    return true;
}

bool IsSpace(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

std::string DeviceFromWord(const std::string& word) {
    if (word.size() > 5 && word.compare(0, 5, "/dev/") == 0) {
        return word;
    }
    if (word.size() > 3 && word.compare(0, 3, "tty") == 0 && word.find('/') == std::string::npos) {
        return "/dev/" + word;
    }
    return {};
}

std::string DeviceFromWords(const std::vector<std::string>& words, const std::string& peersDir, int depth);

std::string DeviceFromFile(const std::string& path, const std::string& peersDir, int depth) {
    if (depth > kMaxIncludeDepth) {
        return {};
    }
    std::string text;
    int err = 0;
    if (!ReadWholeFile(path, text, err)) {
        return {};
    }
    return DeviceFromWords(SplitPppOptionWords(text), peersDir, depth);
}

std::string DeviceFromWords(const std::vector<std::string>& words, const std::string& peersDir, int depth) {
    std::string device;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (TakesArgument(word)) {
            if (i + 1 >= words.size()) {
                break;
            }
            const std::string& arg = words[++i];
            std::string nested;
            if (word == "call" && IsValidPeerName(arg)) {
                nested = DeviceFromFile(peersDir + "/" + arg, peersDir, depth + 1);
            } else if (word == "file") {
                nested = DeviceFromFile(arg, peersDir, depth + 1);
            }
            if (!nested.empty()) {
                device = nested;
            }
            continue;
        }
        std::string candidate = DeviceFromWord(word);
        if (!candidate.empty()) {
            device = std::move(candidate);
        }
    }
    return device;
}

} // namespace

std::vector<std::string> SplitPppOptionWords(std::string_view text) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsSpace(text[i])) {
            ++i;
        }
        if (i >= text.size()) {
            break;
        }
        if (text[i] == '#') {
            while (i < text.size() && text[i] != '\n') {
                ++i;
            }
            continue;
        }
        std::string word;
        bool started = false; // a quoted empty string ("") is still a word
        char quote = 0;
        while (i < text.size()) {
            const char c = text[i];
            if (quote == 0 && IsSpace(c)) {
                break;
            }
            ++i;
            if (c == '\\') {
                if (i >= text.size()) {
                    break;
                }
                char escaped = 0;
                if (ReadEscape(text, i, escaped)) {
                    word += escaped;
                    started = true;
                }
            } else if (quote != 0 && c == quote) {
                quote = 0;
            } else if (quote == 0 && (c == '"' || c == '\'')) {
                quote = c;
                started = true;
            } else {
                word += c;
                started = true;
            }
        }
        if (started) {
            words.push_back(std::move(word));
        }
    }
    return words;
}

std::string PppDeviceFromWords(const std::vector<std::string>& words, const std::string& peersDir) {
    return DeviceFromWords(words, peersDir, 0);
}

std::string PppDeviceOfPeersFile(const std::string& peersDir, const std::string& entry) {
    if (!IsValidPeerName(entry)) {
        return {};
    }
    return DeviceFromFile(peersDir + "/" + entry, peersDir, 0);
}

bool IsValidPeerName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}
