#include "ui/CCallLogDlg.h"

#include "records/CCallLog.h"
#include "ui/CCallLogModel.h"
#include "ui/CCallStatsDlg.h"

#include "core/CWindowHost.h"
#include "records/CCallLogRecord.h"
#include "ui/CListFilterModel.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>

#include <algorithm>
#include <utility>

namespace {

// Padding of a column beyond its text: the name column also holds the icon.
constexpr int kPadName = 34;
constexpr int kPadOther = 16;

} // namespace

CCallLogDlg::CCallLogDlg(PostMessageFn post, SendCommandFn command, QWidget* parent)
    : CListWindow(QStringLiteral("Call Log"), kPadName, kPadOther, parent), m_model(new CCallLogModel(this)),
      m_post(std::move(post)), m_command(std::move(command)) {
    setObjectName(QStringLiteral("CallLogDlg"));
    SetSourceModel(m_model);
    View()->setProperty("controlId", kListId);

    QAction* toPhoneBook = AddCommand(MenuBar(), QStringLiteral("To &Phone Book"), kIdToPhoneBook, "actionToPhoneBook");
    connect(toPhoneBook, &QAction::triggered, this, [this] { OnToPhoneBook(); });
    QAction* remove = AddCommand(MenuBar(), QStringLiteral("&Delete"), kIdDelete, "actionDelete");
    connect(remove, &QAction::triggered, this, [this] { OnDelete(); });

    QMenu* file = MenuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("menuFile"));
    connect(file->addAction(QStringLiteral("&Export...")), &QAction::triggered, this,
            [this] { m_command(cmd::kCallLogExport); });
    file->actions().back()->setObjectName(QStringLiteral("actionExport"));
    connect(file->addAction(QStringLiteral("&Statistics...")), &QAction::triggered, this, [this] { OnStatistics(); });
    file->actions().back()->setObjectName(QStringLiteral("actionStatistics"));

    m_undo = AddWindowAction(QStringLiteral("&Undo Delete"), "actionUndo", QKeySequence::Undo);
    m_undo->setEnabled(false);
    connect(m_undo, &QAction::triggered, this, [this] { m_command(cmd::kUndoCallLogDelete); });
    QAction* callBack = AddWindowAction(QStringLiteral("Call &Back"), "actionCallBack", QKeySequence());
    connect(callBack, &QAction::triggered, this, [this] { OnCallBack(); });
    QAction* copy = AddWindowAction(QStringLiteral("&Copy Number"), "actionCopyNumber", QKeySequence::Copy);
    connect(copy, &QAction::triggered, this, [this] { OnCopyNumber(); });
    QAction* add = AddWindowAction(QStringLiteral("Add to &Phone Book..."), "actionAddToPhoneBook", QKeySequence());
    connect(add, &QAction::triggered, this, [this] { OnToPhoneBook(); });
    QAction* block =
        AddWindowAction(QStringLiteral("B&lock Caller"), "actionBlockCaller", QKeySequence(Qt::CTRL | Qt::Key_B));
    connect(block, &QAction::triggered, this, [this] { OnBlockCaller(); });
    QMenu* edit = MenuBar()->addMenu(QStringLiteral("&Edit"));
    edit->setObjectName(QStringLiteral("menuEdit"));
    edit->addActions({m_undo, callBack, copy, add, block});
    edit->insertSeparator(callBack);
    RowMenu()->addActions({callBack, copy, add, block});
    RowMenu()->addSeparator();
    RowMenu()->addAction(remove);
    View()->onEnterKey = [this] { OnCallBack(); };

    connect(AddCommand(MenuBar(), QStringLiteral("&Hide"), kIdHide, "actionHide"), &QAction::triggered, this,
            [this] { OnHide(); });

    View()->onDeleteKey = [this] { OnDelete(); };
    View()->onDoubleClick = [this](const QModelIndex& index, bool) {
        if (index.isValid()) {
            OnDoubleClickRow(SourceRow(index));
        }
    };

    SetHeadingWidths();
    FinishInitialisation();
    SetHeadingWidths(); // now that the margins are known, the window takes its width
}

