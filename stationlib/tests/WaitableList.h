#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

// What one thread records and another waits for, in the order it came.
template <class T>
class WaitableList
{
public:
    void Add(T item)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_items.push_back(std::move(item));
        }
        m_changed.notify_all();
    }
    bool WaitForCount(size_t count, std::chrono::milliseconds limit = std::chrono::milliseconds(5000))
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, limit, [&] { return m_items.size() >= count; });
    }
    std::vector<T> Items() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_items;
    }
    size_t Count() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_items.size();
    }
    void Clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_items.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<T> m_items;
};
