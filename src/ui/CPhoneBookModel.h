// The phone book window's table: one row per entry of the phone book store, the columns the
// column mask selects (in bit order, "Name" always first), the rows in the order of the
// chosen sort column with name order as the tie-break. Rows are keyed by the entries' stable
// ids: a row whose entry the store has already freed is never read (its cells are empty and
// it sorts last) until the controller's confirmation removes it.
//
// Column bits: 0 Name, 1 Company, 2 Memo, 3 Number, 4 Flags, 5 Last Incoming, 6 its
// Duration, 7 incoming Count, 8 incoming Total, 9 Last Outgoing, 10 its Duration,
// 11 outgoing Count, 12 outgoing Total.
#pragma once

#include "ui/CIdRowsModel.h"

#include <QIcon>

#include <cstdint>
#include <string>
#include <vector>

class CPhoneBook;
class CPhoneBookEntry;

class CPhoneBookModel : public CIdRowsModel {
public:
    static constexpr int kBitCount = 13;

    explicit CPhoneBookModel(QObject* parent = nullptr);

    // The store shown (the model never owns it); all rows go. Call Fill afterwards.
    void SetPhoneBook(const CPhoneBook* phoneBook);
    const CPhoneBook* PhoneBook() const { return m_phoneBook; }

    // Builds the columns from the mask: "Name", then every set bit from 1 to 12. False when
    // the mask gives the columns there are already (nothing changes then).
    bool SetColumnMask(std::uint32_t mask);
    // The column bit of each visible column, left to right.
    const std::vector<int>& ColumnBits() const { return m_columnBits; }
    // The bit of the k-th visible column (k = 0 gives 0), or -1.
    int BitOfColumn(int column) const;
    // The visible column showing this bit, or -1.
    int ColumnOfBit(int bit) const;
    // The visible columns a mask gives.
    static std::vector<int> ColumnBitsFor(std::uint32_t mask);

    // The sort column, as a bit number; the rows are not re-sorted until Sort.
    void SetSortColumn(int bit) { m_sortBit = bit; }
    int SortColumn() const { return m_sortBit; }

    // Replaces the rows by the store's entries (under its lock), then sorts.
    void Fill();
    // Removes every row.
    void Clear();
    // Adds a row for the store's entry with this id at its sorted place. Unknown ids are
    // ignored; an id already shown is refreshed instead.
    void InsertEntry(std::uint64_t id);
    // Removes the row of this entry id; false when there is none.
    bool RemoveEntry(std::uint64_t id);
    // The entry's cells changed: repaints its row and sorts.
    void RefreshEntry(std::uint64_t id);
    // Puts the rows in the order of the sort column (stable; selection follows the rows).
    void Sort();

    // The entry of a row, or nullptr (no such row, or the store no longer has it).
    const CPhoneBookEntry* EntryAt(int row) const;

    // <0 when a goes before b in the order of the sort column (a bit number), 0 when they
    // are equal, >0 when b goes first.
    static int Compare(const CPhoneBookEntry& a, const CPhoneBookEntry& b, int bit);
    // The text of the cell of one column bit. The store answers "Flags".
    static std::string CellText(const CPhoneBook& phoneBook, const CPhoneBookEntry& entry, int bit);
    static const char* Heading(int bit);

    // Name, company, memo and number.
    std::string SearchText(std::uint64_t id) const override;
    std::string NumberOf(std::uint64_t id) const override;

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    // Row position at which an entry goes so that the rows stay sorted (after its equals).
    std::size_t SortedPosition(const CPhoneBookEntry& entry) const;
    // Strict order on possibly stale rows: live entries by Compare, stale ones last.
    bool RowLess(const CPhoneBookEntry* a, const CPhoneBookEntry* b) const;

    const CPhoneBook* m_phoneBook = nullptr;
    std::vector<int> m_columnBits{0, 3};
    int m_sortBit = 0;
    QIcon m_icon;
};
