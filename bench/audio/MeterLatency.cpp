// meter-latency: how long a sound takes to show on the level meter, as the player sees it.
// Plays tone bursts into the default sink of the sound server that PULSE_SERVER names and
// polls the meter every 41 ms, as the animation does; for each burst, the time from writing
// its first loud sample to the first reading above half its level. Prints the median and the
// 95th percentile. Run through bench/meter-latency.sh, which starts a private server.

#include "LevelMeter.h"

#include <pulse/error.h>
#include <pulse/simple.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kRate = 48000;  // frames per second
constexpr int kChunkFrames = 240;  // 5 ms per write
constexpr float kAmplitude = 0.5f; // burst peak, 0.0..1.0
constexpr int kBursts = 30;
constexpr int kBurstMs = 200;
constexpr int kGapMs = 400; // silence before each burst, plus 0..40 ms of jitter
constexpr int kPollMs = 41; // the player's frame time
constexpr double kTargetP95Ms = 55;
constexpr int32_t kHalfLevel = static_cast<int32_t>(kAmplitude * 32767 / 2);

std::atomic<int64_t> s_firstLoudWritten{0}; // ns on Clock of the pending burst; 0: none
std::atomic<bool> s_warm{false};            // the meter has seen the warm-up tone
std::atomic<bool> s_done{false};            // every burst has been written

int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

// Writes `ms` of tone (or silence) in 5 ms chunks; the first chunk's write time is returned.
int64_t write(pa_simple* stream, int ms, bool loud, long& frame, bool& ok) {
    std::vector<float> chunk(kChunkFrames);
    int64_t firstWritten = 0;
    for (int written = 0; ok && written < ms * static_cast<int>(kRate) / 1000;
         written += kChunkFrames) {
        for (float& sample : chunk) {
            sample =
                loud ? kAmplitude * static_cast<float>(std::sin(2 * std::numbers::pi * 440.0 *
                                                                static_cast<double>(frame) / kRate))
                     : 0.0f;
            ++frame;
        }
        int error = 0;
        ok = pa_simple_write(stream, chunk.data(), chunk.size() * sizeof(float), &error) == 0;
        if (firstWritten == 0) {
            firstWritten = nowNs();
        }
    }
    return firstWritten;
}

void play(pa_simple* stream) {
    long frame = 0;
    bool ok = true;
    // A fresh sink may take its first long block before it follows short latencies: play
    // until the meter has heard something, and measure only after that.
    for (int i = 0; ok && i < 100 && !s_warm; ++i) {
        write(stream, 50, true, frame, ok);
    }
    write(stream, kGapMs, false, frame, ok);
    std::srand(1);
    for (int burst = 0; ok && burst < kBursts; ++burst) {
        write(stream, kGapMs + std::rand() % 41, false, frame, ok);
        const int64_t firstLoud = write(stream, 5, true, frame, ok);
        s_firstLoudWritten = firstLoud;
        write(stream, kBurstMs - 5, true, frame, ok);
    }
    write(stream, kGapMs, false, frame, ok);
    if (!ok) {
        std::fprintf(stderr, "meter-latency: playing the tone failed\n");
    }
    s_done = true;
}

} // namespace

int main() {
    CLevelMeter meter;
    if (!meter.Open()) {
        std::fprintf(stderr, "meter-latency: the level meter could not be set up\n");
        return 1;
    }
    const pa_sample_spec spec = {PA_SAMPLE_FLOAT32NE, kRate, 1};
    pa_buffer_attr attr;
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = static_cast<uint32_t>(2 * kChunkFrames * sizeof(float)); // 10 ms ahead
    attr.prebuf = static_cast<uint32_t>(-1);
    attr.minreq = static_cast<uint32_t>(-1);
    attr.fragsize = static_cast<uint32_t>(-1);
    int error = 0;
    pa_simple* stream = pa_simple_new(nullptr, "meter-latency", PA_STREAM_PLAYBACK, nullptr,
                                      "tone bursts", &spec, nullptr, &attr, &error);
    if (stream == nullptr) {
        std::fprintf(stderr, "meter-latency: cannot play: %s\n", pa_strerror(error));
        return 1;
    }
    std::thread player(play, stream);

    std::vector<double> latencies; // ms
    int missed = 0;
    Clock::time_point due = Clock::now();
    while (!s_done) {
        due += std::chrono::milliseconds(kPollMs);
        std::this_thread::sleep_until(due);
        const int32_t reading = meter.Read();
        const int64_t now = nowNs();
        if (reading > kHalfLevel) {
            s_warm = true;
        }
        int64_t written = s_firstLoudWritten;
        if (written != 0 && reading > kHalfLevel &&
            s_firstLoudWritten.compare_exchange_strong(written, 0)) {
            latencies.push_back(static_cast<double>(now - written) / 1e6);
        } else if (written != 0 && now - written > 1'000'000'000) {
            ++missed; // not seen within a second
            s_firstLoudWritten = 0;
        }
    }
    player.join();
    pa_simple_free(stream);
    meter.Close();

    if (latencies.empty()) {
        std::fprintf(stderr, "meter-latency: no burst reached the meter\n");
        return 1;
    }
    std::sort(latencies.begin(), latencies.end());
    const size_t n = latencies.size();
    const double median = n % 2 ? latencies[n / 2] : (latencies[n / 2 - 1] + latencies[n / 2]) / 2;
    // Nearest-rank 95th percentile.
    const size_t rank = static_cast<size_t>(std::ceil(0.95 * static_cast<double>(n)));
    const double p95 = latencies[rank - 1];
    std::printf("meter latency over %zu bursts (%d missed), polled every %d ms: "
                "median %.1f ms, p95 %.1f ms, max %.1f ms (target p95 <= %.0f ms: %s)\n",
                n, missed, kPollMs, median, p95, latencies.back(), kTargetP95Ms,
                p95 <= kTargetP95Ms ? "met" : "NOT met");
    return 0;
}
