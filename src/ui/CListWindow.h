// What the call log and phone book windows share: a resizable top-level window without a
// close box, a menu bar, and a report-style list that fills the window. The list reports the
// Delete and Insert keys, double-clicks (with or without a row, on or off the row's icon) and
// single clicks on a row's icon. Column fitting measures only the rows on screen and then
// sets the window's width by the list windows' rule.
#pragma once

#include "core/Messages.h"

#include <QTreeView>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CIdRowsModel;
class CListFilterModel;
class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;

// Posts a private message to the controller's queue.
using PostMessageFn = std::function<void(CMessage)>;
// Sends a menu command (WM_COMMAND id) to the controller at once.
using SendCommandFn = std::function<void(int)>;

class CListView : public QTreeView {
public:
    explicit CListView(QWidget* parent = nullptr);

    std::function<void()> onDeleteKey;
    std::function<void()> onInsertKey;
    std::function<void()> onEnterKey;
    // A double-click with the left button: the row hit (invalid when none) and whether the
    // click was on the row's icon.
    std::function<void(const QModelIndex&, bool onIcon)> onDoubleClick;
    // A single left-button click on a row's icon.
    std::function<void(const QModelIndex&)> onIconClick;

    // True when pos (viewport coordinates) lies on the icon of the row it hits.
    bool IsOnIcon(const QPoint& pos) const;
    // The rows on screen: first visible row and how many rows fit in a page.
    int FirstVisibleRow() const;
    int RowsPerPage() const;
    // The selected rows, in ascending order.
    std::vector<int> SelectedRows() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

class CListWindow : public QWidget {
public:
    // padFirst / padOther: what a column needs beyond its widest text (the first column also
    // holds the icon).
    CListWindow(const QString& title, int padFirst, int padOther, QWidget* parent);

    CListView* View() const { return m_view; }
    // The filter between the window's model and the list, its text field (Ctrl+F focuses it,
    // Escape empties it) and the row count beside it ("12 of 3,481" while filtering).
    CListFilterModel* Filter() const { return m_filter; }
    QLineEdit* FilterEdit() const { return m_filterEdit; }
    QLabel* RowCount() const { return m_rowCount; }
    // The pop-up menu of a row (right click, the menu key, Shift+F10).
    QMenu* RowMenu() const { return m_rowMenu; }
    // The ids of the selected rows, top to bottom.
    std::vector<std::uint64_t> SelectedIds() const;
    // Puts the numbers of the selected rows on the clipboard, one a line.
    void CopySelectedNumbers() const;
    // The model row a list index shows; -1 for none.
    int SourceRow(const QModelIndex& index) const;
    QMenuBar* MenuBar() const { return m_menuBar; }
    bool IsInitialised() const { return m_bInitialised; }

    // The width of a text in the list's font.
    int TextWidth(const QString& text) const;
    // The window width that shows columns of these summed widths: vertical scroll bar +
    // horizontal margin + the widths + 8.
    int WindowWidthFor(int columnWidths) const;

    // Sets every column to its heading's width plus its pad, widened to the widest cell of
    // the rows on screen, then resizes the window to fit the columns, keeping its height
    // (a maximised window keeps its size). With no rows nothing changes.
    void FitColumns();
    // Sets every column to its heading's width plus its pad and sizes the window to fit.
    void SetHeadingWidths();

    // "&Hide": asks the controller to hide the window (its View command), so the visibility
    // setting follows.
    virtual void OnHide() = 0;

protected:
    // Shows the model in the list through the filter; called once by the window's constructor.
    void SetSourceModel(CIdRowsModel* model);
    // Adds an action with a shortcut that works anywhere in the window.
    QAction* AddWindowAction(const QString& text, const char* objectName, const QKeySequence& shortcut);
    // The search field taking the focus prepares the filter.
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Closing the window with the window manager (Alt+F4, a close box) is "&Hide".
    void closeEvent(QCloseEvent* event) override;

    // Adds a menu-bar command with its id (kept in the action's data) and object name.
    QAction* AddCommand(QMenuBar* bar, const QString& text, int id, const char* objectName);
    // Measures the margins between window and list and sets the initialised flag; the
    // columns must exist already.
    void FinishInitialisation();
    // Resizes the window to fit the current column widths.
    void ResizeToColumns();

private:
    int Pad(int column) const { return column == 0 ? m_padFirst : m_padOther; }

    void UpdateRowCount();

    CListView* m_view = nullptr;
    QMenuBar* m_menuBar = nullptr;
    CListFilterModel* m_filter = nullptr;
    QLineEdit* m_filterEdit = nullptr;
    QLabel* m_rowCount = nullptr;
    QMenu* m_rowMenu = nullptr;
    int m_padFirst;
    int m_padOther;
    int m_nMarginX = 0; // window width minus list width (the list fills the window's height by layout)
    bool m_bInitialised = false;
};
