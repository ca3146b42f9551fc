#include "controller/CListWindowRequests.h"

#include "calls/BlockNumber.h"

#include "core/Format.h"
#include "core/SafeFile.h"
#include "records/CPhoneBookImport.h"
#include "records/RecordExport.h"
#include "records/RecordText.h"

#include <cstring>
#include <utility>

namespace {

const std::vector<std::string> kPhoneBookFilters = {"vCard Files (*.vcf *.vcard)", "CSV Files (*.csv)",
                                                    "All Files (*)"};

template <typename Member> std::vector<std::uint64_t> IdsOf(const std::vector<std::unique_ptr<Member>>& members) {
    std::vector<std::uint64_t> ids;
    ids.reserve(members.size());
    for (const auto& member : members) {
        ids.push_back(member->m_id);
    }
    return ids;
}

} // namespace

CListWindowRequests::CListWindowRequests(CWindowHost& host, CSettings& settings, SHooks hooks)
    : m_host(host), m_settings(settings), m_hooks(std::move(hooks)) {}

bool CListWindowRequests::OnMessage(CMessage& msg) {
    switch (msg.id) {
    case WM_RV_PB_DELETE_ENTRY:
        DeleteEntries(msg);
        return true;
    case WM_RV_LOG_DELETE_RECORD:
        DeleteRecords(msg);
        return true;
    case WM_RV_LOG_BLOCK_CALLER:
        BlockCaller(msg.key);
        return true;
    case WM_RV_PB_SET_IGNORE:
        SetIgnored(msg);
        return true;
    default:
        return false;
    }
}

bool CListWindowRequests::OnCommand(int id) {
    switch (id) {
    case cmd::kPhoneBookImport:
        Import();
        return true;
    case cmd::kPhoneBookExport:
        ExportPhoneBook();
        return true;
    case cmd::kCallLogExport:
        ExportCallLog();
        return true;
    case cmd::kUndoPhoneBookDelete:
        UndoPhoneBookDelete();
        return true;
    case cmd::kUndoCallLogDelete:
        UndoCallLogDelete();
        return true;
    default:
        return false;
    }
}

void CListWindowRequests::OnShutDown() {
    m_entryUndo.clear();
    m_recordUndo.clear();
}

void CListWindowRequests::ForgetUndo(EWindow window) {
    if (window == EWindow::PhoneBook) {
        m_entryUndo.clear();
    } else if (window == EWindow::CallLog) {
        m_recordUndo.clear();
    }
    SendUndoState(window);
}

std::size_t CListWindowRequests::UndoDepth(EWindow window) const {
    return window == EWindow::PhoneBook ? m_entryUndo.size() : m_recordUndo.size();
}

void CListWindowRequests::SendUndoState(EWindow window) {
    m_host.SendToWindow(window, CMessage::Make(WM_RV_UNDO_AVAILABLE, static_cast<std::int64_t>(UndoDepth(window))));
}

// One delete command, one save, however many entries it names; the entries are kept for undo.
void CListWindowRequests::DeleteEntries(const CMessage& msg) {
    if (CPhoneBook* book = m_hooks.phoneBook()) {
        auto taken = book->Take(msg.Keys());
        if (!taken.empty()) {
            m_entryUndo.push_back(std::move(taken));
        }
    }
    m_host.SendToWindow(EWindow::PhoneBook, msg);
    SendUndoState(EWindow::PhoneBook);
}

void CListWindowRequests::DeleteRecords(const CMessage& msg) {
    if (CCallLog* log = m_hooks.callLog()) {
        auto taken = log->Take(msg.Keys());
        if (!taken.empty()) {
            m_recordUndo.push_back(std::move(taken));
        }
    }
    m_host.SendToWindow(EWindow::CallLog, msg);
    SendUndoState(EWindow::CallLog);
}

void CListWindowRequests::UndoPhoneBookDelete() {
    CPhoneBook* book = m_hooks.phoneBook();
    if (book == nullptr || m_entryUndo.empty()) {
        return;
    }
    auto entries = std::move(m_entryUndo.back());
    m_entryUndo.pop_back();
    const std::vector<std::uint64_t> ids = IdsOf(entries);
    std::vector<std::pair<std::uint64_t, std::unique_ptr<CPhoneBookEntry>>> back;
    back.reserve(entries.size());
    for (auto& entry : entries) {
        back.emplace_back(0, std::move(entry));
    }
    book->ReplaceAll(std::move(back));
    m_host.SendToWindow(EWindow::PhoneBook, CMessage::WithKeys(WM_RV_RESTORED, ids));
    SendUndoState(EWindow::PhoneBook);
}

