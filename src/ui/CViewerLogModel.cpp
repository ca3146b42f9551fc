#include "ui/CViewerLogModel.h"

#include "ui/CCallLogModel.h"
#include "ui/CIcons.h"

CViewerLogModel::CViewerLogModel(QObject* parent) : QAbstractTableModel(parent) {}

void CViewerLogModel::Add(const SNetLogRecord& record) {
    beginInsertRows({}, 0, 0);
    m_records.emplace_front(record.name, record.number, record.outgoing, record.answered, record.start, record.duration,
                            record.port - 1);
    endInsertRows();
    if (m_records.size() > kMaxRows) {
        const int last = static_cast<int>(m_records.size()) - 1;
        beginRemoveRows({}, last, last);
        m_records.pop_back();
        endRemoveRows();
    }
}

int CViewerLogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_records.size());
}

int CViewerLogModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : CCallLogModel::ColCount;
}

QVariant CViewerLogModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const CCallLogRecord& record = RecordAt(index.row());
    if (role == Qt::DisplayRole) {
        return QString::fromStdString(CCallLogModel::CellText(record, index.column()));
    }
    if (role == Qt::DecorationRole && index.column() == CCallLogModel::ColName) {
        return CIcons::Icon(CIcons::CallLogIcon(record.m_bConnected, record.m_bOutgoing));
    }
    return {};
}

QVariant CViewerLogModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    return QString::fromLatin1(CCallLogModel::Heading(section));
}
