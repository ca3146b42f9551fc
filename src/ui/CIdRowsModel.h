// A table model whose rows are the stable ids of store records, in row order. The list
// windows' models derive from it: rows never hold a record's address, so a row whose record
// the store has already freed is never read.
#pragma once

#include <QAbstractTableModel>

#include <cstdint>
#include <string>
#include <vector>

class CIdRowsModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    // The id of a row, 0 when there is no such row.
    std::uint64_t IdAt(int row) const;
    // The row of an id, -1 when none shows it.
    int RowOf(std::uint64_t id) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;

    // What a search looks in for the row of this id (its texts, separated by line breaks) and
    // its number; empty when the store no longer has it.
    virtual std::string SearchText(std::uint64_t id) const = 0;
    virtual std::string NumberOf(std::uint64_t id) const = 0;

    // Removes the rows of these ids (ids no row shows are skipped), one block of neighbouring
    // rows at a time from the bottom up, and returns how many rows went.
    std::size_t RemoveIds(const std::vector<std::uint64_t>& ids);

protected:
    void InsertId(int row, std::uint64_t id);
    // Removes the row of the id; false when there is none.
    bool RemoveId(std::uint64_t id);

    std::vector<std::uint64_t> m_ids; // row order
};
