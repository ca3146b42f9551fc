#include "core/Messages.h"

#include <utility>

CMessage CMessage::Make(EMessageId id, std::int64_t wParam, std::int64_t lParam) {
    CMessage msg;
    msg.id = id;
    msg.wParam = wParam;
    msg.lParam = lParam;
    return msg;
}

CMessage CMessage::WithText(EMessageId id, std::string text, std::int64_t wParam) {
    CMessage msg = Make(id, wParam);
    msg.text = std::move(text);
    return msg;
}

CMessage CMessage::WithKey(EMessageId id, std::uint64_t key, std::int64_t wParam) {
    CMessage msg = Make(id, wParam);
    msg.key = key;
    return msg;
}

CMessage CMessage::WithKeys(EMessageId id, std::vector<std::uint64_t> keys) {
    CMessage msg = WithKey(id, keys.empty() ? 0 : keys.front());
    msg.object = std::move(keys);
    return msg;
}

std::vector<std::uint64_t> CMessage::Keys() const {
    if (const auto* keys = std::any_cast<std::vector<std::uint64_t>>(&object)) {
        return *keys;
    }
    return {key};
}

const char* MessageName(EMessageId id) {
    switch (id) {
    case WM_RV_MODEM_LINE:
        return "WM_RV_MODEM_LINE";
    case WM_RV_REFRESH_TILES:
        return "WM_RV_REFRESH_TILES";
    case WM_RV_DIAL_NUMBER:
        return "WM_RV_DIAL_NUMBER";
    case WM_RV_PB_DELETE_ENTRY:
        return "WM_RV_PB_DELETE_ENTRY";
    case WM_RV_PB_ADD_ENTRY:
        return "WM_RV_PB_ADD_ENTRY";
    case WM_RV_PB_REPLACE_ENTRY:
        return "WM_RV_PB_REPLACE_ENTRY";
    case WM_RV_LOG_ADD_RECORD:
        return "WM_RV_LOG_ADD_RECORD";
    case WM_RV_LOG_DELETE_RECORD:
        return "WM_RV_LOG_DELETE_RECORD";
    case WM_RV_LOG_TO_PHONE_BOOK:
        return "WM_RV_LOG_TO_PHONE_BOOK";
    case WM_RV_PB_COLUMNS_CHANGED:
        return "WM_RV_PB_COLUMNS_CHANGED";
    case WM_RV_PB_CLEAR_TOTALS:
        return "WM_RV_PB_CLEAR_TOTALS";
    case WM_RV_TRAY_NOTIFY:
        return "WM_RV_TRAY_NOTIFY";
    case WM_RV_STATUS_TEXT:
        return "WM_RV_STATUS_TEXT";
    case WM_RV_ACTIVITY:
        return "WM_RV_ACTIVITY";
    case WM_RV_ONLINE_TIME:
        return "WM_RV_ONLINE_TIME";
    case WM_RV_LINK_RESTORED:
        return "WM_RV_LINK_RESTORED";
    case WM_RV_CALL_NOTIFICATION:
        return "WM_RV_CALL_NOTIFICATION";
    case WM_RV_NUMBER_TO_PHONE_BOOK:
        return "WM_RV_NUMBER_TO_PHONE_BOOK";
    case WM_RV_ADAPTER_STATE:
        return "WM_RV_ADAPTER_STATE";
    case WM_RV_MESSAGE_BOX:
        return "WM_RV_MESSAGE_BOX";
    case WM_RV_NET_CONNECTION:
        return "WM_RV_NET_CONNECTION";
    case WM_RV_NET_MESSAGE:
        return "WM_RV_NET_MESSAGE";
    case WM_RV_LOG_BLOCK_CALLER:
        return "WM_RV_LOG_BLOCK_CALLER";
    case WM_RV_PB_SET_IGNORE:
        return "WM_RV_PB_SET_IGNORE";
    case WM_RV_RESTORED:
        return "WM_RV_RESTORED";
    case WM_RV_UNDO_AVAILABLE:
        return "WM_RV_UNDO_AVAILABLE";
    }
    return "WM_RV_?";
}
