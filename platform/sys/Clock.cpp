#include "sys/Clock.h"

#include <chrono>
#include <utility>

namespace sys {
namespace {

std::function<uint32_t()> s_source;
int64_t s_offsetMs = 0; // added to the monotonic milliseconds before truncation

int64_t monotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

uint32_t timeGetTime() {
    if (s_source) {
        return s_source();
    }
    return static_cast<uint32_t>(monotonicMs() + s_offsetMs);
}

void setClockOrigin(uint32_t start) {
    s_source = nullptr;
    s_offsetMs = static_cast<int64_t>(start) - monotonicMs();
}

void setClockSource(std::function<uint32_t()> source) {
    s_source = std::move(source);
}

} // namespace sys
