#include "utils/AlignedMemory.h"

#include "utils/Assertion.h"

#include <cstdint>
#include <cstdlib>

namespace {

// Two words before the aligned address: the guard, then the plain block.
constexpr size_t kHeader = sizeof(uintptr_t) * 2;
constexpr uintptr_t kGuard = 0xDEADBEEF;

} // namespace

void* aligned_malloc(size_t alignment, size_t size)
{
    // Zero would pass the power-of-two test and round every address to null.
    KORVEL_ASSERT(alignment != 0);
    KORVEL_ASSERT((alignment & (alignment - 1)) == 0);
    if (alignment > SIZE_MAX - kHeader || size > SIZE_MAX - kHeader - alignment)
        return nullptr;
    void* raw = std::malloc(size + alignment + kHeader);
    if (raw == nullptr)
        return nullptr;
    const uintptr_t aligned = (reinterpret_cast<uintptr_t>(raw) + alignment + kHeader - 1) & ~(alignment - 1);
    uintptr_t* header = reinterpret_cast<uintptr_t*>(aligned) - 2;
    header[0] = kGuard;
    header[1] = reinterpret_cast<uintptr_t>(raw);
    return reinterpret_cast<void*>(aligned);
}

void aligned_free(void* ptr)
{
    if (ptr == nullptr)
        return;
    KORVEL_ASSERT(*(uintptr_t*)((char*)ptr - sizeof(uintptr_t) * 2) == 0xDEADBEEF);
    std::free(reinterpret_cast<void*>(static_cast<uintptr_t*>(ptr)[-1]));
}
