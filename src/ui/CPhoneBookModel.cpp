#include "ui/CPhoneBookModel.h"

#include "records/CPhoneBook.h"
#include "records/ListColumns.h"
#include "ui/CIcons.h"

#include <algorithm>
#include <bit>
#include <numeric>

namespace {

// Strings compare byte by byte as unsigned characters, as strcmp does.
int CompareText(const std::string& a, const std::string& b) {
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int NameOrder(const CPhoneBookEntry& a, const CPhoneBookEntry& b) {
    const int c = CompareText(a.m_strLastName, b.m_strLastName);
    return c != 0 ? c : CompareText(a.m_strFirstName, b.m_strFirstName);
}

// Larger values first; equal ones in name order.
template <typename T> int LargerFirst(T a, T b, const CPhoneBookEntry& ea, const CPhoneBookEntry& eb) {
    if (a != b) {
        return a > b ? -1 : 1;
    }
    return NameOrder(ea, eb);
}

} // namespace

CPhoneBookModel::CPhoneBookModel(QObject* parent) : CIdRowsModel(parent), m_icon(CIcons::Icon(EIcon::PhoneBookEntry)) {}

void CPhoneBookModel::SetPhoneBook(const CPhoneBook* phoneBook) {
    beginResetModel();
    m_phoneBook = phoneBook;
    m_ids.clear();
    endResetModel();
}

std::vector<int> CPhoneBookModel::ColumnBitsFor(std::uint32_t mask) {
    return phonebookcols::ColumnBitsFor(mask);
}

bool CPhoneBookModel::SetColumnMask(std::uint32_t mask) {
    std::vector<int> bits = ColumnBitsFor(mask);
    if (bits == m_columnBits) {
        return false;
    }
    beginResetModel();
    m_columnBits = std::move(bits);
    endResetModel();
    return true;
}

int CPhoneBookModel::BitOfColumn(int column) const {
    return column >= 0 && column < static_cast<int>(m_columnBits.size())
               ? m_columnBits[static_cast<std::size_t>(column)]
               : -1;
}

int CPhoneBookModel::ColumnOfBit(int bit) const {
    const auto it = std::find(m_columnBits.begin(), m_columnBits.end(), bit);
    return it == m_columnBits.end() ? -1 : static_cast<int>(it - m_columnBits.begin());
}

void CPhoneBookModel::Fill() {
    beginResetModel();
    m_ids.clear();
    if (m_phoneBook != nullptr) {
        const auto lock = m_phoneBook->Lock();
        m_ids.reserve(m_phoneBook->Entries().size());
        for (const auto& entry : m_phoneBook->Entries()) {
            m_ids.push_back(entry->m_id);
        }
    }
    endResetModel();
    Sort();
}

void CPhoneBookModel::Clear() {
    beginResetModel();
    m_ids.clear();
    endResetModel();
}

bool CPhoneBookModel::RowLess(const CPhoneBookEntry* a, const CPhoneBookEntry* b) const {
    if (a == nullptr || b == nullptr) {
        return a != nullptr && b == nullptr;
    }
    return Compare(*a, *b, m_sortBit) < 0;
}

std::size_t CPhoneBookModel::SortedPosition(const CPhoneBookEntry& entry) const {
    // Upper bound: after every row that does not come after the entry.
    std::size_t low = 0;
    std::size_t high = m_ids.size();
    while (low < high) {
        const std::size_t mid = low + (high - low) / 2;
        if (RowLess(&entry, m_phoneBook->FindById(m_ids[mid]))) {
            high = mid;
        } else {
            low = mid + 1;
        }
    }
    return low;
}

void CPhoneBookModel::InsertEntry(std::uint64_t id) {
    if (m_phoneBook == nullptr) {
        return;
    }
    if (RowOf(id) >= 0) {
        RefreshEntry(id);
        return;
    }
    const auto lock = m_phoneBook->Lock();
    const CPhoneBookEntry* entry = m_phoneBook->FindById(id);
    if (entry == nullptr) {
        return;
    }
    const auto row = static_cast<int>(SortedPosition(*entry));
    InsertId(row, id);
}

bool CPhoneBookModel::RemoveEntry(std::uint64_t id) {
    return RemoveId(id);
}

void CPhoneBookModel::RefreshEntry(std::uint64_t id) {
    const int row = RowOf(id);
    if (row >= 0) {
        emit dataChanged(index(row, 0), index(row, columnCount() - 1));
    }
    Sort();
}

void CPhoneBookModel::Sort() {
    if (m_phoneBook == nullptr || m_ids.size() < 2) {
        return;
    }
    const auto lock = m_phoneBook->Lock();
    std::vector<const CPhoneBookEntry*> entries(m_ids.size());
    for (std::size_t i = 0; i < m_ids.size(); ++i) {
        entries[i] = m_phoneBook->FindById(m_ids[i]);
    }
    std::vector<int> order(m_ids.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return RowLess(entries[static_cast<std::size_t>(a)], entries[static_cast<std::size_t>(b)]);
    });
    bool changed = false;
    for (std::size_t i = 0; i < order.size() && !changed; ++i) {
        changed = order[i] != static_cast<int>(i);
    }
    if (!changed) {
        return;
    }
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<std::uint64_t> ids(m_ids.size());
    std::vector<int> newRowOf(m_ids.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        const auto old = static_cast<std::size_t>(order[i]);
        ids[i] = m_ids[old];
        newRowOf[old] = static_cast<int>(i);
    }
    m_ids = std::move(ids);
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& index : from) {
        to.append(this->index(newRowOf[static_cast<std::size_t>(index.row())], index.column()));
    }
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

