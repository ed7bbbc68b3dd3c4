#include "threads/CEventSock.h"

#include "threads/CWin32Exception.h"

#include <cerrno>

namespace {

// errno is read before anything else can touch it.
[[noreturn]] void throw_last_error(const char* operation)
{
    int error = errno;
    throw CWin32Exception(operation, error);
}

} // namespace

CEventSock::CEventSock(bool manualReset, bool initialState)
{
    Create(manualReset, initialState);
}

CEventSock::~CEventSock()
{
    if (m_handle != platform::kInvalidWaitHandle)
        platform::close_event(m_handle);
}

void CEventSock::Create(bool manualReset, bool initialState)
{
    platform::WaitHandle handle = platform::create_event(manualReset, initialState);
    if (handle == platform::kInvalidWaitHandle)
        throw_last_error("CEventSock::Create()");
    if (m_handle != platform::kInvalidWaitHandle)
        platform::close_event(m_handle);
    m_handle = handle;
}

void CEventSock::Set()
{
    if (!platform::set_event(m_handle))
        throw_last_error("CEventSock::Set()");
}

void CEventSock::Reset()
{
    if (!platform::reset_event(m_handle))
        throw_last_error("CEventSock::Reset()");
}

bool CEventSock::Wait(uint32_t timeoutMs)
{
    uint32_t result = platform::wait_for_single(m_handle, timeoutMs);
    if (result == platform::kWaitObject0)
        return true;
    if (result == platform::kWaitTimeout)
        return false;
    throw_last_error("CEventSock::Wait() - WaitForSingleObject");
}
