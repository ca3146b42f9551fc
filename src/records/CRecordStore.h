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

#include "core/MessageBox.h"
#include "core/SafeFile.h"
#include "records/RecordText.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

// Record: the stored type (with a const std::uint64_t m_id). List: a random-access container
// of std::unique_ptr<Record>. Derived provides std::size_t PositionOf(const Record*) const
// (the index of a member, or List size when it is not there), bool Save(), and
// LoadCurrentLayout / LoadOlderLayout(const std::vector<std::string_view>& lines); it may declare
// its own std::unique_ptr<Record> Unlink(std::uint64_t).
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

    // Removes and frees the member with this id if the store has it, then saves in any case.
    // Returns true when a member was removed.
    bool Remove(std::uint64_t id) {
        std::unique_ptr<Record> removed;
        {
            auto lock = Lock();
            removed = static_cast<Derived*>(this)->Unlink(id);
        }
        const bool found = removed != nullptr;
        removed.reset();
        static_cast<Derived*>(this)->Save();
        return found;
    }

    // Saves to fileName, which replaces the store's file name from now on.
    bool Save(const std::string& fileName) {
        auto lock = Lock();
        m_strFileName = fileName;
        return static_cast<Derived*>(this)->Save();
    }

    const std::string& GetFileName() const { return m_strFileName; }
    const std::string& GetAreaCode() const { return m_strAreaCode; }
    // True when the file was opened for reading at construction; only then does Add save.
    bool IsLoaded() const { return m_bLoaded; }

protected:
    CRecordStore(std::string fileName, std::string areaCode, MessageBoxFn messageBox)
        : m_strFileName(std::move(fileName)), m_strAreaCode(std::move(areaCode)), m_messageBox(std::move(messageBox)) {}
    ~CRecordStore() = default;

    // Reads the file: a first line equal to header means the current layout, anything else the
    // older one, read from the first line. A file that cannot be opened leaves the store
    // empty and m_bLoaded false; nothing is reported.
    void LoadFile(std::string_view header) {
        std::string data;
        int err = 0;
        if (!ReadWholeFile(m_strFileName, data, err)) {
            return;
        }
        const std::vector<std::string_view> lines = SplitStoreLines(data);
        m_byId.reserve(lines.size());
        if constexpr (requires { m_list.reserve(lines.size()); }) {
            m_list.reserve(lines.size());
        }
        if (!lines.empty()) {
            if (lines.front() == header) {
                static_cast<Derived*>(this)->LoadCurrentLayout(lines);
            } else {
                static_cast<Derived*>(this)->LoadOlderLayout(lines);
            }
        }
        m_bLoaded = true;
    }

    // Removes the member with this id from the list and the id index and hands it back;
    // nullptr when the store does not have it. A store with more indexes declares its own
    // Unlink, which Remove then calls.
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
    std::string m_strAreaCode;
    mutable std::recursive_mutex m_mutex;
    List m_list;
    std::unordered_map<std::uint64_t, Record*> m_byId;
    MessageBoxFn m_messageBox;
};
