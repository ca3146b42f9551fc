// The call log store: one record per finished call, newest first, mirrored in one text file
// that is rewritten whole on every change.
//
// File: first line "CallLogVersion2", then one line of 7 quoted, comma-separated fields per
// record (name, number, outgoing 1/0, connected 1/0, start as local "y,m,d,h,m,s", duration
// seconds, port or -1), newest first, lines ending in CR LF. A file without that first line is
// read in the older layout (six lines per record, no port) and written in the current layout
// by the next save.
//
// Ownership, ids and locking as in CRecordStore.
#pragma once

#include "core/MessageBox.h"
#include "records/CCallLogRecord.h"
#include "records/CRecordStore.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

class CCallLog : public CRecordStore<CCallLog, CCallLogRecord, std::deque<std::unique_ptr<CCallLogRecord>>> {
public:
    // Sets the file name and area code and loads the file. Never fails: a missing file gives
    // an empty log that the first change creates; a file that exists but cannot be read
    // ("Unable to open CallLog file %s") or is no call log (kNotStoreFormat) gives an empty
    // log that never writes it, said once through messageBox. Bad lines and lines longer
    // than 64 KiB are skipped; names that are not valid UTF-8 are read as Windows-1252.
    // messageBox also shows "Unable to open CallLog file %s" when a save fails; it may be
    // empty.
    CCallLog(std::string fileName, std::string areaCode, MessageBoxFn messageBox = {});
    // Saves when something changed, then frees every record.
    ~CCallLog();

    static constexpr const char* kNotStoreFormat = "The file %s is not a call log; it is left unchanged.";

    // Writes every record to m_strFileName, crash-safely. On failure shows
    // "Unable to open CallLog file %s", leaves the old file whole, keeps everything in memory
    // and returns false; a refused file is never written. Double quotes are removed from
    // names, in the file and in memory.
    bool Save();
    // Save(fileName): the same after fileName replaces m_strFileName.
    using CRecordStore::Save;

    // Puts the record (ownership passes to the store) at the head of the list: a number of 1
    // to 7 characters gets the area code in front (an empty one stays empty), and an outgoing
    // record named "Unknown caller" is renamed "Unknown callee". Saves.
    // Returns 0 (-1 for a null record, which is ignored).
    int Add(std::unique_ptr<CCallLogRecord> record);

    // Gives every record whose number equals number exactly the name (outgoing records get
    // "Unknown callee" for "Unknown caller") and saves when any was. Returns how many were
    // renamed.
    int Rename(const std::string& number, const std::string& name);

    // Rename for many numbers at once (number -> name), in one pass, saved once. Returns how
    // many records were renamed.
    int RenameAll(const std::unordered_map<std::string, std::string>& names);

    // Puts records that Take handed out back at the places they had, among the records added
    // since; saves once. Null records and records the store holds already are ignored.
    void Restore(std::vector<std::unique_ptr<CCallLogRecord>> records);

    // The records, newest first; hold Lock() while reading. Remove, GetAt (0 = newest),
    // GetCount, FindById and IndexOf come from CRecordStore.
    const std::deque<std::unique_ptr<CCallLogRecord>>& Records() const { return m_list; }

private:
    friend CRecordStore;
    void LoadCurrentLayout(const std::vector<std::string_view>& lines);
    void LoadOlderLayout(const std::vector<std::string_view>& lines);
    static bool IsOlderLayout(const std::vector<std::string_view>& lines);
    std::string OpenFailureText() const;
    void Append(std::unique_ptr<CCallLogRecord> record);
    std::size_t PositionOf(const CCallLogRecord* record) const;

    // m_list (the records) is newest first; m_seq falls strictly from head to tail.
    std::int64_t m_headSeq = 0; // m_seq of the head record
    std::int64_t m_tailSeq = 1; // m_seq of the tail record
};
