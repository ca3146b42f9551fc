// The filter above a list window's rows: it keeps the rows whose search text (name, number,
// company, memo) holds every word typed, ignoring case and accents, and the rows whose
// number holds the digits typed in any common notation ("555 1212", "(408) 555-1212",
// "+1 408 555 1212"). A proxy over the window's own model: it keeps the model's order and
// copies no rows; the folded search text of each row is kept by the row's id until the row
// changes.
#pragma once

#include "ui/CIdRowsModel.h"

#include <QSortFilterProxyModel>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

class CListFilterModel : public QSortFilterProxyModel {
public:
    explicit CListFilterModel(CIdRowsModel* source, QObject* parent = nullptr);

    // Filters the rows by text; an empty text shows every row.
    void SetFilterText(const QString& text);
    const QString& FilterText() const { return m_text; }

    // Folds the search text of every row now (when the search field takes the focus), so
    // that the first keystroke does not pay for it.
    void Prepare();

    // The id of the source row a view row shows; 0 for none.
    std::uint64_t IdAt(int row) const;
    // The source row a view row shows; -1 for none.
    int SourceRow(int row) const;

    // Lower case without accents, in UTF-8: what a search compares.
    static std::string Fold(const std::string& text);
    // The digits of a text that is a telephone number in some notation (digits, blanks and
    // "()-./+" only, at least one digit); empty for any other text.
    static std::string NumberDigits(const QString& text);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    struct SKey {
        std::string text;   // folded search text
        std::string number; // the row's number
    };
    const SKey& KeyOf(std::uint64_t id) const;
    void Forget(const QModelIndex& first, const QModelIndex& last);

    CIdRowsModel* m_source;
    QString m_text;
    std::vector<std::string> m_words; // folded
    std::string m_digits;             // when the text is a number
    mutable std::unordered_map<std::uint64_t, SKey> m_keys;
};
