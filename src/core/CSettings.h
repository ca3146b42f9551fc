// Every persistent setting of the program, held as plain members and kept in one text file,
// "RV.cfg": "Key=Value" lines, read once at start-up and written once at shut-down.
#pragma once

#include "core/MessageBox.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct CRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const CRect&) const = default;
};

// Dial-up connection slots: 0, 1 and 2.
inline constexpr int kRasSlots = 3;

// TLS to the broker: on, off, or on unless the broker is on this computer (a loopback address
// or "localhost").
enum class EMqttTls { Off, On, Auto };

class CSettings {
public:
    static constexpr const char* kFileName = "RV.cfg";

    CSettings() : CSettings(kDefaultsTag) {}

    std::string m_strComPort;
    int m_nBaud = 0;
    std::string m_strModemName;
    std::string m_strPhoneBookName;
    std::string m_strDefaultAreaCode;
    std::array<std::string, kRasSlots> m_strRASConnection;
    std::array<std::string, kRasSlots> m_strRASUserName;
    std::array<std::string, kRasSlots> m_strRASPassword; // in clear; encoded only in the file
    int m_nCurrentRASConnection = 0;
    CRect m_rcCallLogPos;
    CRect m_rcPhoneBookPos;
    CRect m_rcMainPos;
    bool m_bPhoneBookVisible = true;
    bool m_bCallLogVisible = true;
    std::uint32_t m_dwPhoneBookColumnMask = 0xFFFF;
    int m_nPhoneBookSortColumn = 0;
    bool m_bIncompleteCallsToPhoneBook = false;
    bool m_bRCWatchDTMF = false;
    bool m_bRCWatchNumbers = false;
    std::string m_strRCDTMF;
    std::string m_strRCLocalNumber;
    std::string m_strRCRemoteNumber;
    bool m_bRCIncoming = true;
    bool m_bRCOutgoing = false;
    bool m_bIgnoreBlocked = false;
    // The bits of `Tray`.
    bool m_bMinimizeToTray = false;     // bit 0
    bool m_bWasMinimized = false;       // bit 1: minimised when the file was written
    bool m_bMinimizeAtStartup = false;  // bit 2
    bool m_bMainMaximized = false;      // bit 3: the main window was maximised when the file was written
    bool m_bPhoneBookMaximized = false; // bit 4: the phone book window, likewise
    bool m_bCallLogMaximized = false;   // bit 5: the call log window, likewise
    std::uint32_t m_dwTotalInternetTime = 0;
    int m_nSReg63 = 9;
    bool m_bAlwaysDialAreaCode = false;
    bool m_bDial1OnlyIfDifferent = true;
    std::vector<std::string> m_NoDial1AreaCodes;
    bool m_bEnableCallWaiting = true;
    bool m_bCallerIDTimer = true;
    std::string m_strCIDFontName;
    int m_nCIDFontSize = 100;
    std::uint32_t m_dwCIDFontColor = 0;
    bool m_bCIDFontBold = false;
    bool m_bCIDFontItalic = false;
    std::uint32_t m_dwCIDBackgroundColor = 0xFFFFFF;
    int m_nCIDTimerValue = 10;
    bool m_bCIDShowNumber = true;
    bool m_bCIDOnlyIfNotInPhoneBook = false;
    int m_nCallWaitingOffValue = 0;
    int m_nCallWaitingOnValue = 3;
    std::string m_strCallLogName;
    // How an incoming call that passes screening is announced: the caller-ID popup, a desktop
    // notification, or both (a notification that no service takes falls back to the popup).
    enum class EAnnounce { Popup, Notification, Both };
    EAnnounce m_eCIDAnnounce = EAnnounce::Both;
    bool AnnounceWithPopup() const { return m_eCIDAnnounce != EAnnounce::Notification; }
    bool AnnounceWithNotification() const { return m_eCIDAnnounce != EAnnounce::Popup; }
    // The longest a dial may take, in seconds; a value below 1 means the default.
    int m_nDialUpTimeLimit = kDefaultDialUpTimeLimit;
    static constexpr int kDefaultDialUpTimeLimit = 90;
    int DialUpTimeLimitSeconds() const {
        return m_nDialUpTimeLimit >= 1 ? m_nDialUpTimeLimit : kDefaultDialUpTimeLimit;
    }
    // Calls across the network: the broker the program publishes to (and a viewer reads from).
    bool m_bMqttEnabled = false;
    std::string m_strMqttHost = "localhost";
    int m_nMqttPort = 1883;
    EMqttTls m_eMqttTls = EMqttTls::Auto;
    std::string m_strMqttCAFile; // empty: the system's certificate authorities
    std::string m_strMqttUserName;
    std::string m_strMqttPassword;     // in clear; encoded only in the file
    std::string m_strMqttTopicPrefix;  // empty: "ringvale/<host name>"
    bool m_bMqttAllowCommands = false; // viewers may ask for Reject and Block
    bool m_bMqttHomeAssistant = false; // Home Assistant discovery messages

    bool operator==(const CSettings&) const = default;

private:
    enum DefaultsTag { kDefaultsTag };
    explicit CSettings(DefaultsTag);

public:
    // Every member to its default; the no-dial-1 list emptied.
    void SetDefaults();

    // The longest no-dial-1 area code word kept; longer words are truncated.
    static constexpr std::size_t kMaxAreaCodeWord = 199;

    // Reads settings text (the file's content) over the current members. Lines without "="
    // each cause one call of showMessage with the configuration error text.
    void Parse(const std::string& text, const MessageBoxFn& showMessage);

    // The file's content: the lines in their fixed order and formats, CR LF line ends.
    // wasMinimized is bit 1 of `Tray`: whether the main window is minimised right now.
    std::string Serialize(bool wasMinimized) const;

    enum class ELoadResult {
        Loaded,           // the file was read
        ConfiguredByUser, // no file; the configuration dialog was confirmed
        Cancelled,        // no file; the configuration dialog was cancelled: end the program
    };

    // SetDefaults, then the file. When the file cannot be opened the open-error message is
    // shown and runConfigDialog is asked to edit these settings (true: confirmed).
    ELoadResult Load(const std::string& path, const MessageBoxFn& showMessage,
                     const std::function<bool(CSettings&)>& runConfigDialog);

    // Writes the file crash-safely with mode 0600 (it holds passwords). On failure shows the
    // open-error message and leaves the previous file as it was.
    bool Save(const std::string& path, bool wasMinimized, const MessageBoxFn& showMessage) const;

    // The reversible password encoding: two printable characters per byte.
    static std::string EncodePassword(const std::string& clear);
    // A value that is not in the encoding is taken as a password written in clear.
    static std::string DecodePassword(const std::string& encoded);

    // The values each settings dialog shows. After OK the controller takes exactly these from
    // the dialog's copy: everything else may have changed while the dialog was open (the
    // current dial-up slot chosen from the tray, the list windows shown or hidden, the S63
    // value the adapter gave, the on-line time) and stays as it is now.
    void TakeConfigurationValues(const CSettings& edited);
    void TakeRemoteControlValues(const CSettings& edited);

    // The configured dial-up slots: a slot counts when its name is neither empty nor
    // "<none selected>".
    bool IsSlotConfigured(int slot) const;

    static std::string OpenErrorMessage(const std::string& path, int err);
    static const char* ConfigErrorMessage();
};
