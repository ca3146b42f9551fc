// The private messages of the main window: the line monitor thread, call control and the two
// list windows talk to the controller through them. Each message is a small value whose
// payload is moved from the sender to the receiver, so "allocated by the sender, freed by the
// receiver" is plain ownership transfer. Records and entries travel by their stable id, never
// by a pointer that may already have been freed.
#pragma once

#include <any>
#include <cstdint>
#include <string>
#include <vector>

inline constexpr int kWmUser = 0x0400;

enum EMessageId : int {
    WM_RV_MODEM_LINE = kWmUser + 100,      // text: one trimmed, non-empty adapter line
    WM_RV_REFRESH_TILES = kWmUser + 101,   // no payload
    WM_RV_DIAL_NUMBER = kWmUser + 102,     // text: the number to dial
    WM_RV_PB_DELETE_ENTRY = kWmUser + 103, // key: the entry's id, or object: std::vector<std::uint64_t>, the ids
    WM_RV_PB_ADD_ENTRY = kWmUser + 104, // object: std::shared_ptr<CPhoneBookEntry>; wParam: list position when sent on
    WM_RV_PB_REPLACE_ENTRY =
        kWmUser + 105, // key: the entry's id; object: std::shared_ptr<CPhoneBookEntry>, the edited copy
    WM_RV_LOG_ADD_RECORD = kWmUser + 106,     // key: the record's id
    WM_RV_LOG_DELETE_RECORD = kWmUser + 107,  // key or object: as WM_RV_PB_DELETE_ENTRY
    WM_RV_LOG_TO_PHONE_BOOK = kWmUser + 108,  // key: the record's id
    WM_RV_PB_COLUMNS_CHANGED = kWmUser + 109, // no payload
    WM_RV_PB_CLEAR_TOTALS = kWmUser + 110,    // key: the entry's id
    WM_RV_TRAY_NOTIFY = kWmUser + 112,        // wParam: tray icon id; lParam: the mouse message

    // Updates a worker thread asks the window thread to make (the monitor thread never touches
    // a window itself, so these can never deadlock with a wait on the window thread).
    WM_RV_STATUS_TEXT = kWmUser + 120,   // wParam: status bar part; text: the part's text
    WM_RV_ACTIVITY = kWmUser + 121,      // text: a line for the activity list (already traced)
    WM_RV_ONLINE_TIME = kWmUser + 122,   // wParam: current on-line seconds; lParam: the new total
    WM_RV_LINK_RESTORED = kWmUser + 123, // the foreign dial-up connection no longer holds the link
    WM_RV_MESSAGE_BOX = kWmUser + 124,   // text: a message box asked for on a worker thread
    // From the broker client's thread.
    WM_RV_NET_CONNECTION = kWmUser + 125, // wParam: 1 connected, 0 down; text: how
    WM_RV_NET_MESSAGE = kWmUser + 126,    // text: the payload; object: the topic (std::string); wParam: 1 retained

    // The list windows' row actions and undo.
    WM_RV_LOG_BLOCK_CALLER = kWmUser + 130, // key: a call log record's id: mark its number "Ignore Caller"
    WM_RV_PB_SET_IGNORE = kWmUser + 131,    // keys as WM_RV_PB_DELETE_ENTRY; wParam: 1 set, 0 clear "Ignore Caller"
    WM_RV_RESTORED = kWmUser + 132,         // keys as WM_RV_PB_DELETE_ENTRY: deleted rows that were put back
    WM_RV_UNDO_AVAILABLE = kWmUser + 133,   // wParam: how many deletes the window can undo

    // The desktop notification of an offered call: an action the user chose on it, or the
    // notification service that failed to show it.
    WM_RV_CALL_NOTIFICATION = kWmUser + 134,    // key: the call's id; wParam: ENotificationEvent
    WM_RV_NUMBER_TO_PHONE_BOOK = kWmUser + 135, // text: a number: the entry dialog for a new entry

    // From the line monitor: the adapter's serial device went away or the link is up again.
    WM_RV_ADAPTER_STATE = kWmUser + 136, // wParam: EAdapterState
};

// What became of the adapter's device (WM_RV_ADAPTER_STATE).
enum EAdapterState : int {
    AS_Lost = 0,     // the device is gone (or the link is still down after someone tried it)
    AS_Back = 1,     // the link is up again: someone else opened it
    AS_Reopened = 2, // the link is up again: the monitor opened it when the device came back
};

// What became of a call's desktop notification.
enum ENotificationEvent : int {
    NE_Reject = 1,         // the user chose "Reject"
    NE_Block = 2,          // the user chose "Block"
    NE_AddToPhoneBook = 3, // the user chose "Add to phone book"
    NE_Failed = 4,         // the service did not show it, or went away while it was up
};

// The mouse messages that arrive with WM_RV_TRAY_NOTIFY.
inline constexpr int kWmLButtonDown = 0x0201;
inline constexpr int kWmRButtonDown = 0x0204;

struct CMessage {
    EMessageId id = WM_RV_REFRESH_TILES;
    std::int64_t wParam = 0;
    std::int64_t lParam = 0;
    std::string text;
    std::uint64_t key = 0; // stable id of a record or an entry
    std::any object;       // an owned object (e.g. std::shared_ptr<CPhoneBookEntry>)

    static CMessage Make(EMessageId id, std::int64_t wParam = 0, std::int64_t lParam = 0);
    static CMessage WithText(EMessageId id, std::string text, std::int64_t wParam = 0);
    static CMessage WithKey(EMessageId id, std::uint64_t key, std::int64_t wParam = 0);
    // A message about several records or entries at once (one delete command for a whole
    // selection): their ids in object, the first one in key.
    static CMessage WithKeys(EMessageId id, std::vector<std::uint64_t> keys);
    // The ids a message is about: the list in object, else key alone.
    std::vector<std::uint64_t> Keys() const;
};

// The message's name as written in the code ("WM_RV_MODEM_LINE"), for traces and test output.
const char* MessageName(EMessageId id);
