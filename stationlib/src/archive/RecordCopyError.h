#pragma once

#include <new>

// A record copy that could not be made whole, thrown where no result can be
// given (a copy constructor). It is a failed allocation to every caller: what
// was being made is not kept, and nothing half copied passes for the record.
class RecordCopyError : public std::bad_alloc
{
public:
    const char* what() const noexcept override { return "record copy failed"; }
};
