// The phone book store: the user's entries in memory, kept in last-name order and mirrored in
// one text file that is rewritten whole on every change.
//
// File: first line "PhoneBookVersion2", then one line of 14 quoted, comma-separated fields per
// entry (number, last name, first name, company, memo, last outgoing date or "0", last / total
// outgoing seconds, outgoing count, last incoming date or "0", last / total incoming seconds,
// incoming count, "0x%8.8X" flags), lines ending in CR LF. A file without that first line is
// read in the older layout (one field per line, flags line optional) and written in the
// current layout by the next save.
//
// Numbers: when an entry is filed (Add, loading) a number of 7 characters or fewer, the empty
// number included, gets the area code in front, unless it is shorter than 7 and already begins
// with the area code (what filing made of an empty or short number), so that stored numbers
// never grow. Lookups (Find and what uses it) work on a copy
// of the number: the area code in front when it has 7 characters or fewer, then a leading "1"
// dropped. Comparisons are exact.
//
// Ownership, ids and locking as in CRecordStore. Entries in the store are changed only through
// the store (Replace, RecordCall, ClearTotals), so that its order and its number index stay
// right: to edit an entry, copy it, change the copy and hand it to Replace.
#pragma once

#include "core/MessageBox.h"
#include "records/CPhoneBookEntry.h"
#include "records/CRecordStore.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

class CPhoneBook : public CRecordStore<CPhoneBook, CPhoneBookEntry, std::vector<std::unique_ptr<CPhoneBookEntry>>> {
public:
    // Sets the file name and area code and loads the file. Never fails: a missing file gives
    // an empty store that the first change creates; a file that exists but cannot be read
    // ("Unable to open phonebook file %s") or is no phone book (kNotStoreFormat) gives an
    // empty store that never writes it, said once through messageBox. Bad lines and lines
    // longer than 64 KiB are skipped. Text fields that are not valid UTF-8 are read as
    // Windows-1252. messageBox also shows "Unable to open phonebook file %s" when a save
    // fails; it may be empty.
    CPhoneBook(std::string fileName, std::string areaCode, MessageBoxFn messageBox = {});
    // Saves when something changed, then frees every entry.
    ~CPhoneBook();

    static constexpr const char* kNotStoreFormat = "The file %s is not a phone book; it is left unchanged.";

    // Writes every entry to m_strFileName (crash-safe: a temporary file renamed over the old
    // one). On failure shows "Unable to open phonebook file %s", leaves the old file whole,
    // keeps everything in memory and returns false. A refused file is never written (the
    // refusal is shown again). Double quotes are removed from the names, company and memo,
    // in the file and in memory. SaveChanges (from CRecordStore) saves only after a change.
    bool Save();
    // Save(fileName): the same after fileName replaces m_strFileName.
    using CRecordStore::Save;

    // Files the entry (ownership passes to the store): area code in front of a short number,
    // then inserted before the first entry whose last name is greater in strcmp order, so
    // equal last names keep the order they were added in. Returns the entry's 0-based index.
    // Saves (creating a file that does not exist yet). A null entry is ignored and gives -1.
    int Add(std::unique_ptr<CPhoneBookEntry> entry);

    // Re-files an edited entry: removes the entry with id oldId (if present) and adds
    // replacement in its sorted place, then saves once. Returns the
    // new entry's index, or -1 for a null replacement (then only the removal happens).
    int Replace(std::uint64_t oldId, std::unique_ptr<CPhoneBookEntry> replacement);

    // Several re-filings saved once: for each pair, the entry with id first (if any; 0 names
    // none) is removed and second (if not null) is filed in its sorted place, keeping its id,
    // statistics and flags. Entries that Take handed out are put back this way.
    void ReplaceAll(std::vector<std::pair<std::uint64_t, std::unique_ptr<CPhoneBookEntry>>> changes);

    // Sets or clears PBF_IGNORE of the listed entries (the other bits stay) and saves once.
    // Returns how many entries the store has of them.
    std::size_t SetIgnored(std::span<const std::uint64_t> ids, bool ignored);

    // The number as the store files it: the area code in front of a number of 7 characters or
    // fewer (unless it is shorter and begins with the area code already).
    std::string FiledNumber(const std::string& number) const { return StoringRule(number); }

    // A number to write in an export so that a book with the same area code files it again as
    // `filed`: the number itself, or for an extension completed with the area code (which
    // reads like a local number) the extension alone.
    std::string WrittenNumber(const std::string& filed) const;

    // The number as lookups compare it: the area code in front of a number of 7 characters
    // or fewer, then a leading "1" dropped.
    std::string LookupNumber(const std::string& number) const;

    // The first entry in list order whose number equals the number after the lookup rule, or
    // nullptr. The caller's string is not changed. Uses an index, not a scan.
    const CPhoneBookEntry* Find(const std::string& number) const;

    // The first entry in list order whose number as filed equals the number after the storing
    // rule (an entry filed with a leading "1", which Find never gives), or nullptr.
    const CPhoneBookEntry* FindFiled(const std::string& number) const;

    // True when Find gives an entry with PBF_IGNORE set.
    bool IsIgnored(const std::string& number) const;

    // Adds one call to the statistics of the entry Find gives: last time and duration, count
    // + 1, total + duration, the m_bHas... flag set, for the call's direction, and saves.
    // Returns the entry, or nullptr (and nothing changes) when no entry matched.
    const CPhoneBookEntry* RecordCall(const std::string& number, bool outgoing, std::int64_t timeStart,
                                      std::int32_t duration);

    // The display name of the entry Find gives ("First Last", recomputed), or
    // "Unknown caller" when there is none.
    std::string GetCallerName(const std::string& number);

    // Sets both totals and both counts of the entry to 0 (last calls stay). Does not save;
    // the next save writes it. Returns false when the store has no such entry.
    bool ClearTotals(std::uint64_t id);

    // The entries in store order (last name, then order of filing); hold Lock() while reading.
    // Remove, GetAt, GetCount, FindById and IndexOf come from CRecordStore.
    const std::vector<std::unique_ptr<CPhoneBookEntry>>& Entries() const { return m_list; }

private:
    friend CRecordStore;
    void LoadCurrentLayout(const std::vector<std::string_view>& lines);
    void LoadOlderLayout(const std::vector<std::string_view>& lines);
    static bool IsOlderLayout(const std::vector<std::string_view>& lines);
    std::string OpenFailureText() const;
    void LoadEntry(std::unique_ptr<CPhoneBookEntry> entry);
    int Insert(std::unique_ptr<CPhoneBookEntry> entry);
    std::unique_ptr<CPhoneBookEntry> Unlink(std::uint64_t id);
    CPhoneBookEntry* FindMutable(const std::string& number) const;
    std::size_t PositionOf(const CPhoneBookEntry* entry) const;
    void IndexNumber(CPhoneBookEntry* entry);
    void Unindex(CPhoneBookEntry* entry);
    void Refile();
    std::string StoringRule(std::string number) const;

    // m_list (the entries) is in list order: last name ascending (strcmp), then m_seq ascending.
    // Stored number -> every entry with that number, in list order (front = what Find gives).
    std::unordered_map<std::string, std::vector<CPhoneBookEntry*>> m_byNumber;
    std::uint64_t m_nextSeq = 0;
};
