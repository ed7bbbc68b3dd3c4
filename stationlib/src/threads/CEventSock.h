#pragma once

#include "platform/Event.h"

#include <cstdint>

// A system event. Its handle can be handed to waits on several handles.
// Failures throw CWin32Exception.
class CEventSock
{
public:
    // An auto-reset event releases one wait per Set.
    explicit CEventSock(bool manualReset = false, bool initialState = false);
    virtual ~CEventSock();
    CEventSock(const CEventSock&) = delete;
    CEventSock& operator=(const CEventSock&) = delete;

    // Replaces the event with a new one.
    void Create(bool manualReset, bool initialState);
    void Set();
    void Reset();
    // True when signalled within timeoutMs (platform::kInfinite: no limit),
    // false on time-out.
    bool Wait(uint32_t timeoutMs);

    platform::WaitHandle GetHandle() const { return m_handle; }

private:
    platform::WaitHandle m_handle = platform::kInvalidWaitHandle;
};
