// The call log window: a resizable modeless window without a close box that lists the call
// log store's records, newest at the top, with a direction / answered icon per row. It never
// changes the store itself: deleting, "To &Phone Book" and dialling are posted to the
// controller as private messages, and the controller tells the window what to show
// (HandleMessage) once the store has changed.
#pragma once

#include "core/Messages.h"
#include "ui/CListWindow.h"

#include <cstdint>

class CCallLog;
class CCallLogModel;
class CCallStatsDlg;

class CCallLogDlg : public CListWindow {
public:
    // Menu command ids.
    static constexpr int kIdToPhoneBook = 32790;
    static constexpr int kIdDelete = 32789;
    static constexpr int kIdHide = 32788;
    // The controller's View "&Call Log" command, sent by "&Hide".
    static constexpr int kIdViewCallLog = 32779;
    static constexpr int kListId = 1027;

    // post: the controller's message queue; command: the controller's menu commands.
    CCallLogDlg(PostMessageFn post, SendCommandFn command, QWidget* parent = nullptr);
    ~CCallLogDlg() override;

    // The store shown (the window never owns it). Call Refill afterwards.
    void SetCallLog(const CCallLog* callLog);
    // Rebuilds every row from the store (after start-up and after the store renamed records).
    void Refill();

    // The controller's messages to the window: WM_RV_LOG_ADD_RECORD (key = the new record's
    // id) and WM_RV_LOG_DELETE_RECORD (the ids of the records already removed). Returns
    // false for a message the window does not take.
    bool HandleMessage(const CMessage& msg);

    // The commands, as the menu and keys run them.
    void OnDelete();
    // Row actions on the first selected row: dial it back (as a double-click does), copy the
    // selected rows' numbers, mark the caller "Ignore Caller".
    void OnCallBack();
    void OnCopyNumber();
    void OnBlockCaller();
    void OnToPhoneBook();
    void OnHide() override;
    // A double-click on the row (nothing when the row does not exist).
    void OnDoubleClickRow(int row);

    CCallLogModel* Model() const { return m_model; }
    // "&Statistics...": shows the statistics window of the store (made on first use).
    CCallStatsDlg* OnStatistics();

private:
    // The model row of the first selected row; -1 for none.
    int FirstSelectedRow() const;
    void Restore(const std::vector<std::uint64_t>& ids);

    CCallLogModel* m_model;
    PostMessageFn m_post;
    SendCommandFn m_command;
    QAction* m_undo = nullptr;
    CCallStatsDlg* m_stats = nullptr;
};
