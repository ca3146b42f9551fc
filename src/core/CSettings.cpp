#include "core/CSettings.h"

#include "core/FileErrors.h"
#include "core/Format.h"
#include "core/SafeFile.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

constexpr const char* kNoneSelected = "<none selected>";

// Reads a hexadecimal value the way "0x%X" scans it: a literal "0x" first, then hex digits
// (leading white space allowed). Values beyond 32 bits are clamped.
bool ScanHex(std::string_view v, std::uint32_t& out) {
    if (v.size() < 2 || v[0] != '0' || v[1] != 'x') {
        return false;
    }
    std::size_t i = 2;
    while (i < v.size() && (v[i] == ' ' || v[i] == '\t')) {
        ++i;
    }
    std::uint64_t acc = 0;
    const std::size_t first = i;
    for (; i < v.size() && std::isxdigit(static_cast<unsigned char>(v[i])); ++i) {
        const char c = v[i];
        const unsigned d = (c <= '9') ? unsigned(c - '0') : unsigned((c | 0x20) - 'a' + 10);
        acc = std::min<std::uint64_t>(acc * 16 + d, 0xFFFFFFFFull + 1);
    }
    if (i == first) {
        return false;
    }
    out = static_cast<std::uint32_t>(std::min<std::uint64_t>(acc, 0xFFFFFFFFull));
    return true;
}

// "%d,%d,%d,%d": as many fields as can be scanned are taken.
void ScanRect(std::string_view v, CRect& rc) {
    int* fields[4] = {&rc.left, &rc.top, &rc.right, &rc.bottom};
    std::size_t pos = 0;
    for (int k = 0; k < 4; ++k) {
        if (k > 0) {
            if (pos >= v.size() || v[pos] != ',') {
                return;
            }
            ++pos;
        }
        int value = 0;
        std::size_t used = 0;
        if (!ScanInt(v.substr(pos), value, &used)) {
            return;
        }
        *fields[k] = value;
        pos += used;
    }
}

std::string Flag(bool b) {
    return b ? "Y" : "N";
}
std::string Rect(const CRect& rc) {
    return StrFormat("%d,%d,%d,%d", rc.left, rc.top, rc.right, rc.bottom);
}

struct KeyDef {
    const char* key;
    void (*read)(CSettings&, std::string_view);
    std::string (*write)(const CSettings&, bool wasMinimized);
};

void ReadDecimal(int& member, std::string_view v) {
    int value = 0;
    if (ScanInt(v, value)) {
        member = value;
    }
}

void ReadHex(std::uint32_t& member, std::string_view v) {
    std::uint32_t value = 0;
    if (ScanHex(v, value)) {
        member = value;
    }
}

bool ReadFlag(std::string_view v) {
    return !v.empty() && v[0] == 'Y';
}

#define RV_TEXT(K, M)                                                                                                  \
    {                                                                                                                  \
        K, [](CSettings& s, std::string_view v) { s.M = std::string(v); },                                             \
            [](const CSettings& s, bool) { return s.M; }                                                               \
    }
#define RV_FLAG(K, M)                                                                                                  \
    {                                                                                                                  \
        K, [](CSettings& s, std::string_view v) { s.M = ReadFlag(v); },                                                \
            [](const CSettings& s, bool) { return Flag(s.M); }                                                         \
    }
#define RV_DEC(K, M)                                                                                                   \
    {                                                                                                                  \
        K, [](CSettings& s, std::string_view v) { ReadDecimal(s.M, v); },                                              \
            [](const CSettings& s, bool) { return StrFormat("%d", s.M); }                                              \
    }
#define RV_RECT(K, M)                                                                                                  \
    {                                                                                                                  \
        K, [](CSettings& s, std::string_view v) { ScanRect(v, s.M); },                                                 \
            [](const CSettings& s, bool) { return Rect(s.M); }                                                         \
    }
#define RV_HEX(K, M, FMT)                                                                                              \
    {                                                                                                                  \
        K, [](CSettings& s, std::string_view v) { ReadHex(s.M, v); },                                                  \
            [](const CSettings& s, bool) { return StrFormat(FMT, static_cast<unsigned>(s.M)); }                        \
    }
