#include "core/Format.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <ctime>

std::string StrFormat(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string out;
    if (needed > 0) {
        out.resize(static_cast<std::size_t>(needed));
        std::vsnprintf(out.data(), out.size() + 1, fmt, args);
    }
    va_end(args);
    return out;
}

std::string FormatLocalTime(std::int64_t t, const char* fmt) {
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tmv{};
    if (localtime_r(&tt, &tmv) == nullptr) {
        return {};
    }
    char buf[128];
    const std::size_t n = std::strftime(buf, sizeof buf, fmt, &tmv);
    return std::string(buf, n);
}

std::string NowStamp() {
    return FormatLocalTime(static_cast<std::int64_t>(std::time(nullptr)), "%Y-%m-%d %H:%M:%S");
}

std::string EscapeText(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b <= 0x7E) {
            out.push_back(c);
        } else {
            out.push_back('<');
            out.push_back(kHex[b >> 4]);
            out.push_back(kHex[b & 0x0F]);
            out.push_back('>');
        }
    }
    return out;
}

static bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view TrimView(std::string_view text) {
    std::size_t b = 0;
    std::size_t e = text.size();
    while (b < e && IsBlank(text[b])) {
        ++b;
    }
    while (e > b && IsBlank(text[e - 1])) {
        --e;
    }
    return text.substr(b, e - b);
}

std::string Trim(std::string_view text) {
    return std::string(TrimView(text));
}

std::string TrimSpaces(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(first, text.find_last_not_of(" \t") - first + 1));
}

std::string LowerCase(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

std::string UpperCase(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::toupper(c); });
    return out;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n' || c == '\r') {
            lines.push_back(text.substr(start, i - start));
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
            start = i + 1;
        }
    }
    if (start < text.size()) {
        lines.push_back(text.substr(start));
    }
    return lines;
}

bool ScanInt(std::string_view text, int& value, std::size_t* used) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t firstDigit = i;
    long long acc = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        if (acc <= static_cast<long long>(INT_MAX) + 1) {
            acc = acc * 10 + (text[i] - '0');
        }
        ++i;
    }
    if (i == firstDigit) {
        return false;
    }
    if (negative) {
        acc = -acc;
    }
    if (acc > INT_MAX) {
        acc = INT_MAX;
    } else if (acc < INT_MIN) {
        acc = INT_MIN;
    }
    value = static_cast<int>(acc);
    if (used != nullptr) {
        *used = i;
    }
    return true;
}

bool AllDigits(std::string_view text) {
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}
