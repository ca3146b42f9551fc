#include "records/CPhoneBook.h"

#include "core/Format.h"
#include "core/SafeFile.h"
#include "records/RecordText.h"

#include <algorithm>
#include <utility>

namespace {

constexpr std::string_view kHeader = "PhoneBookVersion2";
constexpr std::size_t kShortNumber = 7;
constexpr int kOlderLayoutFields = 13;

// List order: last name in strcmp order, then the order the entries were filed in.
bool ListLess(const CPhoneBookEntry* a, const CPhoneBookEntry* b, std::uint64_t seqA, std::uint64_t seqB) {
    const int c = a->m_strLastName.compare(b->m_strLastName);
    return c < 0 || (c == 0 && seqA < seqB);
}

void AppendQuoted(std::string& out, std::string_view text) {
    out.push_back('"');
    out.append(text);
    out.push_back('"');
}

// A last-call date: the local calendar fields when the call is recorded, otherwise "0".
void AppendCallDate(std::string& out, bool has, std::int64_t t) {
    out.push_back('"');
    if (!has || !AppendLocalDate(out, t)) {
        out.push_back('0');
    }
    out.push_back('"');
}

// Fields 1 to 13 of an entry, the same in both layouts; the flag word is the caller's.
std::unique_ptr<CPhoneBookEntry> EntryFromFields(const std::string_view (&f)[kOlderLayoutFields]) {
    auto entry = std::make_unique<CPhoneBookEntry>(std::string(f[0]), TextFromFile(f[1]), TextFromFile(f[2]),
                                                   TextFromFile(f[3]), TextFromFile(f[4]));
    entry->m_bHasOutgoing = ParseLocalDate(f[5], entry->m_timeLastOutgoing);
    entry->m_spanLastOutgoing = ParseIntField(f[6]);
    entry->m_spanTotalOutgoing = ParseIntField(f[7]);
    entry->m_nOutgoingCalls = ParseIntField(f[8]);
    entry->m_bHasIncoming = ParseLocalDate(f[9], entry->m_timeLastIncoming);
    entry->m_spanLastIncoming = ParseIntField(f[10]);
    entry->m_spanTotalIncoming = ParseIntField(f[11]);
    entry->m_nIncomingCalls = ParseIntField(f[12]);
    return entry;
}

bool TooLong(std::string_view line) {
    return line.size() > kMaxStoreLineBytes;
}

} // namespace

CPhoneBook::CPhoneBook(std::string fileName, std::string areaCode, MessageBoxFn messageBox)
    : CRecordStore(std::move(fileName), std::move(areaCode), std::move(messageBox)) {
    LoadFile(kHeader);
}

CPhoneBook::~CPhoneBook() {
    SaveChanges();
}

std::string CPhoneBook::OpenFailureText() const {
    return StrFormat("Unable to open phonebook file %s", m_strFileName.c_str());
}