void CListWindowRequests::UndoCallLogDelete() {
    CCallLog* log = m_hooks.callLog();
    if (log == nullptr || m_recordUndo.empty()) {
        return;
    }
    auto records = std::move(m_recordUndo.back());
    m_recordUndo.pop_back();
    const std::vector<std::uint64_t> ids = IdsOf(records);
    log->Restore(std::move(records));
    m_host.SendToWindow(EWindow::CallLog, CMessage::WithKeys(WM_RV_RESTORED, ids));
    SendUndoState(EWindow::CallLog);
}

// The record's number gets "Ignore Caller" (its entry, or a new one named as the record is).
void CListWindowRequests::BlockCaller(std::uint64_t recordId) {
    CPhoneBook* book = m_hooks.phoneBook();
    CCallLog* log = m_hooks.callLog();
    if (book == nullptr || log == nullptr) {
        return;
    }
    std::string number;
    std::string name;
    {
        const auto lock = log->Lock();
        const CCallLogRecord* record = log->FindById(recordId);
        if (record == nullptr) {
            return;
        }
        number = record->m_strNumber;
        name = record->m_strName;
    }
    if (BlockNumber(*book, m_host, number, name, "")) {
        m_hooks.log(StrFormat("Caller %s blocked", number.c_str()));
    }
}

void CListWindowRequests::SetIgnored(const CMessage& msg) {
    if (CPhoneBook* book = m_hooks.phoneBook()) {
        book->SetIgnored(msg.Keys(), msg.wParam != 0);
        m_host.SendToWindow(EWindow::PhoneBook, msg);
    }
}

void CListWindowRequests::Import() {
    CPhoneBook* book = m_hooks.phoneBook();
    std::string path;
    if (book == nullptr || !m_host.ChooseFile({"Import into the Phone Book", kPhoneBookFilters, false}, path)) {
        return;
    }
    std::string text;
    int err = 0;
    if (!ReadWholeFile(path, text, err, kMaxStoreFileBytes)) {
        m_hooks.message(
            StrFormat("Unable to read %s: %s.\nThe phone book is unchanged.", path.c_str(), std::strerror(err)));
        return;
    }
    const SImportSummary summary = CPhoneBookImport::Import(*book, text, ExchangeFormatOf(path));
    if (!summary.ok) {
        m_hooks.message(StrFormat("%s could not be imported: %s.\nThe phone book is unchanged.", path.c_str(),
                                  summary.error.c_str()));
        return;
    }
    // The call log names every record after the entry with its number.
    if (CCallLog* log = m_hooks.callLog()) {
        std::unordered_map<std::string, std::string> names;
        const auto lock = book->Lock();
        for (const std::uint64_t id : summary.entryIds) {
            if (const CPhoneBookEntry* entry = book->FindById(id)) {
                names[entry->m_strNumber] = entry->m_strName;
            }
        }
        log->RenameAll(names);
    }
    m_host.AttachStores(book, m_hooks.callLog()); // both windows show the new rows and names
    m_hooks.log(StrFormat("Phone book imported from %s", path.c_str()));
    m_hooks.message(StrFormat("Imported from %s:\n%s", path.c_str(), summary.Text().c_str()));
}

bool CListWindowRequests::Write(const std::string& path, const std::string& text, const std::string& what) {
    if (!WriteStoreFile(path, text, m_hooks.message, StrFormat("Unable to write %s", path.c_str()))) {
        return false;
    }
    m_hooks.log(StrFormat("%s exported to %s", what.c_str(), path.c_str()));
    return true;
}

void CListWindowRequests::ExportPhoneBook() {
    const CPhoneBook* book = m_hooks.phoneBook();
    std::string path;
    if (book == nullptr || !m_host.ChooseFile({"Export the Phone Book", kPhoneBookFilters, true}, path)) {
        return;
    }
    Write(path,
          ExchangeFormatOf(path) == EExchangeFormat::VCard ? PhoneBookVCards(*book)
                                                           : PhoneBookCsv(*book, m_settings.m_dwPhoneBookColumnMask),
          "Phone book");
}

void CListWindowRequests::ExportCallLog() {
    const CCallLog* log = m_hooks.callLog();
    std::string path;
    if (log == nullptr ||
        !m_host.ChooseFile({"Export the Call Log", {"CSV Files (*.csv)", "All Files (*)"}, true}, path)) {
        return;
    }
    Write(path, CallLogCsv(*log), "Call log");
}
