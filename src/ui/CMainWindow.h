// The main window "Ringvale": four tile rows (select button, tile, select lamp, hold lamp),
// the keypad, the call, dial-up and call-waiting buttons, the activity list, the four-part
// status bar and the menu bar. It only shows and reports: every button, menu command, typed
// key, minimise/restore and the close box goes to the handlers, which the window host points
// at the controller.
#pragma once

#include "core/CWindowHost.h"

#include <QMainWindow>
#include <QStatusBar>

#include <array>
#include <functional>
#include <map>
#include <vector>

class CNoFocusButton;
class CTileCtrl;
class QAction;
class QLabel;
class QListWidget;
class QMenu;

// The status bar's four parts: connection state, current on-line time, total on-line time,
// new calls. The right edges of parts 0..2 lie at 36, 61 and 84 % of the width.
class CMainStatusBar : public QStatusBar {
    Q_OBJECT
public:
    static constexpr int kParts = 4;
    explicit CMainStatusBar(QWidget* parent = nullptr);

    void SetPartText(int part, const QString& text);
    QString PartText(int part) const;
    // Right edge of a part for a client width (integer arithmetic; part 3 reaches the edge).
    static int PartRight(int part, int width);
    QLabel* Part(int part) const { return m_parts[static_cast<std::size_t>(part)]; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Place();
    std::array<QLabel*, kParts> m_parts{};
};

class CMainWindow : public QMainWindow {
    Q_OBJECT
public:
    // The window-framework system commands the window reports when the user minimises or
    // restores it.
    static constexpr int kScMinimize = 0xF020;
    static constexpr int kScRestore = 0xF120;
    static constexpr int kMaxActivityLines = 200;

    struct SHandlers {
        std::function<void(int id)> command;       // buttons, menu items, Enter (1), Escape (2)
        std::function<bool(char c)> typedChar;     // 0-9, * and #; true when handled
        std::function<void(int sc)> sysCommand;    // the user minimised or restored the window
        std::function<void()> close;               // the close box
        std::function<void()> viewMenuAboutToShow; // check marks of "&View"
    };

    explicit CMainWindow(QWidget* parent = nullptr);

    void SetHandlers(SHandlers handlers) { m_handlers = std::move(handlers); }

    CTileCtrl* Tile(int tile) const { return m_tiles[static_cast<std::size_t>(tile)]; }
    // Any button by its control id (select buttons, lamps, keypad, call buttons, dial-up,
    // call waiting); null for an unknown id.
    CNoFocusButton* Button(int id) const;
    // The activity list, with every line appended so far in it.
    QListWidget* ActivityList();
    CMainStatusBar* StatusParts() const { return m_status; }
    QMenu* Menu(EMenu menu) const { return menu == EMenu::Internet ? m_internetMenu : m_viewMenu; }
    QMenu* PhoneBookMenu() const { return m_phoneBookMenu; }
    // Every menu-bar action carrying the command (a command may appear twice).
    std::vector<QAction*> Actions(int command) const;

    // Lines reach the list when the window thread is back in its event loop, all at once:
    // the command that follows a report goes to the adapter before the list is laid out, and
    // a burst of reports lays it out only once.
    void AppendActivityLine(const QString& line);
    int VisibleActivityLines() const;

    void SetSelectIndicator(int tile, bool selected);
    void SetHoldIndicator(int tile, bool lit);
    bool SelectIndicator(int tile) const { return m_selectOn[static_cast<std::size_t>(tile)]; }
    bool HoldIndicator(int tile) const { return m_holdLit[static_cast<std::size_t>(tile)]; }

    void EnableControl(int id, bool enable);
    void SetButtonCheck(int id, bool checked);
    void SetButtonImage(int id, int image);
    int ButtonImage(int id) const;

    void InsertMenuItem(EMenu menu, int position, int command, const QString& text, bool checked);
    void RemoveMenuItem(int command);
    void CheckMenuItem(int command, bool checked);
    void EnableMenuItem(int command, bool enable);

    // The program itself minimises, restores, hides or shows the window: no report follows.
    void MinimizeByProgram();
    void RestoreByProgram();
    void SetVisibleByProgram(bool visible);

    // After this the close box really closes the window (the program is ending).
    void AllowClose() { m_bAllowClose = true; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void BuildControls();
    void BuildMenus();
    QAction* AddCommand(QMenu* menu, const QString& text, int command, bool checkable = false);
    QAction* AddTopLevelCommand(const QString& text, int command);
    CNoFocusButton* MakeButton(int id, const QString& objectName);
    void OnAction(QAction* action);
    void Command(int id);

    SHandlers m_handlers;
    std::array<CTileCtrl*, 4> m_tiles{};
    std::map<int, CNoFocusButton*> m_buttons;
    std::map<int, int> m_buttonImages;
    std::array<bool, 4> m_selectOn{};
    std::array<bool, 4> m_holdLit{};
    QListWidget* m_activity = nullptr;
    QStringList m_pendingActivity;
    void FlushActivityLines();
    CMainStatusBar* m_status = nullptr;
    QMenu* m_phoneBookMenu = nullptr;
    QMenu* m_viewMenu = nullptr;
    QMenu* m_internetMenu = nullptr;
    bool m_bAllowClose = false;
    int m_nProgramChange = 0; // >0 while the program changes the window state itself
};
