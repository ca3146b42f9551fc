#include "records/RecordText.h"

#include "core/Format.h"
#include "core/SafeFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <ctime>

namespace {

// Seconds on either side of a local time within which the UTC offset must not change for the
// quick conversion to be exact.
constexpr std::int64_t kOffsetWindow = 3 * 3600;

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// Local calendar time and UTC offset at t.
bool LocalAt(std::int64_t t, std::tm& out, long& offset) {
    const std::time_t tt = static_cast<std::time_t>(t);
    if (localtime_r(&tt, &out) == nullptr) {
        return false;
    }
    offset = out.tm_gmtoff;
    return true;
}

// Well-formed UTF-8: no stray continuation bytes, no overlong forms, no surrogates, nothing
// beyond U+10FFFF.
bool IsValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        std::size_t len = 0;
        unsigned cp = 0;
        unsigned min = 0;
        if ((b & 0xE0) == 0xC0) {
            len = 2, cp = b & 0x1F, min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            len = 3, cp = b & 0x0F, min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            len = 4, cp = b & 0x07, min = 0x10000;
        } else {
            return false;
        }
        if (i + len > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < len; ++k) {
            const auto c = static_cast<unsigned char>(text[i + k]);
            if ((c & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (c & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += len;
    }
    return true;
}

} // namespace

std::vector<std::string_view> SplitStoreLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        const std::size_t next = (end == std::string_view::npos) ? text.size() : end + 1;
        if (end == std::string_view::npos) {
            end = text.size();
        } else if (end > start && text[end - 1] == '\r') {
            --end;
        }
        lines.push_back(text.substr(start, end - start));
        start = next;
    }
    return lines;
}

bool TakeQuotedField(std::string_view& line, std::string_view& field) {
    if (line.empty() || line.front() != '"') {
        return false;
    }
    const std::size_t close = line.find('"', 1);
    if (close == std::string_view::npos) {
        return false;
    }
    field = line.substr(1, close - 1);
    // The closing quote and the separator after it, whatever it is.
    const std::size_t rest = close + 2;
    line = rest >= line.size() ? std::string_view{} : line.substr(rest);
    return true;
}

bool ParseLocalDate(std::string_view text, std::int64_t& t) {
    int v[6] = {};
    std::size_t pos = 0;
    for (int k = 0; k < 6; ++k) {
        if (k > 0) {
            if (pos >= text.size() || text[pos] != ',') {
                return false;
            }
            ++pos;
        }
        std::size_t used = 0;
        if (!ScanInt(text.substr(pos), v[k], &used)) {
            return false;
        }
        pos += used;
    }
    const bool sane = v[0] >= 1900 && v[0] <= 9999 && v[1] >= 1 && v[1] <= 12 && v[2] >= 1 && v[2] <= 31 && v[3] >= 0 &&
                      v[3] <= 23 && v[4] >= 0 && v[4] <= 59 && v[5] >= 0 && v[5] <= 60;
    if (!sane) {
        return false;
    }
    // Far from any change of the UTC offset a local time names exactly one moment, which is
    // what mktime would return; find it with a few cheap localtime_r calls. Near a change (a
    // missing or doubled local hour) mktime decides, with tm_isdst = -1.
    const std::int64_t asUtc =
        DaysFromCivil(v[0], unsigned(v[1]), unsigned(v[2])) * 86400 + v[3] * 3600 + v[4] * 60 + v[5];
    std::tm local{};
    long firstOffset = 0;
    long offset = 0;
    long before = 0;
    long after = 0;
    if (LocalAt(asUtc, local, firstOffset) && LocalAt(asUtc - firstOffset, local, offset)) {
        const std::int64_t candidate = asUtc - offset;
        long candidateOffset = 0;
        std::tm around{};
        if (LocalAt(candidate, local, candidateOffset) && candidateOffset == offset && local.tm_year == v[0] - 1900 &&
            local.tm_mon == v[1] - 1 && local.tm_mday == v[2] && local.tm_hour == v[3] && local.tm_min == v[4] &&
            local.tm_sec == v[5] && LocalAt(candidate - kOffsetWindow, around, before) && before == offset &&
            LocalAt(candidate + kOffsetWindow, around, after) && after == offset) {
            t = candidate;
            return true;
        }
    }
    std::tm tmv{};
    tmv.tm_year = v[0] - 1900;
    tmv.tm_mon = v[1] - 1;
    tmv.tm_mday = v[2];
    tmv.tm_hour = v[3];
    tmv.tm_min = v[4];
    tmv.tm_sec = v[5];
    tmv.tm_isdst = -1;
    errno = 0;
    const std::time_t result = std::mktime(&tmv);
    if (result == static_cast<std::time_t>(-1) && errno != 0) {
        return false;
    }
    t = static_cast<std::int64_t>(result);
    return true;
}