#define RV_PASSWORD(K, M)                                                                                              \
    {                                                                                                                  \
        K, [](CSettings& s, std::string_view v) { s.M = CSettings::DecodePassword(std::string(v)); },                  \
            [](const CSettings& s, bool) { return CSettings::EncodePassword(s.M); }                                    \
    }
#define RV_SLOT(K, SLOT)                                                                                               \
    RV_TEXT("RASConnection" K, m_strRASConnection[SLOT]), RV_TEXT("RASUserName" K, m_strRASUserName[SLOT]),            \
        RV_PASSWORD("RASPassword" K, m_strRASPassword[SLOT])

// The keys in the order they are written.
const KeyDef kKeys[] = {
    RV_TEXT("ComPort", m_strComPort),
    {"Baud",
     [](CSettings& s, std::string_view v) {
         // Leading decimal digits; an empty or non-numeric value gives 0.
         int value = 0;
         s.m_nBaud = ScanInt(v, value) ? value : 0;
     },
     [](const CSettings& s, bool) { return StrFormat("%d", s.m_nBaud); }},
    RV_TEXT("ModemName", m_strModemName),
    RV_TEXT("PhoneBookName", m_strPhoneBookName),
    RV_TEXT("DefaultAreaCode", m_strDefaultAreaCode),
    RV_SLOT("", 0),
    RV_SLOT("2", 1),
    RV_SLOT("3", 2),
    {"CurrentRASConnection",
     [](CSettings& s, std::string_view v) {
         ReadDecimal(s.m_nCurrentRASConnection, v);
         s.m_nCurrentRASConnection = std::clamp(s.m_nCurrentRASConnection, 0, kRasSlots - 1);
     },
     [](const CSettings& s, bool) { return StrFormat("%d", s.m_nCurrentRASConnection); }},
    RV_RECT("CallLogPos", m_rcCallLogPos),
    RV_RECT("PhoneBookPos", m_rcPhoneBookPos),
    RV_RECT("MainPos", m_rcMainPos),
    RV_FLAG("PhoneBookVisible", m_bPhoneBookVisible),
    RV_FLAG("CallLogVisible", m_bCallLogVisible),
    RV_HEX("PhoneBookColumnMask", m_dwPhoneBookColumnMask, "0x%4.4X"),
    RV_DEC("PhoneBookSortColumn", m_nPhoneBookSortColumn),
    RV_FLAG("IncompleteCallsToPhoneBook", m_bIncompleteCallsToPhoneBook),
    RV_FLAG("RCWatchDTMF", m_bRCWatchDTMF),
    RV_FLAG("RCWatchNumbers", m_bRCWatchNumbers),
    RV_TEXT("RCDTMF", m_strRCDTMF),
    RV_TEXT("RCLocalNumber", m_strRCLocalNumber),
    RV_TEXT("RCRemoteNumber", m_strRCRemoteNumber),
    RV_FLAG("RCIncoming", m_bRCIncoming),
    RV_FLAG("RCOutgoing", m_bRCOutgoing),
    RV_FLAG("IgnoreBlocked", m_bIgnoreBlocked),
    {"Tray",
     [](CSettings& s, std::string_view v) {
         // A value that cannot be scanned keeps the previous flags.
         std::uint32_t bits = 0;
         if (ScanHex(v, bits)) {
             s.m_bMinimizeToTray = (bits & 1u) != 0;
             s.m_bWasMinimized = (bits & 2u) != 0;
             s.m_bMinimizeAtStartup = (bits & 4u) != 0;
             s.m_bMainMaximized = (bits & 8u) != 0;
             s.m_bPhoneBookMaximized = (bits & 16u) != 0;
             s.m_bCallLogMaximized = (bits & 32u) != 0;
         }
     },
     [](const CSettings& s, bool wasMinimized) {
         const unsigned bits = (s.m_bMinimizeToTray ? 1u : 0u) | (wasMinimized ? 2u : 0u) |
                               (s.m_bMinimizeAtStartup ? 4u : 0u) | (s.m_bMainMaximized ? 8u : 0u) |
                               (s.m_bPhoneBookMaximized ? 16u : 0u) | (s.m_bCallLogMaximized ? 32u : 0u);
         return StrFormat("0x%8.8X", bits);
     }},
    RV_HEX("TotalInternetTime", m_dwTotalInternetTime, "0x%8.8X"),
    RV_DEC("SReg63", m_nSReg63),
    RV_FLAG("AlwaysDialAreaCode", m_bAlwaysDialAreaCode),
    RV_FLAG("Dial1OnlyIfDifferent", m_bDial1OnlyIfDifferent),
    {"NoDial1AreaCodes",
     [](CSettings& s, std::string_view v) {
         // Words are appended; each is kept to at most 199 bytes.
         std::size_t i = 0;
         while (i < v.size()) {
             while (i < v.size() && std::isspace(static_cast<unsigned char>(v[i]))) {
                 ++i;
             }
             const std::size_t start = i;
             while (i < v.size() && !std::isspace(static_cast<unsigned char>(v[i]))) {
                 ++i;
             }
             if (i > start) {
                 s.m_NoDial1AreaCodes.emplace_back(v.substr(start, std::min(i - start, CSettings::kMaxAreaCodeWord)));
             }
         }
     },
     [](const CSettings& s, bool) {
         std::string out;
         for (const auto& code : s.m_NoDial1AreaCodes) {
             out += ' ';
             out += code;
         }
         return out;
     }},
    RV_FLAG("EnableCallWaiting", m_bEnableCallWaiting),
    RV_FLAG("CallerIDTimer", m_bCallerIDTimer),
    RV_TEXT("CIDFontName", m_strCIDFontName),
    RV_DEC("CIDFontSize", m_nCIDFontSize),
    RV_HEX("CIDFontColor", m_dwCIDFontColor, "0x%X"),
    RV_FLAG("CIDFontBold", m_bCIDFontBold),
    RV_FLAG("CIDFontItalic", m_bCIDFontItalic),
    RV_HEX("CIDBackgroundColor", m_dwCIDBackgroundColor, "0x%X"),
    RV_DEC("CIDTimerValue", m_nCIDTimerValue),
    RV_FLAG("CIDShowNumber", m_bCIDShowNumber),
    RV_FLAG("CIDOnlyIfNotInPhoneBook", m_bCIDOnlyIfNotInPhoneBook),
    RV_DEC("CallWaitingOffValue", m_nCallWaitingOffValue),
    RV_DEC("CallWaitingOnValue", m_nCallWaitingOnValue),
    // Keys added later go after the original ones, so that older files read as before.
    RV_DEC("DialUpTimeLimit", m_nDialUpTimeLimit),
    // Calls across the network: a file written before them gets the defaults (everything off).
    RV_FLAG("MqttEnabled", m_bMqttEnabled),
    RV_TEXT("MqttHost", m_strMqttHost),
    RV_DEC("MqttPort", m_nMqttPort),
    {"MqttTls",
     [](CSettings& s, std::string_view v) {
         s.m_eMqttTls = v == "Y" ? EMqttTls::On : v == "N" ? EMqttTls::Off : EMqttTls::Auto;
     },
     [](const CSettings& s, bool) {
         return std::string(s.m_eMqttTls == EMqttTls::On ? "Y" : s.m_eMqttTls == EMqttTls::Off ? "N" : "Auto");
     }},
    RV_TEXT("MqttCAFile", m_strMqttCAFile),
    RV_TEXT("MqttUserName", m_strMqttUserName),
    RV_PASSWORD("MqttPassword", m_strMqttPassword),
    RV_TEXT("MqttTopicPrefix", m_strMqttTopicPrefix),
    RV_FLAG("MqttAllowCommands", m_bMqttAllowCommands),
    RV_FLAG("MqttHomeAssistant", m_bMqttHomeAssistant),
    {"CIDAnnounce",
     [](CSettings& s, std::string_view v) {
         // An unknown value keeps the default: the popup and the notification.
         s.m_eCIDAnnounce = v == "Popup"          ? CSettings::EAnnounce::Popup
                            : v == "Notification" ? CSettings::EAnnounce::Notification
                                                  : CSettings::EAnnounce::Both;
     },
     [](const CSettings& s, bool) {
         return std::string(s.m_eCIDAnnounce == CSettings::EAnnounce::Popup          ? "Popup"
                            : s.m_eCIDAnnounce == CSettings::EAnnounce::Notification ? "Notification"
                                                                                     : "Both");
     }},
};

