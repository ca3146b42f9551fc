#include "ui/CIdRowsModel.h"

#include <algorithm>

std::uint64_t CIdRowsModel::IdAt(int row) const {
    return row >= 0 && row < static_cast<int>(m_ids.size()) ? m_ids[static_cast<std::size_t>(row)] : 0;
}

int CIdRowsModel::RowOf(std::uint64_t id) const {
    const auto it = std::find(m_ids.begin(), m_ids.end(), id);
    return it == m_ids.end() ? -1 : static_cast<int>(it - m_ids.begin());
}

int CIdRowsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_ids.size());
}

void CIdRowsModel::InsertId(int row, std::uint64_t id) {
    beginInsertRows(QModelIndex(), row, row);
    m_ids.insert(m_ids.begin() + row, id);
    endInsertRows();
}

bool CIdRowsModel::RemoveId(std::uint64_t id) {
    const int row = RowOf(id);
    if (row < 0) {
        return false;
    }
    beginRemoveRows(QModelIndex(), row, row);
    m_ids.erase(m_ids.begin() + row);
    endRemoveRows();
    return true;
}
