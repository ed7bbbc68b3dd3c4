#pragma once

#include "records/CMS_DeviceData.h"
#include "records/StationItem.h"
#include "threads/CCritSect.h"
#include "threads/CCritSectLock.h"

#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <utility>
#include <vector>

// Records a list owns, in the order they were put in.
template <class T>
using RecordList = std::vector<std::unique_ptr<T>>;

// Every serialised field of `from` into `to`; what `to` keeps in memory only
// stays as it was.
template <class T>
bool assign_fields(T& to, const T& from)
{
    return to.AssignFrom(&from, 0);
}

inline bool assign_fields(StationItem& to, const StationItem& from)
{
    return to.CopyFrom(&from, 0);
}

// A copy out of a cache: the serialised fields, and the device's changed flag,
// which the cache itself sets.
template <class T>
bool copy_record(T& to, const T& from)
{
    return assign_fields(to, from);
}

inline bool copy_record(CMS_DeviceData& to, const CMS_DeviceData& from)
{
    if (!assign_fields(to, from))
        return false;
    to.SetChanged(from.Changed);
    return true;
}

// One cached list of a station connection with its own lock. Every operation
// takes the lock for its whole run; records go in and out as copies, so no
// caller ever holds a pointer into the cache.
template <class T>
class RecordCache
{
public:
    RecordCache() = default;
    RecordCache(const RecordCache&) = delete;
    RecordCache& operator=(const RecordCache&) = delete;

    // For loaders that fill the list themselves: hold Lock() while using Records().
    CCritSect& Lock() { return m_lock; }
    RecordList<T>& Records() { return m_records; }

    void Clear()
    {
        CCritSectLock lock(m_lock);
        m_records.clear();
    }

    int32_t Count()
    {
        CCritSectLock lock(m_lock);
        return static_cast<int32_t>(m_records.size());
    }

    // The first record that matches, copied into `out`.
    template <class Match>
    bool CopyFirst(Match match, T& out, int32_t* index)
    {
        CCritSectLock lock(m_lock);
        const int32_t at = IndexOfFirst(match);
        if (at < 0)
            return false;
        if (index != nullptr)
            *index = at;
        return copy_record(out, *m_records[static_cast<size_t>(at)]);
    }

    bool CopyAt(int32_t index, T& out)
    {
        CCritSectLock lock(m_lock);
        if (index < 0 || static_cast<size_t>(index) >= m_records.size())
            return false;
        return copy_record(out, *m_records[static_cast<size_t>(index)]);
    }

    // The keys in cache order as int32 into `buffer`; -1 without writing when
    // `size` bytes cannot hold them all.
    template <class KeyOf>
    int32_t CopyKeys(KeyOf keyOf, void* buffer, int32_t size)
    {
        CCritSectLock lock(m_lock);
        const int64_t count = static_cast<int64_t>(m_records.size());
        if (size < 4 * count || (count > 0 && buffer == nullptr))
            return -1;
        auto* out = static_cast<uint8_t*>(buffer);
        for (size_t i = 0; i < m_records.size(); ++i) {
            const int32_t key = keyOf(*m_records[i]);
            std::memcpy(out + 4 * i, &key, sizeof key);  // the caller's buffer may be unaligned
        }
        return static_cast<int32_t>(count);
    }

    // A copy goes before the first record with a greater key, so equal keys keep
    // their order of arrival. No duplicate check.
    template <class KeyOf>
    bool InsertByKey(const T& record, KeyOf keyOf, int32_t* index)
    {
        CCritSectLock lock(m_lock);
        std::unique_ptr<T> copy;
        try {
            copy = std::make_unique<T>(record);
            size_t at = 0;
            const int32_t key = keyOf(record);
            while (at < m_records.size() && keyOf(*m_records[at]) <= key)
                ++at;
            m_records.insert(m_records.begin() + static_cast<std::ptrdiff_t>(at), std::move(copy));
            if (index != nullptr)
                *index = static_cast<int32_t>(at);
            return true;
        } catch (const std::bad_alloc&) {
            return false;
        }
    }

    // The first record that matches takes every field of `record`; `before` sees
    // the cached record and the new one first. Nothing is added when none matches;
    // false also when the copy could not be made whole.
    template <class Match, class Before>
    bool AssignFirst(Match match, const T& record, int32_t* index, Before before)
    {
        CCritSectLock lock(m_lock);
        const int32_t at = IndexOfFirst(match);
        if (at < 0)
            return false;
        T& cached = *m_records[static_cast<size_t>(at)];
        before(cached, record);
        if (index != nullptr)
            *index = at;
        return assign_fields(cached, record);
    }

    // Runs `action` on the first record that matches; its result is the result.
    template <class Match, class Action>
    bool WithFirst(Match match, int32_t* index, Action action)
    {
        CCritSectLock lock(m_lock);
        const int32_t at = IndexOfFirst(match);
        if (at < 0)
            return false;
        if (index != nullptr)
            *index = at;
        return action(*m_records[static_cast<size_t>(at)]);
    }

    // Deletes the first record that matches and `keep` does not hold on to.
    template <class Match, class Keep>
    bool RemoveFirst(Match match, int32_t* index, Keep keep)
    {
        CCritSectLock lock(m_lock);
        const int32_t at = IndexOfFirst(match);
        if (at < 0)
            return false;
        if (index != nullptr)
            *index = at;
        if (!keep(*m_records[static_cast<size_t>(at)]))
            m_records.erase(m_records.begin() + at);
        return true;
    }

    template <class Match>
    bool RemoveFirst(Match match, int32_t* index)
    {
        return RemoveFirst(match, index, [](const T&) { return false; });
    }

    // Deletes every record that matches; the count deleted. `lastIndex` gets the
    // index the last deleted record had when it went, as if they went one by one.
    // One pass that closes the gaps, so a group of many objects does not hold the
    // lock for long; the records themselves are freed after the lock is left.
    template <class Match>
    int32_t RemoveAll(Match match, int32_t* lastIndex)
    {
        RecordList<T> removed;
        CCritSectLock lock(m_lock);
        size_t kept = 0;
        for (size_t i = 0; i < m_records.size(); ++i) {
            if (!match(*m_records[i])) {
                std::swap(m_records[kept++], m_records[i]);
                continue;
            }
            // The earlier deletions have moved it down to where the kept ones end.
            if (lastIndex != nullptr)
                *lastIndex = static_cast<int32_t>(kept);
        }
        const auto firstRemoved = m_records.begin() + static_cast<std::ptrdiff_t>(kept);
        const int32_t count = static_cast<int32_t>(m_records.end() - firstRemoved);
        try {
            removed.assign(std::make_move_iterator(firstRemoved), std::make_move_iterator(m_records.end()));
        } catch (const std::bad_alloc&) {
            // Freed under the lock instead.
        }
        m_records.erase(firstRemoved, m_records.end());
        return count;
    }

private:
    template <class Match>
    int32_t IndexOfFirst(Match match) const
    {
        for (size_t i = 0; i < m_records.size(); ++i)
            if (match(*m_records[i]))
                return static_cast<int32_t>(i);
        return -1;
    }

    CCritSect m_lock;
    RecordList<T> m_records;
};