// Read, never written: the rewrite of the file drops a hand-written value.
const KeyDef kCallLogName = RV_TEXT("CallLogName", m_strCallLogName);

#undef RV_TEXT
#undef RV_FLAG
#undef RV_DEC
#undef RV_RECT
#undef RV_HEX
#undef RV_SLOT
#undef RV_PASSWORD

const KeyDef* FindKey(std::string_view key) {
    for (const auto& def : kKeys) {
        if (key == def.key) {
            return &def;
        }
    }
    return key == kCallLogName.key ? &kCallLogName : nullptr;
}

// The password key stream: a byte sequence that differs per position, so that equal
// characters do not encode alike.
unsigned char PasswordKey(std::size_t i) {
    return static_cast<unsigned char>(0xA7u + 0x3Bu * (i % 251u));
}

} // namespace

void CSettings::SetDefaults() {
    *this = CSettings(CSettings::kDefaultsTag);
}

CSettings::CSettings(DefaultsTag)
    : m_strComPort("COM2"), m_nBaud(115200), m_strPhoneBookName("RV.pbk"), m_strDefaultAreaCode("408"),
      m_rcCallLogPos{261, 17, 651, 208}, m_rcPhoneBookPos{0, 1, 705, 212}, m_rcMainPos{14, 212, 566, 584},
      m_strCIDFontName("MS Sans Serif"), m_strCallLogName("RV.log") {}

