#include "sys/Random.h"

namespace sys {
namespace {
uint32_t s_state = 1;
}

int rand() {
    s_state = s_state * 214013u + 2531011u; // wraps modulo 2^32 by unsigned arithmetic
    return static_cast<int>((s_state >> 16) & 0x7FFF);
}

void resetRandomForTest() {
    s_state = 1;
}

} // namespace sys
