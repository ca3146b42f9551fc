#include "ui/CIdRowsModel.h"

#include <algorithm>
#include <unordered_set>

namespace {
constexpr std::size_t kMaxRemovedBlocks = 64;
}

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
    return RemoveIds({id}) == 1;
}

std::size_t CIdRowsModel::RemoveIds(const std::vector<std::uint64_t>& ids) {
    const std::unordered_set<std::uint64_t> doomed(ids.begin(), ids.end());
    // Many separate blocks: every removal moves the rows below it and every index the views
    // keep, so one reset of the whole list is cheaper.
    std::size_t blocks = 0;
    for (std::size_t row = 0; row < m_ids.size(); ++row) {
        blocks += doomed.contains(m_ids[row]) && (row == 0 || !doomed.contains(m_ids[row - 1])) ? 1 : 0;
    }
    if (blocks > kMaxRemovedBlocks) {
        beginResetModel();
        const std::size_t before = m_ids.size();
        std::erase_if(m_ids, [&](std::uint64_t id) { return doomed.contains(id); });
        endResetModel();
        return before - m_ids.size();
    }
    std::size_t removed = 0;
    for (int last = static_cast<int>(m_ids.size()) - 1; last >= 0; --last) {
        if (!doomed.contains(m_ids[static_cast<std::size_t>(last)])) {
            continue;
        }
        int first = last;
        while (first > 0 && doomed.contains(m_ids[static_cast<std::size_t>(first - 1)])) {
            --first;
        }
        beginRemoveRows(QModelIndex(), first, last);
        m_ids.erase(m_ids.begin() + first, m_ids.begin() + last + 1);
        endRemoveRows();
        removed += static_cast<std::size_t>(last - first + 1);
        last = first;
    }
    return removed;
}