CCallLogDlg::~CCallLogDlg() = default;

void CCallLogDlg::SetCallLog(const CCallLog* callLog) {
    m_model->SetCallLog(callLog);
    if (m_stats != nullptr) {
        m_stats->SetCallLog(callLog);
        m_stats->Refresh();
    }
}

CCallStatsDlg* CCallLogDlg::OnStatistics() {
    if (m_stats == nullptr) {
        m_stats = new CCallStatsDlg(this);
    }
    m_stats->SetCallLog(m_model->CallLog());
    m_stats->Refresh();
    m_stats->show();
    m_stats->raise();
    return m_stats;
}

void CCallLogDlg::Refill() {
    m_model->Refill();
    FitColumns();
}

bool CCallLogDlg::HandleMessage(const CMessage& msg) {
    switch (msg.id) {
    case WM_RV_LOG_ADD_RECORD:
        m_model->AddRecord(msg.key);
        FitColumns();
        return true;
    case WM_RV_LOG_DELETE_RECORD:
        m_model->RemoveIds(msg.Keys());
        FitColumns();
        return true;
    case WM_RV_RESTORED:
        Restore(msg.Keys());
        return true;
    case WM_RV_UNDO_AVAILABLE:
        m_undo->setEnabled(msg.wParam > 0);
        return true;
    default:
        return false;
    }
}

void CCallLogDlg::Restore(const std::vector<std::uint64_t>& ids) {
    // Each row goes where the store has its record: the higher rows first.
    std::vector<std::pair<int, std::uint64_t>> places;
    if (const CCallLog* callLog = m_model->CallLog()) {
        for (const std::uint64_t id : ids) {
            places.emplace_back(callLog->IndexOf(id), id);
        }
    }
    std::sort(places.begin(), places.end());
    for (const auto& [index, id] : places) {
        m_model->InsertRecord(id);
    }
    FitColumns();
}

void CCallLogDlg::OnDelete() {
    // One request for the whole selection, so the log is saved once; the rows stay until the
    // controller confirms.
    std::vector<std::uint64_t> ids = SelectedIds();
    if (!ids.empty()) {
        m_post(CMessage::WithKeys(WM_RV_LOG_DELETE_RECORD, std::move(ids)));
    }
}

void CCallLogDlg::OnToPhoneBook() {
    const std::vector<std::uint64_t> ids = SelectedIds();
    if (!ids.empty()) {
        m_post(CMessage::WithKey(WM_RV_LOG_TO_PHONE_BOOK, ids.front()));
    }
}

int CCallLogDlg::FirstSelectedRow() const {
    const std::vector<std::uint64_t> ids = SelectedIds();
    return ids.empty() ? -1 : m_model->RowOf(ids.front());
}

void CCallLogDlg::OnCallBack() {
    if (const int row = FirstSelectedRow(); row >= 0) {
        OnDoubleClickRow(row);
    }
}

void CCallLogDlg::OnCopyNumber() {
    CopySelectedNumbers();
}

void CCallLogDlg::OnBlockCaller() {
    const std::vector<std::uint64_t> ids = SelectedIds();
    if (!ids.empty() && !m_model->NumberOf(ids.front()).empty()) {
        m_post(CMessage::WithKey(WM_RV_LOG_BLOCK_CALLER, ids.front()));
    }
}

void CCallLogDlg::OnHide() {
    m_command(kIdViewCallLog);
}

void CCallLogDlg::OnDoubleClickRow(int row) {
    const CCallLog* callLog = m_model->CallLog();
    if (callLog == nullptr) {
        return;
    }
    const auto lock = callLog->Lock();
    const CCallLogRecord* record = m_model->RecordAt(row);
    if (record == nullptr) {
        return;
    }
    std::string number = record->m_strNumber;
    if (!number.empty() && number.front() == '1') {
        number.erase(0, 1);
    }
    m_post(CMessage::WithText(WM_RV_DIAL_NUMBER, std::move(number)));
}
