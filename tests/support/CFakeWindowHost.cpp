#include "support/CFakeWindowHost.h"

#include "core/Format.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <utility>

namespace {
const char* MenuName(EMenu menu) {
    return menu == EMenu::Internet ? "Internet" : "View";
}
} // namespace

const char* WindowName(EWindow window) {
    switch (window) {
    case EWindow::Main:
        return "Main";
    case EWindow::PhoneBook:
        return "PhoneBook";
    case EWindow::CallLog:
        return "CallLog";
    }
    return "?";
}

CFakeWindowHost::CFakeWindowHost(CFakeClock* clock) : m_clock(clock) {}

void CFakeWindowHost::Record(std::string call) {
    m_calls.push_back(std::move(call));
}

void CFakeWindowHost::MessageBox(const std::string& text) {
    std::function<void(const std::string&)> hook;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        Record("MessageBox(" + text + ")");
        m_boxes.push_back(text);
        hook = m_onMessageBox;
    }
    if (hook) {
        hook(text);
    }
}

void CFakeWindowHost::SetOnMessageBox(std::function<void(const std::string&)> hook) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_onMessageBox = std::move(hook);
}

void CFakeWindowHost::SetStatusText(int part, const std::string& text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record(StrFormat("SetStatusText(%d,%s)", part, text.c_str()));
    if (part >= 0 && part < 4) {
        m_status[part] = text;
    }
}

void CFakeWindowHost::AppendActivityLine(const std::string& line) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record("AppendActivityLine(" + line + ")");
    m_activity.push_back(line);
    if (m_activity.size() > 200) {
        m_activity.erase(m_activity.begin());
    }
}

int CFakeWindowHost::VisibleActivityLines() {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record("VisibleActivityLines()");
    return m_visibleLines;
}

void CFakeWindowHost::SetTile(int tile, const STileView& view) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record(StrFormat("SetTile(%d,%s)", tile, view.call ? view.name.c_str() : "<empty>"));
    if (tile >= 0 && tile < 4) {
        m_tiles[tile] = view;
    }
}

void CFakeWindowHost::SetSelectIndicator(int tile, bool selected) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record(StrFormat("SetSelectIndicator(%d,%d)", tile, selected ? 1 : 0));
    if (tile >= 0 && tile < 4) {
        m_select[tile] = selected;
    }
}

void CFakeWindowHost::SetHoldIndicator(int tile, bool lit) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record(StrFormat("SetHoldIndicator(%d,%d)", tile, lit ? 1 : 0));
    if (tile >= 0 && tile < 4) {
        m_hold[tile] = lit;
    }
}

void CFakeWindowHost::EnableControl(int id, bool enable) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record(StrFormat("EnableControl(%d,%d)", id, enable ? 1 : 0));
    m_enabled[id] = enable;
}

void CFakeWindowHost::SetButtonCheck(int id, bool checked) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record(StrFormat("SetButtonCheck(%d,%d)", id, checked ? 1 : 0));
    m_checked[id] = checked;
}

void CFakeWindowHost::SetButtonImage(int id, int image) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record(StrFormat("SetButtonImage(%d,%d)", id, image));
    m_images[id] = image;
}

void CFakeWindowHost::InsertMenuItem(EMenu menu, int position, int command, const std::string& text, bool checked) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record(
        StrFormat("InsertMenuItem(%s,%d,%d,%s,%d)", MenuName(menu), position, command, text.c_str(), checked ? 1 : 0));
    auto& items = m_menus[menu];
    const auto pos = static_cast<std::size_t>(std::clamp<int>(position, 0, static_cast<int>(items.size())));
    items.insert(items.begin() + static_cast<std::ptrdiff_t>(pos), SMenuEntry{command, text, checked});
}

void CFakeWindowHost::RemoveMenuItem(int command) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record(StrFormat("RemoveMenuItem(%d)", command));
    for (auto& [menu, items] : m_menus) {
        std::erase_if(items, [command](const SMenuEntry& e) { return e.command == command; });
    }
}

void CFakeWindowHost::CheckMenuItem(int command, bool checked) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record(StrFormat("CheckMenuItem(%d,%d)", command, checked ? 1 : 0));
    for (auto& [menu, items] : m_menus) {
        for (auto& e : items) {
            if (e.command == command) {
                e.checked = checked;
            }
        }
    }
}

void CFakeWindowHost::EnableMenuItem(int command, bool enable) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record(StrFormat("EnableMenuItem(%d,%d)", command, enable ? 1 : 0));
    m_menuEnabled[command] = enable;
}

void CFakeWindowHost::RedrawMenuBar() {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record("RedrawMenuBar()");
}

void CFakeWindowHost::AddTrayIcon(int image, const std::string& tip) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record(StrFormat("AddTrayIcon(%d,%s)", image, tip.c_str()));
    m_tray = true;
    m_trayImage = image;
    m_trayTip = tip;
}

void CFakeWindowHost::SetTrayTip(const std::string& tip) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record("SetTrayTip(" + tip + ")");
    m_trayTip = tip;
}

