// The viewer's call log: the records that arrived from the network, newest at the top, in the
// columns and with the icons of the call log window. Kept in memory only (the program that
// owns the adapter keeps the file).
#pragma once

#include "net/NetModel.h"
#include "records/CCallLogRecord.h"

#include <QAbstractTableModel>

#include <cstddef>
#include <deque>

class CViewerLogModel : public QAbstractTableModel {
public:
    static constexpr std::size_t kMaxRows = 2000;

    explicit CViewerLogModel(QObject* parent = nullptr);

    // The record becomes the top row; beyond kMaxRows the oldest goes.
    void Add(const SNetLogRecord& record);
    const CCallLogRecord& RecordAt(int row) const { return m_records[static_cast<std::size_t>(row)]; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::deque<CCallLogRecord> m_records; // newest first
};
