#include "calls/BlockNumber.h"

#include "core/CWindowHost.h"
#include "core/Messages.h"
#include "records/CPhoneBook.h"

#include <cstdint>
#include <memory>
#include <span>

bool IsUnknownName(const std::string& name) {
    return name == "Unknown caller" || name == "Unknown callee";
}

bool BlockNumber(CPhoneBook& book, CWindowHost& host, const std::string& number, const std::string& name,
                 const std::string& memo) {
    if (number.empty()) {
        return false; // callers without a number are screened by IgnoreBlocked
    }
    if (const CPhoneBookEntry* known = book.Find(number)) {
        const std::uint64_t id = known->m_id;
        book.SetIgnored(std::span<const std::uint64_t>(&id, 1), true);
        host.SendToWindow(EWindow::PhoneBook, CMessage::WithKey(WM_RV_PB_SET_IGNORE, id, 1));
        return true;
    }
    auto entry = std::make_unique<CPhoneBookEntry>(book.LookupNumber(number), "", "", "", memo);
    if (!name.empty() && !IsUnknownName(name)) {
        const auto space = name.rfind(' ');
        entry->m_strLastName = space == std::string::npos ? name : name.substr(space + 1);
        entry->m_strFirstName = space == std::string::npos ? std::string() : name.substr(0, space);
    }
    entry->m_dwFlags = PBF_IGNORE;
    const std::uint64_t id = entry->m_id;
    CMessage added = CMessage::WithKey(WM_RV_PB_ADD_ENTRY, id);
    added.wParam = book.Add(std::move(entry));
    host.SendToWindow(EWindow::PhoneBook, added);
    return true;
}