void CFakeWindowHost::SetTrayImage(int image) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record(StrFormat("SetTrayImage(%d)", image));
    m_trayImage = image;
}

void CFakeWindowHost::RemoveTrayIcon() {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record("RemoveTrayIcon()");
    m_tray = false;
}

int CFakeWindowHost::TrackPopupMenu(const std::vector<SMenuItem>& items) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record(StrFormat("TrackPopupMenu(%zu)", items.size()));
    m_popups.push_back(items);
    return m_popupChoice;
}

void CFakeWindowHost::CreateCallerIdPopup(const SCallerIdPopup& popup) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record("CreateCallerIdPopup(" + popup.name + ")");
    m_callerIds.push_back(popup);
}

bool CFakeWindowHost::ShowCallNotification(const SCallNotification& notification) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record("ShowCallNotification(" + notification.summary + ")");
    if (m_notificationService) {
        m_notifications.push_back(notification);
    }
    return m_notificationService;
}

void CFakeWindowHost::CloseCallNotification(std::uint64_t key) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record("CloseCallNotification");
    m_closedNotifications.push_back(key);
}

void CFakeWindowHost::SetNotificationService(bool running) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_notificationService = running;
}

std::vector<SCallNotification> CFakeWindowHost::Notifications() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_notifications;
}

std::vector<std::uint64_t> CFakeWindowHost::ClosedNotifications() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_closedNotifications;
}

void CFakeWindowHost::ShowWindow(EWindow window, bool show) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record(StrFormat("ShowWindow(%s,%d)", WindowName(window), show ? 1 : 0));
    m_visible[window] = show;
}

bool CFakeWindowHost::IsWindowVisible(EWindow window) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_visible.find(window);
    return it == m_visible.end() ? window == EWindow::Main : it->second;
}

void CFakeWindowHost::SetWindowRect(EWindow window, const CRect& rect) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record(
        StrFormat("SetWindowRect(%s,%d,%d,%d,%d)", WindowName(window), rect.left, rect.top, rect.right, rect.bottom));
    m_rects[window] = rect;
}

CRect CFakeWindowHost::WindowRect(EWindow window) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record(StrFormat("WindowRect(%s)", WindowName(window)));
    return m_rects[window];
}

void CFakeWindowHost::MaximizeWindow(EWindow window) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record(StrFormat("MaximizeWindow(%s)", WindowName(window)));
    m_maximized[window] = true;
}

bool CFakeWindowHost::IsWindowMaximized(EWindow window) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_maximized[window];
}

void CFakeWindowHost::MinimizeMain() {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record("MinimizeMain()");
    m_minimized = true;
}

void CFakeWindowHost::RestoreMain() {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record("RestoreMain()");
    m_minimized = false;
}

bool CFakeWindowHost::IsMainMinimized() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_minimized;
}

void CFakeWindowHost::BringMainToForeground() {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record("BringMainToForeground()");
}

void CFakeWindowHost::AttachStores(CPhoneBook* phoneBook, CCallLog* callLog) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record(StrFormat("AttachStores(%s,%s)", phoneBook ? "phonebook" : "null", callLog ? "calllog" : "null"));
    m_phoneBook = phoneBook;
    m_callLog = callLog;
}

void CFakeWindowHost::StartTimer(int id, int periodMs) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record(StrFormat("StartTimer(%d,%d)", id, periodMs));
    m_timers[id] = periodMs;
}

void CFakeWindowHost::StopTimer(int id) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record(StrFormat("StopTimer(%d)", id));
    m_timers.erase(id);
}

void CFakeWindowHost::EndDialog(int result) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record(StrFormat("EndDialog(%d)", result));
    m_results.push_back(result);
}

CPhoneBook* CFakeWindowHost::AttachedPhoneBook() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_phoneBook;
}

CCallLog* CFakeWindowHost::AttachedCallLog() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_callLog;
}

bool CFakeWindowHost::TimerRunning(int id) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_timers.count(id) != 0;
}

std::vector<int> CFakeWindowHost::DialogResults() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_results;
}

bool CFakeWindowHost::ChooseFile(const SFileChoice& choice, std::string& chosen) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record(StrFormat("ChooseFile(%s)", choice.title.c_str()));
    if (m_fileAnswers.empty()) {
        return false;
    }
    chosen = m_fileAnswers.front();
    m_fileAnswers.erase(m_fileAnswers.begin());
    return !chosen.empty();
}

void CFakeWindowHost::ChooseFileAnswers(std::vector<std::string> paths) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fileAnswers = std::move(paths);
}

void CFakeWindowHost::SendToWindow(EWindow window, const CMessage& msg) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record(StrFormat("SendToWindow(%s,%s)", WindowName(window), MessageName(msg.id)));
    m_sent.emplace_back(window, msg);
}

void CFakeWindowHost::BeginWaitCursor() {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record("BeginWaitCursor()");
    ++m_waitCursor;
}

void CFakeWindowHost::EndWaitCursor() {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record("EndWaitCursor()");
    --m_waitCursor;
}

