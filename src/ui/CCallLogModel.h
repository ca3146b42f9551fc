// The call log window's table: one row per record of the call log store, in the store's order
// (newest first). Rows are keyed by the records' stable ids, never by their addresses, so a
// row whose record the store has already freed is never read; its cells are simply empty
// until the controller's confirmation removes the row.
#pragma once

#include "ui/CIdRowsModel.h"

#include <QIcon>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class CCallLog;
class CCallLogRecord;

class CCallLogModel : public CIdRowsModel {
public:
    enum EColumn { ColName, ColNumber, ColTime, ColDuration, ColPort, ColCount };

    explicit CCallLogModel(QObject* parent = nullptr);

    // The store shown; nullptr shows nothing. Call Refill afterwards.
    void SetCallLog(const CCallLog* callLog);
    const CCallLog* CallLog() const { return m_callLog; }

    // Replaces all rows by the store's records, in store order, under the store's lock.
    void Refill();
    // A record was added to the store: it becomes the top row. Unknown ids are ignored.
    void AddRecord(std::uint64_t id);

    // The record of a row, or nullptr (no such row, or the store no longer has it).
    const CCallLogRecord* RecordAt(int row) const;

    // The text of one cell.
    static std::string CellText(const CCallLogRecord& record, int column);
    // Icon index: (answered ? 0 : 2) + (outgoing ? 1 : 0).
    static int IconIndex(const CCallLogRecord& record);
    static const char* Heading(int column);

    // Name and number.
    std::string SearchText(std::uint64_t id) const override;
    std::string NumberOf(std::uint64_t id) const override;
    // A record put back in the store: its row goes where the store has it. Unknown ids and
    // ids already shown are ignored.
    void InsertRecord(std::uint64_t id);

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    const CCallLog* m_callLog = nullptr;
    std::array<QIcon, 4> m_icons; // by IconIndex
};
