#include "ui/CListFilterModel.h"

#include "core/Format.h"

#include <algorithm>

CListFilterModel::CListFilterModel(CIdRowsModel* source, QObject* parent)
    : QSortFilterProxyModel(parent), m_source(source) {
    setSourceModel(source);
    setDynamicSortFilter(false); // the source keeps the rows in order; the filter follows it
    connect(source, &QAbstractItemModel::modelReset, this, [this] { m_keys.clear(); });
    connect(source, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& first, const QModelIndex& last) { Forget(first, last); });
}

void CListFilterModel::Forget(const QModelIndex& first, const QModelIndex& last) {
    for (int row = first.row(); row <= last.row(); ++row) {
        m_keys.erase(m_source->IdAt(row));
    }
    if (!m_text.isEmpty()) {
        invalidateRowsFilter();
    }
}

std::string CListFilterModel::Fold(const std::string& text) {
    const bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; });
    if (ascii) {
        return LowerCase(text);
    }
    const QString decomposed = QString::fromUtf8(text).normalized(QString::NormalizationForm_KD);
    QString out;
    out.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        if (c.category() != QChar::Mark_NonSpacing) {
            out.append(c);
        }
    }
    return out.toCaseFolded().toStdString();
}

std::string CListFilterModel::NumberDigits(const QString& text) {
    std::string digits;
    for (const QChar c : text) {
        if (c.isDigit() && c.unicode() < 0x80) {
            digits.push_back(static_cast<char>(c.unicode()));
        } else if (!QStringLiteral(" ()-./+").contains(c)) {
            return {};
        }
    }
    return digits;
}

void CListFilterModel::SetFilterText(const QString& text) {
    if (text == m_text) {
        return;
    }
    m_text = text;
    m_words.clear();
    for (const QString& word : text.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        m_words.push_back(Fold(word.toStdString()));
    }
    m_digits = NumberDigits(text);
    invalidateRowsFilter();
}

void CListFilterModel::Prepare() {
    const int rows = m_source->rowCount();
    m_keys.reserve(static_cast<std::size_t>(rows));
    for (int row = 0; row < rows; ++row) {
        if (const std::uint64_t id = m_source->IdAt(row); id != 0) {
            KeyOf(id);
        }
    }
}

std::uint64_t CListFilterModel::IdAt(int row) const {
    return m_source->IdAt(SourceRow(row));
}

int CListFilterModel::SourceRow(int row) const {
    const QModelIndex source = mapToSource(index(row, 0));
    return source.isValid() ? source.row() : -1;
}

const CListFilterModel::SKey& CListFilterModel::KeyOf(std::uint64_t id) const {
    auto [it, fresh] = m_keys.try_emplace(id);
    if (fresh) {
        it->second.text = Fold(m_source->SearchText(id));
        it->second.number = m_source->NumberOf(id);
    }
    return it->second;
}

bool CListFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex& /*sourceParent*/) const {
    if (m_words.empty()) {
        return true;
    }
    const std::uint64_t id = m_source->IdAt(sourceRow);
    if (id == 0) {
        return false;
    }
    const SKey& key = KeyOf(id);
    if (!m_digits.empty()) {
        if (key.number.find(m_digits) != std::string::npos) {
            return true;
        }
        // "+1 408 ..." or "1-408-...": the number may be filed without the 1.
        if (m_digits.size() > 10 && m_digits.front() == '1' &&
            key.number.find(std::string_view(m_digits).substr(1)) != std::string::npos) {
            return true;
        }
    }
    return std::all_of(m_words.begin(), m_words.end(),
                       [&](const std::string& word) { return key.text.find(word) != std::string::npos; });
}