void CFakeWindowHost::WaitInPlace(int milliseconds) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        Record(StrFormat("WaitInPlace(%d)", milliseconds));
        m_waits.push_back(milliseconds);
    }
    if (m_clock != nullptr) {
        m_clock->AdvanceMs(milliseconds);
    }
}

CWindowHost::EWaitEnd CFakeWindowHost::WaitForReadable(int fd, int milliseconds) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        Record(StrFormat("WaitForReadable(%d)", milliseconds));
        if (m_quitDuringWait) {
            return EWaitEnd::Quit;
        }
    }
    pollfd ready{fd, POLLIN, 0};
    int n = 0;
    while ((n = ::poll(&ready, 1, milliseconds)) < 0 && errno == EINTR) {
    }
    if (n > 0) {
        return EWaitEnd::Ready;
    }
    if (m_clock != nullptr) {
        m_clock->AdvanceMs(milliseconds);
    }
    return EWaitEnd::TimedOut;
}

void CFakeWindowHost::SetQuitDuringWait(bool quit) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_quitDuringWait = quit;
}

bool CFakeWindowHost::RunSettingsDialog(ESettingsDialog dialog, CSettings& settings) {
    std::function<bool(ESettingsDialog, CSettings&)> run;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        Record(StrFormat("RunSettingsDialog(%d)", static_cast<int>(dialog)));
        run = m_settingsDialog;
    }
    return run ? run(dialog, settings) : false;
}

void CFakeWindowHost::OpenHelp() {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record("OpenHelp()");
}

void CFakeWindowHost::MessagesPending() {
    ++m_pending;
    std::function<void()> hook;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        hook = m_onPending;
    }
    if (hook) {
        hook();
    }
}

void CFakeWindowHost::SetPopupChoice(int command) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_popupChoice = command;
}

void CFakeWindowHost::SetVisibleActivityLines(int lines) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_visibleLines = lines;
}

void CFakeWindowHost::SetSettingsDialog(std::function<bool(ESettingsDialog, CSettings&)> dialog) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_settingsDialog = std::move(dialog);
}

void CFakeWindowHost::SetOnMessagesPending(std::function<void()> hook) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_onPending = std::move(hook);
}

std::vector<std::string> CFakeWindowHost::Calls() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_calls;
}

int CFakeWindowHost::IndexOfCall(const std::string& prefix) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (std::size_t i = 0; i < m_calls.size(); ++i) {
        if (m_calls[i].starts_with(prefix)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int CFakeWindowHost::CountCalls(const std::string& prefix) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(
        std::count_if(m_calls.begin(), m_calls.end(), [&](const std::string& c) { return c.starts_with(prefix); }));
}

void CFakeWindowHost::ClearCalls() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.clear();
}

std::vector<std::string> CFakeWindowHost::MessageBoxes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_boxes;
}

std::string CFakeWindowHost::StatusText(int part) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return part >= 0 && part < 4 ? m_status[part] : std::string();
}

std::vector<std::string> CFakeWindowHost::ActivityTexts() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::string> texts;
    for (const auto& line : m_activity) {
        const auto sep = line.find(" : ");
        texts.push_back(sep == std::string::npos ? line : line.substr(sep + 3));
    }
    return texts;
}

bool CFakeWindowHost::HasActivity(const std::string& text) const {
    const auto texts = ActivityTexts();
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

STileView CFakeWindowHost::Tile(int tile) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return tile >= 0 && tile < 4 ? m_tiles[tile] : STileView{};
}

bool CFakeWindowHost::SelectIndicator(int tile) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return tile >= 0 && tile < 4 && m_select[tile];
}

bool CFakeWindowHost::HoldIndicator(int tile) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return tile >= 0 && tile < 4 && m_hold[tile];
}

bool CFakeWindowHost::ControlEnabled(int id) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_enabled.find(id);
    return it == m_enabled.end() || it->second;
}

bool CFakeWindowHost::ButtonChecked(int id) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_checked.find(id);
    return it != m_checked.end() && it->second;
}

int CFakeWindowHost::ButtonImage(int id) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_images.find(id);
    return it == m_images.end() ? 0 : it->second;
}

std::vector<CFakeWindowHost::SMenuEntry> CFakeWindowHost::Menu(EMenu menu) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_menus.find(menu);
    return it == m_menus.end() ? std::vector<SMenuEntry>{} : it->second;
}

bool CFakeWindowHost::MenuItemEnabled(int command) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_menuEnabled.find(command);
    return it == m_menuEnabled.end() || it->second;
}

bool CFakeWindowHost::TrayPresent() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_tray;
}

std::string CFakeWindowHost::TrayTip() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_trayTip;
}

int CFakeWindowHost::TrayImage() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_trayImage;
}

std::vector<std::vector<SMenuItem>> CFakeWindowHost::PopupMenus() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_popups;
}

std::vector<SCallerIdPopup> CFakeWindowHost::CallerIdPopups() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_callerIds;
}

std::vector<std::pair<EWindow, CMessage>> CFakeWindowHost::SentMessages() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sent;
}

std::vector<int> CFakeWindowHost::Waits() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_waits;
}

int CFakeWindowHost::WaitCursorDepth() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_waitCursor;
}
