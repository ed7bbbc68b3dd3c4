#pragma once

#include "platform/Thread.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

// The exported interface's table of instances: a handle is an instance's index.
// Every call that works on an instance holds it through a Hold, so Clear never
// deletes an instance under a thread that is still inside it: Clear empties the
// table at once (later lookups fail), asks each instance to shut down (which must
// make its blocking calls return soon), waits until no Hold is left on it and
// deletes it.
//
// Clear called on an instance's own thread (the host finalising from its
// callback) cannot delete that instance, whose thread would return into freed
// memory: the instance is set aside and deleted once, by the first of its own
// thread's end, the next Clear and the table's destruction. Its thread is
// always joined by a later Clear or the destruction, so no thread of an
// instance outlives the table.
//
// T needs Shutdown(), callable while other threads use it, after which its
// thread ends soon; and IsOwnThread(), SetEndAction() and TakeThread() as
// CThreadSock has them.
template <class T>
class HandleTable
{
    struct Slot
    {
        std::unique_ptr<T> instance;
        int holds = 0;
    };

public:
    // An instance held for the length of one call; empty when the handle was bad.
    class Hold
    {
    public:
        Hold() = default;
        Hold(Hold&& other) noexcept : m_table(other.m_table), m_slot(std::move(other.m_slot))
        {
            other.m_table = nullptr;
        }
        Hold& operator=(Hold&& other) noexcept
        {
            if (this != &other) {
                Release();
                m_table = other.m_table;
                m_slot = std::move(other.m_slot);
                other.m_table = nullptr;
            }
            return *this;
        }
        ~Hold() { Release(); }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

        explicit operator bool() const { return m_slot != nullptr; }
        T* get() const { return m_slot ? m_slot->instance.get() : nullptr; }
        T* operator->() const { return get(); }

    private:
        friend class HandleTable;
        Hold(HandleTable* table, std::shared_ptr<Slot> slot) : m_table(table), m_slot(std::move(slot)) {}

        void Release()
        {
            if (!m_slot)
                return;
            {
                std::lock_guard<std::mutex> lock(m_table->m_mutex);
                --m_slot->holds;
            }
            m_table->m_released.notify_all();
            m_slot.reset();
            m_table = nullptr;
        }

        HandleTable* m_table = nullptr;
        std::shared_ptr<Slot> m_slot;
    };

    HandleTable() = default;
    // Instances still in the table go the way Clear sends them. One set aside
    // on the very thread that destroys the table (the process ending inside a
    // callback) is left to the process's end.
    ~HandleTable()
    {
        Clear();
        for (const std::shared_ptr<Slot>& slot : m_setAside)
            (void)slot->instance.release();
    }
    HandleTable(const HandleTable&) = delete;
    HandleTable& operator=(const HandleTable&) = delete;

    // Appends the instance; its handle, or -1 (instance dropped) when it is null
    // or the index would not fit a handle.
    int32_t Add(std::unique_ptr<T> instance)
    {
        if (!instance)
            return -1;
        auto slot = std::make_shared<Slot>();
        slot->instance = std::move(instance);
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_slots.size() >= static_cast<size_t>(std::numeric_limits<int32_t>::max()))
            return -1;
        m_slots.push_back(std::move(slot));
        return static_cast<int32_t>(m_slots.size() - 1);
    }

    // The instance of a handle, held until the Hold goes; empty for a negative
    // handle, one past the end, or after Clear.
    Hold Acquire(int32_t handle)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (handle < 0 || static_cast<size_t>(handle) >= m_slots.size())
            return Hold();
        const std::shared_ptr<Slot>& slot = m_slots[static_cast<size_t>(handle)];
        ++slot->holds;
        return Hold(this, slot);
    }

    size_t Size() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_slots.size();
    }

    // Empties the table, then shuts down, waits for and deletes every instance
    // that was in it or set aside before, and joins the threads of those that
    // were deleted on their own thread. Deletion runs without the table's
    // lock: an instance's threads may still call into the table while they end.
    void Clear()
    {
        std::vector<std::shared_ptr<Slot>> taken;
        std::vector<platform::Thread> ended;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            taken.swap(m_slots);
            // Those set aside on the calling thread stay so, again.
            for (auto it = m_setAside.begin(); it != m_setAside.end();) {
                if ((*it)->instance->IsOwnThread()) {
                    ++it;
                } else {
                    taken.push_back(std::move(*it));
                    it = m_setAside.erase(it);
                }
            }
            ended.swap(m_ended);
        }
        // All first, so the instances wind down side by side.
        for (const std::shared_ptr<Slot>& slot : taken) {
            try {
                slot->instance->Shutdown();
            } catch (...) {
                // Still waited for and deleted below; the deletion stops it.
            }
        }
        for (const std::shared_ptr<Slot>& slot : taken) {
            if (slot->instance->IsOwnThread()) {
                SetAside(slot);
                continue;
            }
            WaitUntilReleased(*slot);
            slot->instance.reset();
        }
        // Their destructors join them.
        ended.clear();
    }

private:
    // On the instance's own thread, which is inside Clear.
    void SetAside(const std::shared_ptr<Slot>& slot)
    {
        Slot* const raw = slot.get();
        // Set before the slot is reachable by another Clear, which may delete it.
        slot->instance->SetEndAction([this, raw] { DeleteOnOwnThread(raw); });
        std::lock_guard<std::mutex> lock(m_mutex);
        m_setAside.push_back(slot);
    }

    // The end action of an instance set aside, on its thread after its Run.
    void DeleteOnOwnThread(Slot* raw)
    {
        std::shared_ptr<Slot> slot;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            auto it = std::find_if(m_setAside.begin(), m_setAside.end(),
                                   [raw](const std::shared_ptr<Slot>& s) { return s.get() == raw; });
            // Gone: a Clear took it and waits for this thread to delete it.
            if (it == m_setAside.end())
                return;
            slot = std::move(*it);
            m_setAside.erase(it);
            // In the same step, so a Clear from now on joins this thread.
            m_ended.push_back(slot->instance->TakeThread());
            m_released.wait(lock, [&] { return slot->holds == 0; });
        }
        slot->instance.reset();
    }

    void WaitUntilReleased(Slot& slot)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_released.wait(lock, [&] { return slot.holds == 0; });
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_released;
    std::vector<std::shared_ptr<Slot>> m_slots;
    // Instances whose Clear came on their own thread, not yet deleted.
    std::vector<std::shared_ptr<Slot>> m_setAside;
    // Threads of instances deleted on their own thread, still to be joined.
    std::vector<platform::Thread> m_ended;
};
