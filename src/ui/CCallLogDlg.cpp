#include "ui/CCallLogDlg.h"

#include "records/CCallLog.h"
#include "ui/CCallLogModel.h"

#include <QAction>
#include <QHeaderView>
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
    View()->setModel(m_model);
    View()->setProperty("controlId", kListId);

    connect(AddCommand(MenuBar(), QStringLiteral("To &Phone Book"), kIdToPhoneBook, "actionToPhoneBook"),
            &QAction::triggered, this, [this] { OnToPhoneBook(); });
    connect(AddCommand(MenuBar(), QStringLiteral("&Delete"), kIdDelete, "actionDelete"), &QAction::triggered, this,
            [this] { OnDelete(); });
    connect(AddCommand(MenuBar(), QStringLiteral("&Hide"), kIdHide, "actionHide"), &QAction::triggered, this,
            [this] { OnHide(); });

    View()->onDeleteKey = [this] { OnDelete(); };
    View()->onDoubleClick = [this](const QModelIndex& index, bool) {
        if (index.isValid()) {
            OnDoubleClickRow(index.row());
        }
    };

    SetHeadingWidths();
    FinishInitialisation();
    SetHeadingWidths(); // now that the margins are known, the window takes its width
}

CCallLogDlg::~CCallLogDlg() = default;

void CCallLogDlg::SetCallLog(const CCallLog* callLog) {
    m_model->SetCallLog(callLog);
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
    default:
        return false;
    }
}

void CCallLogDlg::OnDelete() {
    // One request for the whole selection, so the log is saved once; the rows stay until the
    // controller confirms.
    std::vector<std::uint64_t> ids;
    for (const int row : View()->SelectedRows()) {
        ids.push_back(m_model->IdAt(row));
    }
    if (!ids.empty()) {
        m_post(CMessage::WithKeys(WM_RV_LOG_DELETE_RECORD, std::move(ids)));
    }
}

void CCallLogDlg::OnToPhoneBook() {
    const std::vector<int> rows = View()->SelectedRows();
    if (rows.empty()) {
        return;
    }
    m_post(CMessage::WithKey(WM_RV_LOG_TO_PHONE_BOOK, m_model->IdAt(rows.front())));
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
