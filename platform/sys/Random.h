#pragma once
// The process-wide pseudo-random source: the classic linear congruential generator,
// state 1 at start and never reseeded by the player, so every run draws the same sequence.

#include <cstdint>

namespace sys {

// Next draw, 0 to 32767: state = state * 214013 + 2531011 (mod 2^32), draw = (state >> 16) &
// 0x7FFF.
int rand();

// Puts the generator back to its start state (tests only; the player never calls it).
void resetRandomForTest();

} // namespace sys
