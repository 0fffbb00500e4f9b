#pragma once
// The player's millisecond clock: a monotonic clock in milliseconds, truncated to 32 bits.
// Differences between two readings must be taken in unsigned 32-bit arithmetic, so the
// wrap every 49.7 days neither stalls nor hurries anything that paces itself on it.

#include <cstdint>
#include <functional>

namespace sys {

// Milliseconds since the clock's origin, modulo 2^32.
uint32_t timeGetTime();

// Makes the next reading return `start` and later readings advance from there
// (tests use it to start just before the wrap).
void setClockOrigin(uint32_t start);

// Replaces the clock with a source of the caller's (the offline renderer's simulated
// clock, tests); an empty function restores the monotonic clock.
void setClockSource(std::function<uint32_t()> source);

} // namespace sys
