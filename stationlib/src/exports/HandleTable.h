#pragma once

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
// deletes it. T needs a Shutdown() that may be called while other threads use it.
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
    // Instances still in the table go the way Clear sends them.
    ~HandleTable() { Clear(); }
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
    // that was in it. Deletion runs without the table's lock: an instance's
    // threads may still call into the table while they end.
    void Clear()
    {
        std::vector<std::shared_ptr<Slot>> taken;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            taken.swap(m_slots);
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
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_released.wait(lock, [&] { return slot->holds == 0; });
            }
            slot->instance.reset();
        }
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_released;
    std::vector<std::shared_ptr<Slot>> m_slots;
};