// The first record of the older layout: a number of digits, then names, company and memo,
// then two groups of a date ("0" or six integers) and three integers.
bool CPhoneBook::IsOlderLayout(const std::vector<std::string_view>& lines) {
    if (lines.size() < static_cast<std::size_t>(kOlderLayoutFields) || !IsDigits(lines[0])) {
        return false;
    }
    for (const std::size_t date : {5u, 9u}) {
        if (!IsDateField(lines[date])) {
            return false;
        }
    }
    for (const std::size_t number : {6u, 7u, 8u, 10u, 11u, 12u}) {
        if (!IsIntegerField(lines[number])) {
            return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------- loading

void CPhoneBook::LoadCurrentLayout(const std::vector<std::string_view>& lines) {
    m_byNumber.reserve(lines.size());
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::string_view rest = lines[i];
        std::string_view f[kOlderLayoutFields];
        std::string_view flags;
        bool ok = true;
        for (int k = 0; k < kOlderLayoutFields && ok; ++k) {
            ok = TakeQuotedField(rest, f[k]);
        }
        if (TooLong(lines[i]) || !ok || !TakeQuotedField(rest, flags)) {
            continue; // a damaged line: skip it, keep the rest of the file
        }
        auto entry = EntryFromFields(f);
        entry->m_dwFlags = ParseFlagsField(flags);
        LoadEntry(std::move(entry));
    }
}

void CPhoneBook::LoadOlderLayout(const std::vector<std::string_view>& lines) {
    std::size_t i = 0;
    while (i + kOlderLayoutFields <= lines.size()) {
        std::string_view f[kOlderLayoutFields];
        for (int k = 0; k < kOlderLayoutFields; ++k) {
            f[k] = lines[i + static_cast<std::size_t>(k)];
        }
        i += kOlderLayoutFields;
        auto entry = EntryFromFields(f);
        // An optional flags line; any other line is the number of the next entry.
        if (i < lines.size() && lines[i].starts_with("0x")) {
            entry->m_dwFlags = ParseFlagsField(lines[i]);
            ++i;
        }
        if (std::none_of(std::begin(f), std::end(f), TooLong)) {
            LoadEntry(std::move(entry));
        }
    }
    // Fewer than thirteen lines left: a partial entry, dropped.
}

// ---------------------------------------------------------------- saving

bool CPhoneBook::Save() {
    auto lock = Lock();
    // Clean what cannot be written: quotes would end a field early and an LF would split the
    // line. The entries in memory keep the cleaned text.
    bool moved = false;
    for (auto& e : m_list) {
        const bool lastChanged = CleanField(e->m_strLastName);
        const bool firstChanged = CleanField(e->m_strFirstName);
        CleanField(e->m_strCompany);
        CleanField(e->m_strMemo);
        const bool numberChanged = CleanField(e->m_strNumber);
        if (numberChanged) {
            e->m_strNumber = StoringRule(std::move(e->m_strNumber));
        }
        if (lastChanged || firstChanged) {
            e->GetName();
        }
        moved |= lastChanged || numberChanged;
    }
    if (moved) {
        Refile();
    }

    std::string out;
    out.reserve(32 + m_list.size() * 128);
    out.append(kHeader);
    out.append("\r\n");
    for (const auto& e : m_list) {
        for (const std::string* text :
             {&e->m_strNumber, &e->m_strLastName, &e->m_strFirstName, &e->m_strCompany, &e->m_strMemo}) {
            AppendQuoted(out, *text);
            out.push_back(',');
        }
        AppendCallDate(out, e->m_bHasOutgoing, e->m_timeLastOutgoing);
        for (const std::int32_t value : {e->m_spanLastOutgoing, e->m_spanTotalOutgoing, e->m_nOutgoingCalls}) {
            out.push_back(',');
            AppendQuotedInt(out, value);
        }
        out.push_back(',');
        AppendCallDate(out, e->m_bHasIncoming, e->m_timeLastIncoming);
        for (const std::int32_t value : {e->m_spanLastIncoming, e->m_spanTotalIncoming, e->m_nIncomingCalls}) {
            out.push_back(',');
            AppendQuotedInt(out, value);
        }
        out.append(",\"");
        AppendHex8(out, e->m_dwFlags);
        out.append("\"\r\n");
    }
    return WriteOut(out, OpenFailureText());
}

// Restores the list order and the number index after cleaning changed last names or numbers.
void CPhoneBook::Refile() {
    std::stable_sort(m_list.begin(), m_list.end(),
                     [](const auto& a, const auto& b) { return a->m_strLastName < b->m_strLastName; });
    m_byNumber.clear();
    m_nextSeq = 0;
    for (auto& e : m_list) {
        e->m_seq = ++m_nextSeq;
        m_byNumber[e->m_strNumber].push_back(e.get());
    }
}

// ---------------------------------------------------------------- changes

// A short number gets the area code in front, except one that already begins with it and is
// shorter than a local number: that is what the rule made of an empty or short number (or the
// entry dialog's area code with an empty number), and completing it again would make it grow
// at every start.
std::string CPhoneBook::StoringRule(std::string number) const {
    const bool completed = number.size() < kShortNumber && !m_strAreaCode.empty() && number.starts_with(m_strAreaCode);
    if (number.size() <= kShortNumber && !completed) {
        number.insert(0, m_strAreaCode);
    }
    return number;
}

std::string CPhoneBook::WrittenNumber(const std::string& filed) const {
    if (StoringRule(filed) == filed || !filed.starts_with(m_strAreaCode)) {
        return filed;
    }
    std::string extension = filed.substr(m_strAreaCode.size());
    return StoringRule(extension) == filed ? extension : filed;
}

// Files an entry read from the file (no save). A number completed or an entry out of order
// means the file differs from the store: it counts as changed.
void CPhoneBook::LoadEntry(std::unique_ptr<CPhoneBookEntry> entry) {
    std::string number = StoringRule(entry->m_strNumber);
    m_bDirty |= number != entry->m_strNumber;
    entry->m_strNumber = std::move(number);
    const auto count = static_cast<int>(m_list.size());
    m_bDirty |= Insert(std::move(entry)) != count;
}

int CPhoneBook::Insert(std::unique_ptr<CPhoneBookEntry> entry) {
    entry->GetName();
    entry->m_seq = ++m_nextSeq;
    // Before the first entry whose last name is greater: after every equal one.
    const auto it = std::upper_bound(m_list.begin(), m_list.end(), entry->m_strLastName,
                                     [](const std::string& last, const auto& e) { return last < e->m_strLastName; });
    const auto index = static_cast<int>(it - m_list.begin());
    CPhoneBookEntry* raw = entry.get();
    m_list.insert(it, std::move(entry));
    m_byId[raw->m_id] = raw;
    IndexNumber(raw);
    return index;
}

void CPhoneBook::IndexNumber(CPhoneBookEntry* entry) {
    auto& bucket = m_byNumber[entry->m_strNumber];
    const auto it = std::upper_bound(bucket.begin(), bucket.end(), entry,
                                     [](const auto* a, const auto* b) { return ListLess(a, b, a->m_seq, b->m_seq); });
    bucket.insert(it, entry);
}

void CPhoneBook::Unindex(CPhoneBookEntry* entry) {
    const auto found = m_byNumber.find(entry->m_strNumber);
    if (found == m_byNumber.end()) {
        return;
    }
    std::erase(found->second, entry);
    if (found->second.empty()) {
        m_byNumber.erase(found);
    }
}

std::size_t CPhoneBook::PositionOf(const CPhoneBookEntry* entry) const {
    const auto it = std::lower_bound(m_list.begin(), m_list.end(), entry, [](const auto& e, const auto* key) {
        return ListLess(e.get(), key, e->m_seq, key->m_seq);
    });
    if (it != m_list.end() && it->get() == entry) {
        return static_cast<std::size_t>(it - m_list.begin());
    }
    // Only reached when the order was broken behind the store's back.
    for (std::size_t i = 0; i < m_list.size(); ++i) {
        if (m_list[i].get() == entry) {
            return i;
        }
    }
    return m_list.size();
}

std::unique_ptr<CPhoneBookEntry> CPhoneBook::Unlink(std::uint64_t id) {
    std::unique_ptr<CPhoneBookEntry> owned = CRecordStore::Unlink(id);
    if (owned) {
        Unindex(owned.get());
    }
    return owned;
}

int CPhoneBook::Add(std::unique_ptr<CPhoneBookEntry> entry) {
    if (!entry) {
        return -1;
    }
    int index = 0;
    {
        auto lock = Lock();
        entry->m_strNumber = StoringRule(std::move(entry->m_strNumber));
        index = Insert(std::move(entry));
        m_bDirty = true;
    }
    SaveChanges();
    return index;
}

int CPhoneBook::Replace(std::uint64_t oldId, std::unique_ptr<CPhoneBookEntry> replacement) {
    int index = -1;
    {
        auto lock = Lock();
        Unlink(oldId);
        if (replacement) {
            replacement->m_strNumber = StoringRule(std::move(replacement->m_strNumber));
            index = Insert(std::move(replacement));
        }
        m_bDirty = true;
    }
    SaveChanges();
    return index;
}

void CPhoneBook::ReplaceAll(std::vector<std::pair<std::uint64_t, std::unique_ptr<CPhoneBookEntry>>> changes) {
    {
        auto lock = Lock();
        for (auto& [oldId, replacement] : changes) {
            if (oldId != 0) {
                Unlink(oldId);
            }
            if (replacement) {
                replacement->m_strNumber = StoringRule(std::move(replacement->m_strNumber));
                Insert(std::move(replacement));
            }
        }
        m_bDirty |= !changes.empty();
    }
    SaveChanges();
}

std::size_t CPhoneBook::SetIgnored(std::span<const std::uint64_t> ids, bool ignored) {
    std::size_t found = 0;
    {
        auto lock = Lock();
        for (const std::uint64_t id : ids) {
            const auto it = m_byId.find(id);
            if (it == m_byId.end()) {
                continue;
            }
            std::uint32_t& flags = it->second->m_dwFlags;
            flags = ignored ? (flags | PBF_IGNORE) : (flags & ~PBF_IGNORE);
            ++found;
        }
        m_bDirty |= found > 0;
    }
    SaveChanges();
    return found;
}

bool CPhoneBook::ClearTotals(std::uint64_t id) {
    auto lock = Lock();
    const auto found = m_byId.find(id);
    if (found == m_byId.end()) {
        return false;
    }
    CPhoneBookEntry* e = found->second;
    e->m_spanTotalOutgoing = 0;
    e->m_spanTotalIncoming = 0;
    e->m_nOutgoingCalls = 0;
    e->m_nIncomingCalls = 0;
    m_bDirty = true;
    return true;
}

// ---------------------------------------------------------------- lookups

std::string CPhoneBook::LookupNumber(const std::string& number) const {
    std::string key = number;
    if (key.size() <= kShortNumber) {
        key.insert(0, m_strAreaCode);
    }
    if (!key.empty() && key.front() == '1') {
        key.erase(0, 1);
    }
    return key;
}

CPhoneBookEntry* CPhoneBook::FindMutable(const std::string& number) const {
    const std::string key = LookupNumber(number);
    auto lock = Lock();
    const auto found = m_byNumber.find(key);
    return found == m_byNumber.end() ? nullptr : found->second.front();
}

const CPhoneBookEntry* CPhoneBook::Find(const std::string& number) const {
    return FindMutable(number);
}

const CPhoneBookEntry* CPhoneBook::FindFiled(const std::string& number) const {
    auto lock = Lock();
    const auto found = m_byNumber.find(StoringRule(number));
    return found == m_byNumber.end() ? nullptr : found->second.front();
}

bool CPhoneBook::IsIgnored(const std::string& number) const {
    auto lock = Lock();
    const CPhoneBookEntry* e = Find(number);
    return e != nullptr && (e->m_dwFlags & PBF_IGNORE) != 0;
}

const CPhoneBookEntry* CPhoneBook::RecordCall(const std::string& number, bool outgoing, std::int64_t timeStart,
                                              std::int32_t duration) {
    CPhoneBookEntry* e = nullptr;
    {
        auto lock = Lock();
        e = FindMutable(number);
        if (e != nullptr) {
            if (outgoing) {
                e->m_timeLastOutgoing = timeStart;
                e->m_spanLastOutgoing = duration;
                e->m_nOutgoingCalls = SaturatingAdd(e->m_nOutgoingCalls, 1);
                e->m_spanTotalOutgoing = SaturatingAdd(e->m_spanTotalOutgoing, duration);
                e->m_bHasOutgoing = true;
            } else {
                e->m_timeLastIncoming = timeStart;
                e->m_spanLastIncoming = duration;
                e->m_nIncomingCalls = SaturatingAdd(e->m_nIncomingCalls, 1);
                e->m_spanTotalIncoming = SaturatingAdd(e->m_spanTotalIncoming, duration);
                e->m_bHasIncoming = true;
            }
            m_bDirty = true;
        }
    }
    SaveChanges();
    return e;
}

std::string CPhoneBook::GetCallerName(const std::string& number) {
    auto lock = Lock();
    CPhoneBookEntry* e = FindMutable(number);
    return e != nullptr ? e->GetName() : std::string("Unknown caller");
}