const CPhoneBookEntry* CPhoneBookModel::EntryAt(int row) const {
    const std::uint64_t id = IdAt(row);
    return id != 0 && m_phoneBook != nullptr ? m_phoneBook->FindById(id) : nullptr;
}

int CPhoneBookModel::Compare(const CPhoneBookEntry& a, const CPhoneBookEntry& b, int bit) {
    switch (bit) {
    case 0:
        return NameOrder(a, b);
    case 1:
    case 2:
    case 3: {
        const auto field = bit == 1 ? &CPhoneBookEntry::m_strCompany
                                    : (bit == 2 ? &CPhoneBookEntry::m_strMemo : &CPhoneBookEntry::m_strNumber);
        const int c = CompareText(a.*field, b.*field);
        return c != 0 ? c : NameOrder(a, b);
    }
    case 4: {
        if (a.m_dwFlags == b.m_dwFlags) {
            return NameOrder(a, b);
        }
        // More set bits first (ignored callers first); the same number of bits: smaller word first.
        const int bitsA = std::popcount(a.m_dwFlags);
        const int bitsB = std::popcount(b.m_dwFlags);
        if (bitsA != bitsB) {
            return bitsA > bitsB ? -1 : 1;
        }
        return a.m_dwFlags < b.m_dwFlags ? -1 : 1;
    }
    default:
        break;
    }
    if (bit < 5 || bit > 12) {
        return 0;
    }
    const bool outgoing = bit >= 9;
    const phonebookcols::SCallStats sa = phonebookcols::CallStats(a, outgoing);
    const phonebookcols::SCallStats sb = phonebookcols::CallStats(b, outgoing);
    if (sa.has != sb.has) {
        return sa.has ? -1 : 1;
    }
    if (!sa.has) {
        return NameOrder(a, b);
    }
    switch ((bit - 5) % 4) {
    case 0:
        return LargerFirst(sa.last, sb.last, a, b); // the later time first
    case 1:
        return LargerFirst(sa.lastSpan, sb.lastSpan, a, b);
    case 2:
        return LargerFirst(sa.count, sb.count, a, b);
    default:
        return LargerFirst(sa.total, sb.total, a, b);
    }
}

std::string CPhoneBookModel::CellText(const CPhoneBook& phoneBook, const CPhoneBookEntry& entry, int bit) {
    return phonebookcols::CellText(phoneBook, entry, bit);
}

const char* CPhoneBookModel::Heading(int bit) {
    return phonebookcols::Heading(bit);
}

std::string CPhoneBookModel::SearchText(std::uint64_t id) const {
    if (m_phoneBook == nullptr) {
        return {};
    }
    const auto lock = m_phoneBook->Lock();
    const CPhoneBookEntry* e = m_phoneBook->FindById(id);
    return e == nullptr ? std::string()
                        : e->m_strFirstName + " " + e->m_strLastName + "\n" + e->m_strCompany + "\n" + e->m_strMemo +
                              "\n" + e->m_strNumber;
}

std::string CPhoneBookModel::NumberOf(std::uint64_t id) const {
    if (m_phoneBook == nullptr) {
        return {};
    }
    const auto lock = m_phoneBook->Lock();
    const CPhoneBookEntry* e = m_phoneBook->FindById(id);
    return e == nullptr ? std::string() : e->m_strNumber;
}

int CPhoneBookModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_columnBits.size());
}

QVariant CPhoneBookModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const int bit = BitOfColumn(index.column());
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::Alignment(bit == 0 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter));
    }
    if ((role != Qt::DisplayRole && role != Qt::DecorationRole) || m_phoneBook == nullptr) {
        return {};
    }
    const auto lock = m_phoneBook->Lock();
    const CPhoneBookEntry* entry = EntryAt(index.row());
    if (entry == nullptr) {
        return {};
    }
    if (role == Qt::DecorationRole) {
        return bit == 0 ? QVariant(m_icon) : QVariant();
    }
    return QString::fromStdString(CellText(*m_phoneBook, *entry, bit));
}

QVariant CPhoneBookModel::headerData(int section, Qt::Orientation orientation, int role) const {
    const int bit = BitOfColumn(section);
    if (orientation != Qt::Horizontal || bit < 0) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return QString::fromLatin1(Heading(bit));
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::Alignment(bit == 0 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter));
    }
    return {};
}