void CSettings::Parse(const std::string& text, const MessageBoxFn& showMessage) {
    for (std::string_view raw : SplitLines(text)) {
        // A line is text: it ends at its first NUL byte.
        raw = raw.substr(0, std::min(raw.size(), raw.find('\0')));
        const std::string_view line = TrimView(raw);
        if (!line.empty() && line[0] == ';') {
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string_view::npos) {
            if (showMessage) {
                showMessage(ConfigErrorMessage());
            }
            continue;
        }
        if (const KeyDef* def = FindKey(line.substr(0, eq))) {
            def->read(*this, line.substr(eq + 1));
        }
    }
}

std::string CSettings::Serialize(bool wasMinimized) const {
    std::string out;
    out.reserve(2048);
    for (const auto& def : kKeys) {
        out += def.key;
        out += '=';
        out += def.write(*this, wasMinimized);
        out += "\r\n";
    }
    return out;
}

CSettings::ELoadResult CSettings::Load(const std::string& path, const MessageBoxFn& showMessage,
                                       const std::function<bool(CSettings&)>& runConfigDialog) {
    SetDefaults();
    std::string text;
    int err = 0;
    if (!ReadWholeFile(path, text, err)) {
        if (showMessage) {
            showMessage(OpenErrorMessage(path, err));
        }
        if (runConfigDialog && runConfigDialog(*this)) {
            return ELoadResult::ConfiguredByUser;
        }
        return ELoadResult::Cancelled;
    }
    Parse(text, showMessage);
    return ELoadResult::Loaded;
}

bool CSettings::Save(const std::string& path, bool wasMinimized, const MessageBoxFn& showMessage) const {
    int err = 0;
    if (SaveFileAtomically(path, Serialize(wasMinimized), 0600, err, EFileMode::Exactly)) {
        return true;
    }
    if (showMessage) {
        showMessage(OpenErrorMessage(path, err));
    }
    return false;
}

std::string CSettings::EncodePassword(const std::string& clear) {
    std::string out;
    out.reserve(clear.size() * 2);
    for (std::size_t i = 0; i < clear.size(); ++i) {
        const unsigned v = static_cast<unsigned char>(clear[i]) ^ PasswordKey(i);
        out.push_back(static_cast<char>('A' + (v >> 4)));
        out.push_back(static_cast<char>('a' + (v & 0x0F)));
    }
    return out;
}

