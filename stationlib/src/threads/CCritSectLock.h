#pragma once

#include "threads/CCritSect.h"

// Holds a CCritSect for the lifetime of the object.
class CCritSectLock
{
public:
    explicit CCritSectLock(CCritSect& section) : m_section(&section) { m_section->Enter(); }
    ~CCritSectLock() { m_section->Leave(); }
    CCritSectLock(const CCritSectLock&) = delete;
    CCritSectLock& operator=(const CCritSectLock&) = delete;

private:
    CCritSect* m_section;
};
