#include "ui/CCallLogModel.h"

#include "records/CCallLog.h"
#include "records/ListColumns.h"
#include "ui/CIcons.h"

#include <algorithm>

CCallLogModel::CCallLogModel(QObject* parent) : CIdRowsModel(parent) {
    m_icons[0] = CIcons::Icon(EIcon::CallInAnswered);
    m_icons[1] = CIcons::Icon(EIcon::CallOutAnswered);
    m_icons[2] = CIcons::Icon(EIcon::CallInMissed);
    m_icons[3] = CIcons::Icon(EIcon::CallOutUnanswered);
}

void CCallLogModel::SetCallLog(const CCallLog* callLog) {
    beginResetModel();
    m_callLog = callLog;
    m_ids.clear();
    endResetModel();
}

void CCallLogModel::Refill() {
    beginResetModel();
    m_ids.clear();
    if (m_callLog != nullptr) {
        const auto lock = m_callLog->Lock();
        m_ids.reserve(m_callLog->Records().size());
        for (const auto& record : m_callLog->Records()) {
            m_ids.push_back(record->m_id);
        }
    }
    endResetModel();
}

void CCallLogModel::AddRecord(std::uint64_t id) {
    if (m_callLog == nullptr || m_callLog->FindById(id) == nullptr || RowOf(id) >= 0) {
        return;
    }
    InsertId(0, id);
}

const CCallLogRecord* CCallLogModel::RecordAt(int row) const {
    const std::uint64_t id = IdAt(row);
    return id != 0 && m_callLog != nullptr ? m_callLog->FindById(id) : nullptr;
}

std::string CCallLogModel::CellText(const CCallLogRecord& record, int column) {
    return calllogcols::CellText(record, column);
}

int CCallLogModel::IconIndex(const CCallLogRecord& record) {
    return (record.m_bConnected ? 0 : 2) + (record.m_bOutgoing ? 1 : 0);
}

const char* CCallLogModel::Heading(int column) {
    return calllogcols::Heading(column);
}

std::string CCallLogModel::SearchText(std::uint64_t id) const {
    if (m_callLog == nullptr) {
        return {};
    }
    const auto lock = m_callLog->Lock();
    const CCallLogRecord* r = m_callLog->FindById(id);
    return r == nullptr ? std::string() : r->m_strName + "\n" + r->m_strNumber;
}

std::string CCallLogModel::NumberOf(std::uint64_t id) const {
    if (m_callLog == nullptr) {
        return {};
    }
    const auto lock = m_callLog->Lock();
    const CCallLogRecord* r = m_callLog->FindById(id);
    return r == nullptr ? std::string() : r->m_strNumber;
}

void CCallLogModel::InsertRecord(std::uint64_t id) {
    if (m_callLog == nullptr || RowOf(id) >= 0) {
        return;
    }
    const int index = m_callLog->IndexOf(id);
    if (index >= 0) {
        InsertId(std::min(index, rowCount()), id);
    }
}

int CCallLogModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColCount;
}

QVariant CCallLogModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    }
    if (role != Qt::DisplayRole && role != Qt::DecorationRole) {
        return {};
    }
    if (m_callLog == nullptr) {
        return {};
    }
    const auto lock = m_callLog->Lock();
    const CCallLogRecord* record = RecordAt(index.row());
    if (record == nullptr) {
        return {};
    }
    if (role == Qt::DecorationRole) {
        return index.column() == ColName ? QVariant(m_icons[static_cast<std::size_t>(IconIndex(*record))]) : QVariant();
    }
    return QString::fromStdString(CellText(*record, index.column()));
}

QVariant CCallLogModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= ColCount) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return QString::fromLatin1(Heading(section));
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    }
    return {};
}
