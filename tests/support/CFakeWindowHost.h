// A window host for tests: records every call in order (as readable text) and keeps the state
// the calls leave behind (status texts, activity lines, tiles, buttons, menus, tray, windows),
// answers message boxes at once and turns "wait in place" into an advance of a fake clock.
#pragma once

#include "core/CWindowHost.h"
#include "support/CFakeClock.h"

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

class CFakeWindowHost final : public CWindowHost {
public:
    struct SMenuEntry {
        int command = 0;
        std::string text;
        bool checked = false;
        bool operator==(const SMenuEntry&) const = default;
    };

    // Without a clock, WaitInPlace only records the wait.
    explicit CFakeWindowHost(CFakeClock* clock = nullptr);

    // CWindowHost
    void MessageBox(const std::string& text) override;
    void SetStatusText(int part, const std::string& text) override;
    void AppendActivityLine(const std::string& line) override;
    int VisibleActivityLines() override;
    void SetTile(int tile, const STileView& view) override;
    void SetSelectIndicator(int tile, bool selected) override;
    void SetHoldIndicator(int tile, bool lit) override;
    void EnableControl(int id, bool enable) override;
    void SetButtonCheck(int id, bool checked) override;
    void SetButtonImage(int id, int image) override;
    void InsertMenuItem(EMenu menu, int position, int command, const std::string& text, bool checked) override;
    void RemoveMenuItem(int command) override;
    void CheckMenuItem(int command, bool checked) override;
    void EnableMenuItem(int command, bool enable) override;
    void RedrawMenuBar() override;
    void AddTrayIcon(int image, const std::string& tip) override;
    void SetTrayTip(const std::string& tip) override;
    void SetTrayImage(int image) override;
    void RemoveTrayIcon() override;
    int TrackPopupMenu(const std::vector<SMenuItem>& items) override;
    void CreateCallerIdPopup(const SCallerIdPopup& popup) override;
    // Recorded; taken only while SetNotificationService(true) (the default: no service).
    bool ShowCallNotification(const SCallNotification& notification) override;
    void CloseCallNotification(std::uint64_t key) override;
    void ShowWindow(EWindow window, bool show) override;
    bool IsWindowVisible(EWindow window) override;
    void SetWindowRect(EWindow window, const CRect& rect) override;
    CRect WindowRect(EWindow window) override;
    void MaximizeWindow(EWindow window) override;
    bool IsWindowMaximized(EWindow window) override;
    void MinimizeMain() override;
    void RestoreMain() override;
    bool IsMainMinimized() override;
    void BringMainToForeground() override;
    void AttachStores(CPhoneBook* phoneBook, CCallLog* callLog) override;
    // Answers with the next path given to ChooseFileAnswers (none left: nothing chosen).
    bool ChooseFile(const SFileChoice& choice, std::string& chosen) override;
    void StartTimer(int id, int periodMs) override;
    void StopTimer(int id) override;
    void EndDialog(int result) override;
    void SendToWindow(EWindow window, const CMessage& msg) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    void WaitInPlace(int milliseconds) override;
    // Really waits for the fd (the fake clock moves on by the time waited when it times out),
    // unless the test has asked the host to quit during the wait.
    EWaitEnd WaitForReadable(int fd, int milliseconds) override;
    bool RunSettingsDialog(ESettingsDialog dialog, CSettings& settings) override;
    void OpenHelp() override;
    void MessagesPending() override;

    // What the test wants the host to answer.
    void SetPopupChoice(int command);
    void SetNotificationService(bool running);
    void SetVisibleActivityLines(int lines);
    // Runs instead of a settings dialog; without it the dialog is "cancelled".
    void SetSettingsDialog(std::function<bool(ESettingsDialog, CSettings&)> dialog);
    // The user picks Quit during every WaitForReadable from now on.
    void SetQuitDuringWait(bool quit);
    // Runs inside every message box (as the window framework runs other work inside one).
    void SetOnMessageBox(std::function<void(const std::string&)> hook);
    // Runs after every MessagesPending (on the posting thread).
    void SetOnMessagesPending(std::function<void()> hook);

