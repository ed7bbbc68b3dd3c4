#pragma once

#include "threads/CEventSock.h"

// An event that stays signalled until it is reset.
class CManualResetEventSock : public CEventSock
{
public:
    explicit CManualResetEventSock(bool initialState = false) : CEventSock(true, initialState) {}
};
