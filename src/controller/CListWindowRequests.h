// What the list windows ask of the controller beyond adding and editing: deletes that can be
// undone until the window is hidden, blocking a caller from the call log, setting and
// clearing "Ignore Caller" in the phone book, importing into the phone book and exporting
// both lists. The stores change only here, on the window thread; the windows are told what
// changed through the host.
#pragma once

#include "controller/IControllerPart.h"
#include "core/CSettings.h"
#include "core/CWindowHost.h"
#include "records/CCallLog.h"
#include "records/CPhoneBook.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class CListWindowRequests final : public IControllerPart {
public:
    struct SHooks {
        std::function<CPhoneBook*()> phoneBook;
        std::function<CCallLog*()> callLog;
        std::function<void(const std::string&)> log;     // trace file and activity list
        std::function<void(const std::string&)> message; // a message box
    };

    CListWindowRequests(CWindowHost& host, CSettings& settings, SHooks hooks);

    // Deletes (WM_RV_PB_DELETE_ENTRY, WM_RV_LOG_DELETE_RECORD), WM_RV_LOG_BLOCK_CALLER and
    // WM_RV_PB_SET_IGNORE.
    bool OnMessage(CMessage& msg) override;
    // cmd::kPhoneBookImport, kPhoneBookExport, kCallLogExport, kUndoPhoneBookDelete,
    // kUndoCallLogDelete.
    bool OnCommand(int id) override;
    void OnShutDown() override;

    // The window was hidden (or its store replaced): its deletes can no longer be undone.
    void ForgetUndo(EWindow window);
    std::size_t UndoDepth(EWindow window) const;

private:
    void DeleteEntries(const CMessage& msg);
    void DeleteRecords(const CMessage& msg);
    void UndoPhoneBookDelete();
    void UndoCallLogDelete();
    void SendUndoState(EWindow window);
    void BlockCaller(std::uint64_t recordId);
    void SetIgnored(const CMessage& msg);
    void Import();
    void ExportPhoneBook();
    void ExportCallLog();
    bool Write(const std::string& path, const std::string& text, const std::string& what);

    CWindowHost& m_host;
    CSettings& m_settings;
    SHooks m_hooks;
    // Each delete command's members, last one last.
    std::vector<std::vector<std::unique_ptr<CPhoneBookEntry>>> m_entryUndo;
    std::vector<std::vector<std::unique_ptr<CCallLogRecord>>> m_recordUndo;
};
