#pragma once

#include <cstdint>

// Key word every station connection starts each buffer from.
constexpr uint32_t kStationKeyWord = 0x3B16E45;

// Byte-wise stream cipher over a 32-bit state fed with the cipher-text bytes;
// both work in place.
void ScramblePayload(uint8_t* buffer, int32_t length, uint32_t key);
void DescramblePayload(uint8_t* buffer, int32_t length, uint32_t key);
