#pragma once

#include "Ardentis.h"
#include "WaitableList.h"

#include <cstdint>
#include <string>
#include <vector>

// One call of the host's callback.
struct Call
{
    intptr_t user = 0;
    int32_t code = -1;
    bool hasText = false;
    std::string text;
    int32_t length = 0;
    int32_t a = 0;
    int32_t b = 0;
    int32_t c = 0;
};

// What the host's callback was called with, in order.
class CallLog : public WaitableList<Call>
{
public:
    std::vector<Call> Calls() const { return Items(); }
    std::vector<int32_t> Codes() const
    {
        std::vector<int32_t> codes;
        for (const Call& call : Items())
            codes.push_back(call.code);
        return codes;
    }
};

// The callback is a plain function, so its calls go to one log per test program.
inline CallLog g_calls;

inline int32_t MSC_CALL record_call(intptr_t user, int32_t code, const char* text, int32_t length, int32_t a,
                                    int32_t b, int32_t c)
{
    const std::string copy = text != nullptr ? std::string(text, static_cast<size_t>(length)) : std::string();
    g_calls.Add(Call{user, code, text != nullptr, copy, length, a, b, c});
    return 0;
}