bool AppendLocalDate(std::string& out, std::int64_t t) {
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tmv{};
    if (localtime_r(&tt, &tmv) == nullptr) {
        return false;
    }
    const std::int64_t fields[6] = {
        std::int64_t{tmv.tm_year} + 1900, tmv.tm_mon + 1, tmv.tm_mday, tmv.tm_hour, tmv.tm_min, tmv.tm_sec};
    for (int k = 0; k < 6; ++k) {
        if (k > 0) {
            out.push_back(',');
        }
        AppendInt(out, fields[k]);
    }
    return true;
}

std::int32_t ParseIntField(std::string_view text) {
    int value = 0;
    return ScanInt(text, value) ? value : 0;
}

std::uint32_t ParseFlagsField(std::string_view text) {
    if (text.size() < 2 || text[0] != '0' || text[1] != 'x') {
        return 0;
    }
    std::uint32_t value = 0;
    std::size_t digits = 0;
    for (std::size_t i = 2; i < text.size() && digits < 8; ++i, ++digits) {
        const char c = text[i];
        unsigned d = 0;
        if (c >= '0' && c <= '9') {
            d = unsigned(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            d = unsigned(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            d = unsigned(c - 'A' + 10);
        } else {
            break;
        }
        value = value * 16 + d;
    }
    return value;
}

bool IsDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsIntegerField(std::string_view text) {
    if (text.starts_with('-')) {
        text.remove_prefix(1);
    }
    return !text.empty() && IsDigits(text);
}

bool IsDateField(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c == ',' || (c >= '0' && c <= '9'); });
}

std::string TextFromFile(std::string_view field) {
    if (IsValidUtf8(field)) {
        return std::string(field);
    }
    // 0x80-0x9F of Windows-1252; the rest of the upper half is Latin-1.
    static constexpr char16_t kHigh[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    };
    std::string out;
    out.reserve(field.size() * 2);
    for (const char c : field) {
        const auto b = static_cast<unsigned char>(c);
        const unsigned cp = b < 0x80 ? b : b < 0xA0 ? kHigh[b - 0x80] : b;
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

void AppendInt(std::string& out, std::int64_t value) {
    char buf[24];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, res.ptr);
}

void AppendHex8(std::string& out, std::uint32_t value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    char buf[10] = {'0', 'x'};
    for (int i = 9; i >= 2; --i) {
        buf[i] = kHex[value & 0xF];
        value >>= 4;
    }
    out.append(buf, sizeof buf);
}

bool RemoveQuotes(std::string& text) {
    const std::size_t before = text.size();
    std::erase(text, '"');
    return text.size() != before;
}

bool ReplaceLineFeeds(std::string& text) {
    bool changed = false;
    for (char& c : text) {
        if (c == '\n') {
            c = ' ';
            changed = true;
        }
    }
    return changed;
}

bool CleanField(std::string& text) {
    const bool quotes = RemoveQuotes(text);
    return ReplaceLineFeeds(text) || quotes;
}

void AppendQuotedInt(std::string& out, std::int64_t value) {
    out.push_back('"');
    AppendInt(out, value);
    out.push_back('"');
}

std::int32_t SaturatingAdd(std::int32_t a, std::int64_t b) {
    const std::int64_t sum = std::int64_t{a} + b;
    if (sum > INT32_MAX) {
        return INT32_MAX;
    }
    if (sum < INT32_MIN) {
        return INT32_MIN;
    }
    return static_cast<std::int32_t>(sum);
}

bool WriteStoreFile(const std::string& path, std::string_view data, const MessageBoxFn& messageBox,
                    const std::string& failureText) {
    int err = 0;
    if (SaveFileAtomically(path, data, 0600, err)) {
        return true;
    }
    if (messageBox) {
        messageBox(failureText);
    }
    return false;
}

std::uint64_t NewRecordId() {
    static std::atomic<std::uint64_t> next{1};
    return next.fetch_add(1, std::memory_order_relaxed);
}
