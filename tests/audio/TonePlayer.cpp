#include "TonePlayer.h"

#include <pulse/error.h>
#include <pulse/simple.h>

#include <cmath>
#include <numbers>
#include <stdexcept>
#include <vector>

namespace {
constexpr uint32_t kRate = 48000;    // frames per second
constexpr size_t kChunkFrames = 240; // 5 ms per write
constexpr float kFrequency = 440;    // Hz
} // namespace

TonePlayer::TonePlayer(float amplitude, int durationMs)
    : m_amplitude(amplitude), m_nFrames(static_cast<long>(durationMs) * kRate / 1000) {
    const pa_sample_spec spec = {PA_SAMPLE_FLOAT32NE, kRate, 1};
    pa_buffer_attr attr;
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = static_cast<uint32_t>(4 * kChunkFrames * sizeof(float)); // 20 ms ahead
    attr.prebuf = static_cast<uint32_t>(-1);
    attr.minreq = static_cast<uint32_t>(-1);
    attr.fragsize = static_cast<uint32_t>(-1);
    int error = 0;
    m_pStream = pa_simple_new(nullptr, "mimlet-test", PA_STREAM_PLAYBACK, nullptr, "tone", &spec,
                              nullptr, &attr, &error);
    if (m_pStream == nullptr) {
        throw std::runtime_error(std::string("cannot play a tone: ") + pa_strerror(error));
    }
    m_thread = std::thread([this] { play(); });
}

TonePlayer::~TonePlayer() {
    stop();
}

void TonePlayer::play() {
    std::vector<float> chunk(kChunkFrames);
    bool ok = true;
    for (long frame = 0; ok && !m_stop && (m_nFrames == 0 || frame < m_nFrames);) {
        for (float& sample : chunk) {
            const bool inTone = m_nFrames == 0 || frame < m_nFrames;
            sample = inTone ? m_amplitude * std::sin(2 * std::numbers::pi_v<float> * kFrequency *
                                                     static_cast<float>(frame) / kRate)
                            : 0.0f;
            ++frame;
        }
        int error = 0;
        ok = pa_simple_write(m_pStream, chunk.data(), chunk.size() * sizeof(float), &error) == 0;
    }
    if (ok) {
        int error = 0;
        pa_simple_drain(m_pStream, &error);
    }
}

void TonePlayer::stop() {
    m_stop = true;
    wait();
}

void TonePlayer::wait() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
    if (m_pStream != nullptr) {
        pa_simple_free(m_pStream);
        m_pStream = nullptr;
    }
}
