// The phone book window: a resizable modeless window without a close box listing the phone
// book store's entries in the columns the setting PhoneBookColumnMask selects, sorted by the
// column PhoneBookSortColumn names (a header click chooses it; there is no descending order).
// It changes nothing in the store itself: new, edited and deleted entries, cleared totals
// and numbers to dial are posted to the controller as private messages, and the controller
// tells the window which rows to insert, remove or refresh (HandleMessage, RefreshEntry).
#pragma once

#include "core/CSettings.h"
#include "core/Messages.h"
#include "ui/CListWindow.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class CCallLog;
class CCallLogRecord;
class CPhoneBook;
class CPhoneBookEntry;
class CPhoneBookEntryDlg;
class CPhoneBookModel;
class QFileDialog;
class QMenu;

class CPhoneBookDlg : public CListWindow {
public:
    // Menu command ids.
    static constexpr int kIdNew = 32784;
    static constexpr int kIdEdit = 32785;
    static constexpr int kIdDelete = 32789;
    static constexpr int kIdHide = 32787;
    static constexpr int kIdLogIncompleteCalls = 32800;
    static constexpr int kIdClearTotals = 32803;
    // The controller's View "&Phone Book" command, sent by "&Hide".
    static constexpr int kIdViewPhoneBook = 32778;
    static constexpr int kListId = 1025;

    // The ten "&Columns" toggles, in menu order: command id, text, column bit.
    struct SColumnToggle {
        int id;
        const char* text;
        int bit;
    };
    static const std::array<SColumnToggle, 10> kColumnToggles;

    // Runs the entry dialog (already filled) modally; true when the user pressed OK. Tests
    // replace it so that nothing blocks.
    using EntryDialogRunner = std::function<bool(CPhoneBookEntryDlg&)>;
    // Runs the file dialog modally; true when a file was chosen.
    using FileDialogRunner = std::function<bool(QFileDialog&)>;

    // settings: the controller's settings (column mask, sort column, incomplete-calls option);
    // post: the controller's message queue; command: the controller's menu commands.
    CPhoneBookDlg(CSettings& settings, PostMessageFn post, SendCommandFn command, QWidget* parent = nullptr);
    ~CPhoneBookDlg() override;

    // The store shown (the window never owns it); the rows are cleared. Call Fill afterwards.
    void SetPhoneBook(const CPhoneBook* phoneBook);
    // The call log whose records "To &Phone Book" refers to by id.
    void SetCallLog(const CCallLog* callLog);
    // Columns from the settings' mask, then rows from the store, fitted and sorted (at
    // start-up, after "&Open..." and after a column change).
    void Fill();
    void ClearRows();
    // Rewrites the entry's row, fits the columns and sorts (after a call was recorded for it
    // or its totals were cleared).
    void RefreshEntry(std::uint64_t id);

    // The controller's messages to the window (key = an entry id unless said otherwise):
    // WM_RV_PB_ADD_ENTRY (a row for the new entry), WM_RV_PB_DELETE_ENTRY (the rows of the
    // entries go), WM_RV_PB_REPLACE_ENTRY (lParam = the old id whose row goes, key = the re-filed
    // entry that gets a row), WM_RV_PB_CLEAR_TOTALS (the entry's totals were cleared: refresh its row),
    // WM_RV_LOG_TO_PHONE_BOOK (key = a call log record id: open the entry dialog for a new
    // entry made from it), WM_RV_NUMBER_TO_PHONE_BOOK (text = a number: the same for a new
    // entry with that number) and WM_RV_PB_COLUMNS_CHANGED. False for any other message.
    bool HandleMessage(const CMessage& msg);

    void SetEntryDialogRunner(EntryDialogRunner runner);

    // The commands, as the menus, keys and mouse run them.
    void OnNew();
    void OnEdit();
    void OnDelete();
    void OnClearTotals();
    // Copies the selected entries' numbers; sets "Ignore Caller" on the selected entries, or
    // clears it when all of them have it already.
    void OnCopyNumber();
    void OnToggleBlocked();
    void OnHide() override;
    void OnToggleColumn(int bit);
    void OnColumnsChanged();
    // A click on the header of visible column k.
    void OnHeaderClicked(int k);
    // A single click on the icon of a row: dial the entry's number as it is.
    void OnIconClickRow(int row);
    void OnNewFromRecord(const CCallLogRecord& record);
    // The entry dialog for a new entry with the number filled in; the entry when confirmed.
    std::shared_ptr<CPhoneBookEntry> EntryForNumber(const std::string& number);
    // Asks the controller to file the entry.
    void PostNewEntry(std::shared_ptr<CPhoneBookEntry> entry);
    // Check marks of the "&Columns" and "&Options" popups, as they are set when one opens.
    void UpdateMenuChecks();

    CPhoneBookModel* Model() const { return m_model; }
    QMenu* ColumnsMenu() const { return m_columnsMenu; }
    QMenu* OptionsMenu() const { return m_optionsMenu; }

    // The "&Open..." file dialog: "Select a PhoneBook File", PhoneBook files (*.pbk) or all
    // files, default extension .pbk, starting at current; a file that does not exist yet may
    // be named. The process's working directory is left alone. True and chosen set (an
    // absolute path) when the user picked a file. runner replaces the modal run in tests.
    static bool ChoosePhoneBookFile(QWidget* parent, const std::string& current, std::string& chosen,
                                    const FileDialogRunner& runner = {});

private:
    // Fills the dialog, runs it; true on OK.
    bool RunEntryDialog(CPhoneBookEntryDlg& dialog);
    // A new entry from the dialog's fields: number = Area + Number, flags from the check box.
    static std::shared_ptr<CPhoneBookEntry> EntryFromDialog(const CPhoneBookEntryDlg& dialog);

    // True when every selected entry has "Ignore Caller" (and one is selected).
    bool SelectionBlocked() const;

    CSettings& m_settings;
    CPhoneBookModel* m_model;
    QAction* m_undo = nullptr;
    QAction* m_block = nullptr;
    const CCallLog* m_callLog = nullptr;
    PostMessageFn m_post;
    SendCommandFn m_command;
    EntryDialogRunner m_entryRunner;
    QMenu* m_columnsMenu = nullptr;
    QMenu* m_optionsMenu = nullptr;
};
