#pragma once

#include <cstddef>

// A heap block of size bytes at a multiple of alignment, a non-zero power of
// two (checked by assertion). Null when the heap block cannot be had, or when
// the size is too large to be padded. Release with aligned_free.
void* aligned_malloc(size_t alignment, size_t size);

// Releases a block from aligned_malloc; null does nothing. Any other address
// fails the guard-word assertion.
void aligned_free(void* ptr);
