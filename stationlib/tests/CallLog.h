#pragma once

#include "Ardentis.h"
#include "WaitableList.h"

#include "platform/Event.h"

#include <cstdint>
#include <functional>
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

// The first callback of a test runs `inside`, then lasts until the test
// releases it: a slow host, or one that calls the library back from there.
struct FirstCallHold
{
    ~FirstCallHold() { platform::close_event(released); }
    void Release() { platform::set_event(released); }

    std::function<void()> inside;
    platform::WaitHandle released = platform::create_event(true, false);
};
inline FirstCallHold* g_hold = nullptr;

inline int32_t MSC_CALL hold_first_call(intptr_t user, int32_t code, const char* text, int32_t length, int32_t a,
                                        int32_t b, int32_t c)
{
    const bool first = g_calls.Count() == 0;
    record_call(user, code, text, length, a, b, c);
    if (first && g_hold != nullptr) {
        if (g_hold->inside)
            g_hold->inside();
        platform::wait_for_single(g_hold->released, platform::kInfinite);
    }
    return 0;
}
