// mimlet-face meter [--seconds N]: shows the level of the sound being played as the player
// reads it, one line every 41 ms (the player's frame time): the reading, then a bar. Users
// look at it to find where to set the "Audio Level" slider, which is on the same scale.

#include "Command.h"
#include "LevelMeter.h"
#include "sys/MessageBox.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kFrameMs = 41;  // the player reads the meter at most this often
constexpr int kBarWidth = 64; // characters for a full-scale reading
constexpr int kFullScale = 32767;

volatile std::sig_atomic_t s_interrupted = 0;

void onInterrupt(int) {
    s_interrupted = 1;
}

// "--seconds N" with N a whole number from 1 to 86400; false for anything else.
bool parseSeconds(const std::vector<std::string>& args, long& seconds) {
    if (args.empty()) {
        seconds = 0; // until interrupted
        return true;
    }
    if (args.size() != 2 || args[0] != "--seconds" || args[1].empty() || args[1].size() > 5) {
        return false;
    }
    seconds = 0;
    for (char c : args[1]) {
        if (c < '0' || c > '9') {
            return false;
        }
        seconds = seconds * 10 + (c - '0');
    }
    return seconds >= 1 && seconds <= 86400;
}

int run(const std::vector<std::string>& args) {
    long seconds = 0;
    if (!parseSeconds(args, seconds)) {
        std::fprintf(stderr, "usage: mimlet-face meter [--seconds N]   (N from 1 to 86400)\n");
        return kExitUsage;
    }

    std::vector<std::string> messages;
    sys::setMessageSink([&](const std::string& text) { messages.push_back(text); });
    CLevelMeter meter;
    const bool opened = meter.Open();
    sys::setMessageSink(nullptr);
    if (!opened) {
        for (const std::string& text : messages) {
            std::fprintf(stderr, "mimlet-face meter: %s\n", text.c_str());
        }
        if (messages == std::vector<std::string>{"There are no waveout devices installed."}) {
            std::fprintf(stderr, "mimlet-face meter: no sound server answered, or it has no "
                                 "output device; nothing to measure.\n");
        }
        return kExitRefused;
    }

    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    const long nReadings = seconds * 1000 / kFrameMs; // 0: until interrupted
    char bar[kBarWidth + 1];
    auto due = std::chrono::steady_clock::now();
    for (long i = 0; (nReadings == 0 || i < nReadings) && !s_interrupted; ++i) {
        due += std::chrono::milliseconds(kFrameMs);
        std::this_thread::sleep_until(due);
        const int32_t reading = meter.Read();
        // Bar length in proportion to the reading; a negative reading shows no bar.
        const int length =
            reading <= 0 ? 0
                         : static_cast<int>(static_cast<int64_t>(reading) * kBarWidth / kFullScale);
        int at = 0;
        for (; at < length && at < kBarWidth; ++at) {
            bar[at] = '#';
        }
        bar[at] = '\0';
        std::printf("%6d %s\n", static_cast<int>(reading), bar);
        std::fflush(stdout);
    }
    meter.Close();
    return kExitOk;
}

const CommandRegistration s_registration(
    {"meter", "meter [--seconds N]   show the level of the sound being played", run});

} // namespace
