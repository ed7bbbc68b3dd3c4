#pragma once

#include "platform/CriticalSection.h"

// One critical section; the owning thread may enter it again.
class CCritSect
{
public:
    CCritSect() = default;
    CCritSect(const CCritSect&) = delete;
    CCritSect& operator=(const CCritSect&) = delete;

    void Enter() { m_section.Enter(); }
    void Leave() { m_section.Leave(); }

private:
    platform::CriticalSection m_section;
};
