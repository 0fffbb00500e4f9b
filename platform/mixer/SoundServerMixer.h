#pragma once
// The mixer back end for the desktop's sound server (PulseAudio, or PipeWire through its
// PulseAudio service): the level of the default output, measured on that output's monitor
// with the server's own peak detection.
//
// Single-threaded: the set-up steps wait for the server, each bounded by kSetupTimeoutMs so
// that a missing or stuck server cannot hang the caller; after the set-up, read() only
// dispatches what has already arrived and never waits. A suspended output or a server that
// went away reads 0.

#include "mixer/Mixer.h"

#include <cstdint>
#include <string>

struct pa_mainloop;
struct pa_context;
struct pa_stream;

namespace mixer {

class SoundServerMixer final : public Mixer {
public:
    // How long one set-up step may wait for the server.
    static constexpr uint32_t kSetupTimeoutMs = 1500;
    // Peak values per second the server sends (one per 5 ms, well above one per frame).
    static constexpr uint32_t kPeakRateHz = 200;

    SoundServerMixer() = default;
    ~SoundServerMixer() override;
    SoundServerMixer(const SoundServerMixer&) = delete;
    SoundServerMixer& operator=(const SoundServerMixer&) = delete;

    int countOutputDevices() override;
    bool open() override;
    bool openOutputLine() override;
    bool openPeakMeter() override;
    bool requestFirstValue() override;
    int32_t read() override;
    void close() override;

private:
    friend struct SoundServerCallbacks;

    // Runs the main loop until `done()` or the time-out; false on time-out.
    template <typename Done> bool waitFor(Done done);
    // Creates a context and connects it to the default server; null on failure or time-out.
    pa_context* connectContext(const char* name);
    // Dispatches what has arrived and takes the peaks out of the stream, without waiting.
    void drainPeaks();

    pa_mainloop* m_pMainloop = nullptr; // owned; created by step 1
    pa_context* m_pContext = nullptr;   // owned; the meter's connection, step 2
    pa_stream* m_pStream = nullptr;     // owned; the peak-detect record stream, step 4
    std::string m_monitorSource;        // the default output's monitor, step 3
    bool m_suspended = false;           // the monitored output is suspended
    float m_peak = 0;                   // loudest peak since the previous read, 0.0..1.0
    bool m_gotPeak = false;             // m_peak holds something that arrived since then
    int32_t m_level = 0;                // the previous reading, 0..kFullScale
};

} // namespace mixer