    // Every call so far, in order, e.g. "SetStatusText(0,Offline)".
    std::vector<std::string> Calls() const;
    // Index of the first recorded call that starts with the prefix, or -1.
    int IndexOfCall(const std::string& prefix) const;
    int CountCalls(const std::string& prefix) const;
    void ClearCalls();

    std::vector<std::string> MessageBoxes() const;
    std::string StatusText(int part) const;
    // The activity lines without their time prefix.
    std::vector<std::string> ActivityTexts() const;
    bool HasActivity(const std::string& text) const;
    STileView Tile(int tile) const;
    bool SelectIndicator(int tile) const;
    bool HoldIndicator(int tile) const;
    // Unknown controls count as enabled and unchecked, with image 0.
    bool ControlEnabled(int id) const;
    bool ButtonChecked(int id) const;
    int ButtonImage(int id) const;
    std::vector<SMenuEntry> Menu(EMenu menu) const;
    bool MenuItemEnabled(int command) const;
    bool TrayPresent() const;
    std::string TrayTip() const;
    int TrayImage() const;
    std::vector<std::vector<SMenuItem>> PopupMenus() const;
    std::vector<SCallerIdPopup> CallerIdPopups() const;
    // The notifications shown (taken by the service), and the keys closed.
    std::vector<SCallNotification> Notifications() const;
    std::vector<std::uint64_t> ClosedNotifications() const;
    std::vector<std::pair<EWindow, CMessage>> SentMessages() const;
    // The paths the next file dialogs choose, in order; an empty one cancels.
    void ChooseFileAnswers(std::vector<std::string> paths);
    std::vector<int> Waits() const;
    int WaitCursorDepth() const;
    int MessagesPendingCount() const { return m_pending.load(); }
    CPhoneBook* AttachedPhoneBook() const;
    CCallLog* AttachedCallLog() const;
    bool TimerRunning(int id) const;
    std::vector<int> DialogResults() const;

private:
    void Record(std::string call);

    CFakeClock* m_clock;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_calls;
    std::vector<std::string> m_boxes;
    std::string m_status[4];
    std::vector<std::string> m_activity;
    int m_visibleLines = 8;
    STileView m_tiles[4];
    bool m_select[4] = {};
    bool m_hold[4] = {};
    std::map<int, bool> m_enabled;
    std::map<int, bool> m_checked;
    std::map<int, int> m_images;
    std::map<EMenu, std::vector<SMenuEntry>> m_menus;
    std::map<int, bool> m_menuEnabled;
    bool m_tray = false;
    std::string m_trayTip;
    int m_trayImage = 0;
    int m_popupChoice = 0;
    std::vector<std::vector<SMenuItem>> m_popups;
    std::vector<SCallerIdPopup> m_callerIds;
    bool m_notificationService = false;
    std::vector<SCallNotification> m_notifications;
    std::vector<std::uint64_t> m_closedNotifications;
    std::map<EWindow, bool> m_visible;
    std::map<EWindow, CRect> m_rects;
    std::map<EWindow, bool> m_maximized;
    bool m_minimized = false;
    std::vector<std::pair<EWindow, CMessage>> m_sent;
    std::vector<std::string> m_fileAnswers;
    CPhoneBook* m_phoneBook = nullptr;
    CCallLog* m_callLog = nullptr;
    std::map<int, int> m_timers;
    std::vector<int> m_results;
    std::vector<int> m_waits;
    int m_waitCursor = 0;
    std::function<bool(ESettingsDialog, CSettings&)> m_settingsDialog;
    std::function<void()> m_onPending;
    std::function<void(const std::string&)> m_onMessageBox;
    bool m_quitDuringWait = false;
    std::atomic<int> m_pending{0};
};

const char* WindowName(EWindow window);
