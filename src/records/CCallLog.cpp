#include "records/CCallLog.h"

#include "core/Format.h"
#include "core/SafeFile.h"
#include "records/RecordText.h"

#include <algorithm>
#include <utility>

namespace {

constexpr std::string_view kHeader = "CallLogVersion2";
constexpr std::size_t kShortNumber = 7;
constexpr int kOlderLayoutLines = 6;
constexpr int kFields = 7;
const std::string kUnknownCaller = "Unknown caller";
const std::string kUnknownCallee = "Unknown callee";

// An outgoing call has a callee, never a caller.
void FixUnknownName(CCallLogRecord& r) {
    if (r.m_bOutgoing && r.m_strName == kUnknownCaller) {
        r.m_strName = kUnknownCallee;
    }
}

// Fields 1 to 6, the same in both layouts.
std::unique_ptr<CCallLogRecord> RecordFromFields(const std::string_view* f) {
    auto r = std::make_unique<CCallLogRecord>();
    r->m_strName = TextFromFile(f[0]);
    r->m_strNumber = std::string(f[1]);
    r->m_bOutgoing = ParseIntField(f[2]) != 0;
    r->m_bConnected = ParseIntField(f[3]) != 0;
    // A date that is not six sane integers leaves the loader's default start time.
    ParseLocalDate(f[4], r->m_timeStart);
    r->m_spanDuration = ParseIntField(f[5]);
    return r;
}

bool TooLong(std::string_view line) {
    return line.size() > kMaxStoreLineBytes;
}

} // namespace

CCallLog::CCallLog(std::string fileName, std::string areaCode, MessageBoxFn messageBox)
    : CRecordStore(std::move(fileName), std::move(areaCode), std::move(messageBox)) {
    LoadFile(kHeader);
}

CCallLog::~CCallLog() {
    SaveChanges();
}

std::string CCallLog::OpenFailureText() const {
    return StrFormat("Unable to open CallLog file %s", m_strFileName.c_str());
}

// The first record of the older layout: a name, a number of digits, two flags, a date and a
// duration.
bool CCallLog::IsOlderLayout(const std::vector<std::string_view>& lines) {
    return lines.size() >= static_cast<std::size_t>(kOlderLayoutLines) && IsDigits(lines[1]) &&
           IsIntegerField(lines[2]) && IsIntegerField(lines[3]) && IsDateField(lines[4]) && IsIntegerField(lines[5]);
}

// ---------------------------------------------------------------- loading

void CCallLog::LoadCurrentLayout(const std::vector<std::string_view>& lines) {
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::string_view rest = lines[i];
        std::string_view f[kFields];
        bool ok = true;
        for (int k = 0; k < kFields && ok; ++k) {
            ok = TakeQuotedField(rest, f[k]);
        }
        if (!ok || TooLong(lines[i])) {
            continue; // a damaged line: skip it, keep the rest of the file
        }
        auto r = RecordFromFields(f);
        r->m_nPort = ParseIntField(f[6]);
        Append(std::move(r));
    }
}

void CCallLog::LoadOlderLayout(const std::vector<std::string_view>& lines) {
    // Six lines per record and no port; an incomplete last record is dropped.
    for (std::size_t i = 0; i + kOlderLayoutLines <= lines.size(); i += kOlderLayoutLines) {
        const auto record = lines.begin() + static_cast<std::ptrdiff_t>(i);
        if (std::none_of(record, record + kOlderLayoutLines, TooLong)) {
            Append(RecordFromFields(&lines[i]));
        }
    }
}

// The file is newest first, so each record read goes to the tail.
void CCallLog::Append(std::unique_ptr<CCallLogRecord> record) {
    FixUnknownName(*record);
    record->m_seq = --m_tailSeq;
    m_byId[record->m_id] = record.get();
    m_list.push_back(std::move(record));
}

// ---------------------------------------------------------------- saving

bool CCallLog::Save() {
    auto lock = Lock();
    std::string out;
    out.reserve(32 + m_list.size() * 80);
    out.append(kHeader);
    out.append("\r\n");
    for (const auto& r : m_list) {
        // The record in memory keeps the cleaned text.
        CleanField(r->m_strName);
        CleanField(r->m_strNumber);
        out.push_back('"');
        out.append(r->m_strName);
        out.append("\",\"");
        out.append(r->m_strNumber);
        out.append("\",");
        AppendQuotedInt(out, r->m_bOutgoing ? 1 : 0);
        out.push_back(',');
        AppendQuotedInt(out, r->m_bConnected ? 1 : 0);
        out.append(",\"");
        if (!AppendLocalDate(out, r->m_timeStart)) {
            AppendLocalDate(out, 0);
        }
        out.append("\",");
        AppendQuotedInt(out, r->m_spanDuration);
        out.push_back(',');
        AppendQuotedInt(out, r->m_nPort);
        out.append("\r\n");
    }
    return WriteOut(out, OpenFailureText());
}

// ---------------------------------------------------------------- changes

int CCallLog::Add(std::unique_ptr<CCallLogRecord> record) {
    if (!record) {
        return -1;
    }
    {
        auto lock = Lock();
        const std::size_t len = record->m_strNumber.size();
        if (len >= 1 && len <= kShortNumber) {
            record->m_strNumber.insert(0, m_strAreaCode);
        }
        FixUnknownName(*record);
        record->m_seq = ++m_headSeq;
        if (m_list.empty()) {
            m_tailSeq = record->m_seq;
        }
        m_byId[record->m_id] = record.get();
        m_list.push_front(std::move(record));
        m_bDirty = true;
    }
    SaveChanges();
    return 0;
}

int CCallLog::Rename(const std::string& number, const std::string& name) {
    return RenameAll({{number, name}});
}

int CCallLog::RenameAll(const std::unordered_map<std::string, std::string>& names) {
    int renamed = 0;
    {
        auto lock = Lock();
        for (auto& r : m_list) {
            if (const auto found = names.find(r->m_strNumber); found != names.end()) {
                r->m_strName = found->second;
                FixUnknownName(*r);
                ++renamed;
            }
        }
        m_bDirty |= renamed > 0;
    }
    SaveChanges();
    return renamed;
}

void CCallLog::Restore(std::vector<std::unique_ptr<CCallLogRecord>> records) {
    bool restored = false;
    {
        auto lock = Lock();
        for (auto& record : records) {
            if (!record || m_byId.contains(record->m_id)) {
                continue;
            }
            const std::int64_t seq = record->m_seq;
            const auto it = std::lower_bound(m_list.begin(), m_list.end(), seq,
                                             [](const auto& r, std::int64_t s) { return r->m_seq > s; });
            m_headSeq = std::max(m_headSeq, seq);
            m_tailSeq = m_list.empty() ? seq : std::min(m_tailSeq, seq);
            m_byId[record->m_id] = record.get();
            m_list.insert(it, std::move(record));
            restored = true;
        }
        m_bDirty |= restored;
    }
    if (restored) {
        SaveChanges();
    }
}

// ---------------------------------------------------------------- reading the list

std::size_t CCallLog::PositionOf(const CCallLogRecord* record) const {
    // m_seq falls strictly from head to tail.
    const auto it = std::lower_bound(m_list.begin(), m_list.end(), record->m_seq,
                                     [](const auto& r, std::int64_t seq) { return r->m_seq > seq; });
    if (it != m_list.end() && it->get() == record) {
        return static_cast<std::size_t>(it - m_list.begin());
    }
    return m_list.size();
}
