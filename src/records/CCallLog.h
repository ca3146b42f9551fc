// The call log store: one record per finished call, newest first, mirrored in one text file
// that is rewritten whole on every change.
//
// File: first line "CallLogVersion2", then one line of 7 quoted, comma-separated fields per
// record (name, number, outgoing 1/0, connected 1/0, start as local "y,m,d,h,m,s", duration
// seconds, port or -1), newest first, lines ending in CR LF. A file without that first line is
// read in the older layout (six lines per record, no port) and written in the current layout
// by the next save.
//
// Ownership: the store owns its records. Pointers it hands out are const and stay valid until
// the record is removed or the store is destroyed; window rows and messages key on
// CCallLogRecord::m_id.
//
// Locking: one recursive lock; every operation takes it. A reader that walks the records
// (Records, GetAt, GetCount) holds Lock() for the whole walk.
#pragma once

#include "core/MessageBox.h"
#include "records/CCallLogRecord.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

class CCallLog {
public:
    // Sets the file name and area code and loads the file. Never fails: a file that cannot be
    // opened gives an empty log with m_bLoaded false and no message. Bad lines are skipped.
    // messageBox shows "Unable to open CallLog file %s" when a save fails; it may be empty.
    CCallLog(std::string fileName, std::string areaCode, MessageBoxFn messageBox = {});
    // Saves, then frees every record.
    ~CCallLog();
    CCallLog(const CCallLog&) = delete;
    CCallLog& operator=(const CCallLog&) = delete;

    // Writes every record to m_strFileName, crash-safely. On failure shows
    // "Unable to open CallLog file %s", leaves the old file whole, keeps everything in memory
    // and returns false. Double quotes are removed from names, in the file and in memory.
    bool Save();
    // The same after fileName replaces m_strFileName.
    bool Save(const std::string& fileName);

    // Puts the record (ownership passes to the store) at the head of the list: a number of 1
    // to 7 characters gets the area code in front (an empty one stays empty), and an outgoing
    // record named "Unknown caller" is renamed "Unknown callee". Saves when m_bLoaded.
    // Returns 0 (-1 for a null record, which is ignored).
    int Add(std::unique_ptr<CCallLogRecord> record);

    // Removes and frees the record with this id if present, then saves in any case. Returns
    // true when a record was removed.
    bool Remove(std::uint64_t id);

    // Gives every record whose number equals number exactly the name (outgoing records get
    // "Unknown callee" for "Unknown caller"), then saves. Returns how many were renamed.
    int Rename(const std::string& number, const std::string& name);

    // --- Reading the list (hold Lock() while walking it) ---
    std::unique_lock<std::recursive_mutex> Lock() const { return std::unique_lock<std::recursive_mutex>(m_mutex); }
    const std::deque<std::unique_ptr<CCallLogRecord>>& Records() const { return m_records; }
    std::size_t GetCount() const;
    // The record at index (0 = newest), or nullptr when out of range.
    const CCallLogRecord* GetAt(std::size_t index) const;
    // The record with this id, or nullptr.
    const CCallLogRecord* FindById(std::uint64_t id) const;
    // The index of the record with this id, or -1.
    int IndexOf(std::uint64_t id) const;

    const std::string& GetFileName() const { return m_strFileName; }
    const std::string& GetAreaCode() const { return m_strAreaCode; }
    // True when the file was opened for reading at construction; only then does Add save.
    bool IsLoaded() const { return m_bLoaded; }

private:
    void Load();
    void LoadCurrentLayout(const std::vector<std::string_view>& lines);
    void LoadOlderLayout(const std::vector<std::string_view>& lines);
    void Append(std::unique_ptr<CCallLogRecord> record);
    std::size_t PositionOf(const CCallLogRecord* record) const;

    std::string m_strFileName;
    bool m_bLoaded = false;
    std::string m_strAreaCode;
    mutable std::recursive_mutex m_mutex;
    // Newest first; m_seq strictly decreasing along the list.
    std::deque<std::unique_ptr<CCallLogRecord>> m_records;
    std::unordered_map<std::uint64_t, CCallLogRecord*> m_byId;
    std::int64_t m_headSeq = 0; // m_seq of the head record
    std::int64_t m_tailSeq = 1; // m_seq of the tail record
    MessageBoxFn m_messageBox;
};
