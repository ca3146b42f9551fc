// What the phone book and the call log stores have in common: the file name, the area code,
// the loaded flag, the message-box function, the recursive lock, the owned list and the lookup
// of its members by id.
//
// Ownership: the store owns the objects in m_list. Pointers it hands out are const and stay
// valid until the object is removed or the store is destroyed; anything that outlives the
// current call (window rows, messages) keys on the object's m_id.
//
// Locking: every operation takes the recursive lock. A reader that walks the list (List,
// GetAt, GetCount) holds Lock() for the whole walk.
#pragma once

#include "core/Format.h"
#include "core/MessageBox.h"
#include "core/SafeFile.h"
#include "records/RecordText.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

// Record: the stored type (with a const std::uint64_t m_id). List: a random-access container
// of std::unique_ptr<Record>. Derived provides std::size_t PositionOf(const Record*) const
// (the index of a member, or List size when it is not there), bool Save(), LoadCurrentLayout /
// LoadOlderLayout(const std::vector<std::string_view>& lines), static bool
// IsOlderLayout(lines) (whether a file without the header reads as the older layout),
// std::string OpenFailureText() const (the message of a failed open) and kNotStoreFormat (the
// message for a file that is no store, with one %s for its path); it may declare
// void Unindex(Record*), which removal calls for a member about to leave the list.
template <typename Derived, typename Record, typename List> class CRecordStore {
public:
    CRecordStore(const CRecordStore&) = delete;
    CRecordStore& operator=(const CRecordStore&) = delete;

    std::unique_lock<std::recursive_mutex> Lock() const { return std::unique_lock<std::recursive_mutex>(m_mutex); }
    std::size_t GetCount() const {
        auto lock = Lock();
        return m_list.size();
    }
    // The member at index, or nullptr when out of range.
    const Record* GetAt(std::size_t index) const {
        auto lock = Lock();
        return index < m_list.size() ? m_list[index].get() : nullptr;
    }
    // The member with this id, or nullptr.
    const Record* FindById(std::uint64_t id) const {
        auto lock = Lock();
        const auto found = m_byId.find(id);
        return found == m_byId.end() ? nullptr : found->second;
    }
    // The index of the member with this id, or -1.
    int IndexOf(std::uint64_t id) const {
        auto lock = Lock();
        const auto found = m_byId.find(id);
        if (found == m_byId.end()) {
            return -1;
        }
        const std::size_t pos = static_cast<const Derived*>(this)->PositionOf(found->second);
        return pos < m_list.size() ? static_cast<int>(pos) : -1;
    }

    // Removes and frees the member with this id; saves when it was there. Returns true when a
    // member was removed.
    bool Remove(std::uint64_t id) { return Remove(std::span<const std::uint64_t>(&id, 1)) == 1; }

    // Removes and frees every member whose id is listed (ids the store does not have are
    // skipped), in one pass over the list, then saves once when any was removed. Returns how
    // many were removed.
    std::size_t Remove(std::span<const std::uint64_t> ids) { return Take(ids).size(); }

    // Removes every member whose id is listed, as Remove does (one pass, one save), but hands
    // them back in list order instead of freeing them, so that they can be put back.
    std::vector<std::unique_ptr<Record>> Take(std::span<const std::uint64_t> ids) {
        std::vector<std::unique_ptr<Record>> taken;
        {
            auto lock = Lock();
            std::unordered_set<const Record*> doomed;
            doomed.reserve(ids.size());
            for (const std::uint64_t id : ids) {
                const auto found = m_byId.find(id);
                if (found == m_byId.end()) {
                    continue;
                }
                if constexpr (requires(Derived & d, Record * r) { d.Unindex(r); }) {
                    static_cast<Derived*>(this)->Unindex(found->second);
                }
                doomed.insert(found->second);
                m_byId.erase(found);
            }
            if (!doomed.empty()) {
                taken.reserve(doomed.size());
                for (auto& member : m_list) {
                    if (doomed.contains(member.get())) {
                        taken.push_back(std::move(member));
                    }
                }
                m_list.erase(std::remove(m_list.begin(), m_list.end(), nullptr), m_list.end());
                m_bDirty = true;
            }
        }
        if (!taken.empty()) {
            SaveChanges();
        }
        return taken;
    }

    // Saves to fileName, which replaces the store's file name from now on.
    bool Save(const std::string& fileName) {
        auto lock = Lock();
        m_strFileName = fileName;
        return static_cast<Derived*>(this)->Save();
    }

    // Saves when something changed since the file was read or last saved, unless the store
    // refused its file. False only when a save was tried and failed.
    bool SaveChanges() {
        auto lock = Lock();
        return !m_bDirty || m_bRefused || static_cast<Derived*>(this)->Save();
    }

    const std::string& GetFileName() const { return m_strFileName; }
    const std::string& GetAreaCode() const { return m_strAreaCode; }
    // True when the file was read at construction (false for a file that does not exist yet,
    // which the first change creates, and for a refused one).
    bool IsLoaded() const { return m_bLoaded; }

protected:
    CRecordStore(std::string fileName, std::string areaCode, MessageBoxFn messageBox)
        : m_strFileName(std::move(fileName)), m_strAreaCode(std::move(areaCode)), m_messageBox(std::move(messageBox)) {}
    ~CRecordStore() = default;

    // Reads the file: a first line equal to header means the current layout; otherwise a file
    // whose first record reads as the older layout (Derived::IsOlderLayout) is read in that
    // layout and counts as changed, so the next save converts it. A file that does not exist
    // leaves the store empty and m_bLoaded false. Any other file (unreadable, not a regular
    // file, far too large, or not a store at all) is refused: the store stays empty, says so
    // once through the message box and never writes that file.
    void LoadFile(std::string_view header) {
        std::string data;
        int err = 0;
        if (!ReadWholeFile(m_strFileName, data, err, kMaxStoreFileBytes)) {
            if (err != ENOENT) {
                Refuse(err == EFBIG ? NotStoreText() : static_cast<Derived*>(this)->OpenFailureText());
            }
            return;
        }
        const std::vector<std::string_view> lines = SplitStoreLines(data);
        const bool blank = std::all_of(lines.begin(), lines.end(), [](std::string_view l) { return l.empty(); });
        if (!blank && lines.front() != header && !Derived::IsOlderLayout(lines)) {
            Refuse(NotStoreText());
            return;
        }
        m_byId.reserve(lines.size());
        if constexpr (requires { m_list.reserve(lines.size()); }) {
            m_list.reserve(lines.size());
        }
        if (!blank) {
            if (lines.front() == header) {
                static_cast<Derived*>(this)->LoadCurrentLayout(lines);
            } else {
                static_cast<Derived*>(this)->LoadOlderLayout(lines);
                m_bDirty = true;
            }
        }
        m_bLoaded = true;
    }

    // Writes the text of the whole store to its file (never to a refused one: then the
    // refusal is shown again). On success nothing is left unsaved.
    bool WriteOut(std::string_view text, const std::string& failureText) {
        if (m_bRefused) {
            if (m_messageBox) {
                m_messageBox(m_strRefusal);
            }
            return false;
        }
        if (!WriteStoreFile(m_strFileName, text, m_messageBox, failureText)) {
            return false;
        }
        m_bDirty = false;
        return true;
    }

    // Removes the member with this id from the list and the id index and hands it back;
    // nullptr when the store does not have it.
    std::unique_ptr<Record> Unlink(std::uint64_t id) {
        const auto found = m_byId.find(id);
        if (found == m_byId.end()) {
            return nullptr;
        }
        const std::size_t pos = static_cast<const Derived*>(this)->PositionOf(found->second);
        m_byId.erase(found);
        if (pos >= m_list.size()) {
            return nullptr;
        }
        std::unique_ptr<Record> owned = std::move(m_list[pos]);
        m_list.erase(m_list.begin() + static_cast<std::ptrdiff_t>(pos));
        return owned;
    }

    std::string m_strFileName;
    bool m_bLoaded = false;
    bool m_bRefused = false;
    bool m_bDirty = false;
    std::string m_strRefusal;
    std::string m_strAreaCode;
    mutable std::recursive_mutex m_mutex;
    List m_list;
    std::unordered_map<std::uint64_t, Record*> m_byId;
    MessageBoxFn m_messageBox;

private:
    std::string NotStoreText() const {
        return StrFormat(static_cast<const Derived*>(this)->kNotStoreFormat, m_strFileName.c_str());
    }
    void Refuse(std::string text) {
        m_bRefused = true;
        m_strRefusal = std::move(text);
        if (m_messageBox) {
            m_messageBox(m_strRefusal);
        }
    }
};