std::string CSettings::DecodePassword(const std::string& encoded) {
    if (encoded.size() % 2 != 0) {
        return encoded;
    }
    std::string out;
    out.reserve(encoded.size() / 2);
    for (std::size_t i = 0; i < encoded.size(); i += 2) {
        const char hi = encoded[i];
        const char lo = encoded[i + 1];
        if (hi < 'A' || hi > 'P' || lo < 'a' || lo > 'p') {
            return encoded;
        }
        const unsigned v = (unsigned(hi - 'A') << 4) | unsigned(lo - 'a');
        out.push_back(static_cast<char>(v ^ PasswordKey(i / 2)));
    }
    return out;
}

void CSettings::TakeConfigurationValues(const CSettings& edited) {
    m_strRASConnection = edited.m_strRASConnection;
    m_strRASUserName = edited.m_strRASUserName;
    m_strRASPassword = edited.m_strRASPassword;
    m_bAlwaysDialAreaCode = edited.m_bAlwaysDialAreaCode;
    m_bDial1OnlyIfDifferent = edited.m_bDial1OnlyIfDifferent;
    m_NoDial1AreaCodes = edited.m_NoDial1AreaCodes;
    m_nBaud = edited.m_nBaud;
    m_strComPort = edited.m_strComPort;
    m_strModemName = edited.m_strModemName;
    m_strDefaultAreaCode = edited.m_strDefaultAreaCode;
    m_bCallerIDTimer = edited.m_bCallerIDTimer;
    m_bIgnoreBlocked = edited.m_bIgnoreBlocked;
    m_bMinimizeToTray = edited.m_bMinimizeToTray;
    m_bMinimizeAtStartup = edited.m_bMinimizeAtStartup;
    m_strCIDFontName = edited.m_strCIDFontName;
    m_nCIDFontSize = edited.m_nCIDFontSize;
    m_dwCIDFontColor = edited.m_dwCIDFontColor;
    m_bCIDFontBold = edited.m_bCIDFontBold;
    m_bCIDFontItalic = edited.m_bCIDFontItalic;
    m_dwCIDBackgroundColor = edited.m_dwCIDBackgroundColor;
    m_nCIDTimerValue = edited.m_nCIDTimerValue;
    m_bCIDShowNumber = edited.m_bCIDShowNumber;
    m_bCIDOnlyIfNotInPhoneBook = edited.m_bCIDOnlyIfNotInPhoneBook;
    m_eCIDAnnounce = edited.m_eCIDAnnounce;
    m_nCallWaitingOffValue = edited.m_nCallWaitingOffValue;
    m_nCallWaitingOnValue = edited.m_nCallWaitingOnValue;
    m_nDialUpTimeLimit = edited.m_nDialUpTimeLimit;
}

void CSettings::TakeRemoteControlValues(const CSettings& edited) {
    m_bRCWatchDTMF = edited.m_bRCWatchDTMF;
    m_strRCDTMF = edited.m_strRCDTMF;
    m_bRCIncoming = edited.m_bRCIncoming;
    m_bRCOutgoing = edited.m_bRCOutgoing;
    m_bRCWatchNumbers = edited.m_bRCWatchNumbers;
    m_strRCRemoteNumber = edited.m_strRCRemoteNumber;
    m_strRCLocalNumber = edited.m_strRCLocalNumber;
}

bool CSettings::IsSlotConfigured(int slot) const {
    if (slot < 0 || slot >= kRasSlots) {
        return false;
    }
    const std::string& name = m_strRASConnection[static_cast<std::size_t>(slot)];
    return !name.empty() && name != kNoneSelected;
}

std::string CSettings::OpenErrorMessage(const std::string& path, int err) {
    return StrFormat("Unable to open configuration file: %s.\n\n\"%s\"", path.c_str(), FileErrorText(err).c_str());
}

const char* CSettings::ConfigErrorMessage() {
    return "Error in configuration file.\n\nSome values will be set to\ntheir defaults.";
}
