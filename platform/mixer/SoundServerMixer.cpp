#include "mixer/SoundServerMixer.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace mixer {

// The server's callbacks, kept out of the header so that it names no server types.
struct SoundServerCallbacks {
    struct SinkCount {
        int count = 0;
        bool done = false;
    };
    struct DefaultSink {
        std::string name;
        bool done = false;
    };
    struct Monitor {
        std::string source;
        bool done = false;
    };

    static void countSink(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
        auto* result = static_cast<SinkCount*>(userdata);
        if (eol != 0) {
            result->done = true;
            return;
        }
        if (info != nullptr) {
            ++result->count;
        }
    }

    static void serverInfo(pa_context*, const pa_server_info* info, void* userdata) {
        auto* result = static_cast<DefaultSink*>(userdata);
        if (info != nullptr && info->default_sink_name != nullptr) {
            result->name = info->default_sink_name;
        }
        result->done = true;
    }

    static void sinkMonitor(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
        auto* result = static_cast<Monitor*>(userdata);
        if (eol != 0) {
            result->done = true; // end of the list, or an error such as no such sink
            return;
        }
        if (info != nullptr && info->monitor_source_name != nullptr) {
            result->source = info->monitor_source_name;
        }
    }

    static void streamSuspended(pa_stream* stream, void* userdata) {
        auto* self = static_cast<SoundServerMixer*>(userdata);
        self->m_suspended = pa_stream_is_suspended(stream) == 1;
    }
};

namespace {

// Dispatch passes per read: enough to take in everything that has arrived, few enough that
// a server flooding the connection cannot keep a read busy.
constexpr int kMaxDispatchesPerRead = 64;

bool contextSettled(pa_context* context) {
    const pa_context_state_t state = pa_context_get_state(context);
    return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
}

bool streamSettled(pa_stream* stream) {
    const pa_stream_state_t state = pa_stream_get_state(stream);
    return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
}

void endContext(pa_context* context) {
    pa_context_disconnect(context);
    pa_context_unref(context);
}

} // namespace

SoundServerMixer::~SoundServerMixer() {
    close();
}

template <typename Done> bool SoundServerMixer::waitFor(Done done) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kSetupTimeoutMs);
    while (!done()) {
        const Clock::time_point now = Clock::now();
        if (now >= deadline) {
            return false;
        }
        const auto wait = std::chrono::duration_cast<std::chrono::microseconds>(deadline - now);
        if (pa_mainloop_prepare(m_pMainloop, static_cast<int>(wait.count())) < 0 ||
            pa_mainloop_poll(m_pMainloop) < 0 || pa_mainloop_dispatch(m_pMainloop) < 0) {
            return false;
        }
    }
    return true;
}

pa_context* SoundServerMixer::connectContext(const char* name) {
    if (m_pMainloop == nullptr) {
        m_pMainloop = pa_mainloop_new();
        if (m_pMainloop == nullptr) {
            return nullptr;
        }
    }
    pa_context* context = pa_context_new(pa_mainloop_get_api(m_pMainloop), name);
    if (context == nullptr) {
        return nullptr;
    }
    // Never start a server of our own: no answer means no sound output.
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        pa_context_unref(context);
        return nullptr;
    }
    if (!waitFor([&] { return contextSettled(context); }) ||
        pa_context_get_state(context) != PA_CONTEXT_READY) {
        endContext(context);
        return nullptr;
    }
    return context;
}

// A connection of its own, closed again, so that the outputs are counted before the mixer
// is opened.
int SoundServerMixer::countOutputDevices() {
    pa_context* probe = connectContext("Mimlet output probe");
    if (probe == nullptr) {
        return 0;
    }
    SoundServerCallbacks::SinkCount sinks;
    pa_operation* operation =
        pa_context_get_sink_info_list(probe, SoundServerCallbacks::countSink, &sinks);
    bool answered = false;
    if (operation != nullptr) {
        answered =
            waitFor([&] { return sinks.done || !PA_CONTEXT_IS_GOOD(pa_context_get_state(probe)); });
        pa_operation_cancel(operation);
        pa_operation_unref(operation);
    }
    endContext(probe);
    return answered && sinks.done ? sinks.count : 0;
}

bool SoundServerMixer::open() {
    if (m_pContext == nullptr) {
        m_pContext = connectContext("Mimlet level meter");
    }
    return m_pContext != nullptr;
}

bool SoundServerMixer::openOutputLine() {
    if (m_pContext == nullptr) {
        return false;
    }
    auto contextGone = [&] { return !PA_CONTEXT_IS_GOOD(pa_context_get_state(m_pContext)); };

    SoundServerCallbacks::DefaultSink sink;
    pa_operation* operation =
        pa_context_get_server_info(m_pContext, SoundServerCallbacks::serverInfo, &sink);
    if (operation == nullptr) {
        return false;
    }
    waitFor([&] { return sink.done || contextGone(); });
    pa_operation_cancel(operation);
    pa_operation_unref(operation);
    if (!sink.done || sink.name.empty()) {
        return false;
    }

    SoundServerCallbacks::Monitor monitor;
    operation = pa_context_get_sink_info_by_name(m_pContext, sink.name.c_str(),
                                                 SoundServerCallbacks::sinkMonitor, &monitor);
    if (operation == nullptr) {
        return false;
    }
    waitFor([&] { return monitor.done || contextGone(); });
    pa_operation_cancel(operation);
    pa_operation_unref(operation);
    if (!monitor.done || monitor.source.empty()) {
        return false;
    }
    m_monitorSource = monitor.source;
    return true;
}

bool SoundServerMixer::openPeakMeter() {
    if (m_pContext == nullptr || m_monitorSource.empty() || m_pStream != nullptr) {
        return false;
    }
    // With peak detection the server sends, instead of the samples, one value per
    // 1/kPeakRateHz s: the largest magnitude over all channels in that time, 0.0..1.0.
    const pa_sample_spec spec = {PA_SAMPLE_FLOAT32NE, kPeakRateHz, 1};
    m_pStream = pa_stream_new(m_pContext, "Peak meter", &spec, nullptr);
    if (m_pStream == nullptr) {
        return false;
    }
    pa_stream_set_suspended_callback(m_pStream, SoundServerCallbacks::streamSuspended, this);

    pa_buffer_attr attr;
    std::memset(&attr, 0xff, sizeof attr); // (uint32_t)-1: the server's default
    attr.fragsize = sizeof(float);         // every peak as soon as it is measured
    const pa_stream_flags_t flags = static_cast<pa_stream_flags_t>(
        PA_STREAM_PEAK_DETECT | PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_INHIBIT_AUTO_SUSPEND);
    if (pa_stream_connect_record(m_pStream, m_monitorSource.c_str(), &attr, flags) < 0) {
        return false;
    }
    if (!waitFor([&] { return streamSettled(m_pStream); }) ||
        pa_stream_get_state(m_pStream) != PA_STREAM_READY) {
        return false;
    }
    m_suspended = pa_stream_is_suspended(m_pStream) == 1;
    return true;
}

bool SoundServerMixer::requestFirstValue() {
    if (m_pStream == nullptr) {
        return false;
    }
    read();
    return pa_context_get_state(m_pContext) == PA_CONTEXT_READY &&
           pa_stream_get_state(m_pStream) == PA_STREAM_READY;
}

void SoundServerMixer::drainPeaks() {
    for (int i = 0; i < kMaxDispatchesPerRead; ++i) {
        if (pa_mainloop_iterate(m_pMainloop, 0, nullptr) <= 0) {
            break;
        }
    }
    if (pa_stream_get_state(m_pStream) != PA_STREAM_READY) {
        return;
    }
    // Look at the received fragments where they lie and let them go.
    for (;;) {
        const void* data = nullptr;
        size_t nBytes = 0;
        if (pa_stream_peek(m_pStream, &data, &nBytes) < 0 || nBytes == 0) {
            break;
        }
        if (data != nullptr) { // null with a size is a hole: nothing measured there
            const auto* bytes = static_cast<const unsigned char*>(data);
            for (size_t at = 0; at + sizeof(float) <= nBytes; at += sizeof(float)) {
                float peak;
                std::memcpy(&peak, bytes + at, sizeof peak); // fragments need not be aligned
                peak = std::fabs(peak);
                if (peak > m_peak) { // false for NaN, which is ignored
                    m_peak = peak;
                }
                m_gotPeak = true;
            }
        }
        pa_stream_drop(m_pStream);
    }
}

int32_t SoundServerMixer::read() {
    if (m_pStream == nullptr) {
        return 0;
    }
    drainPeaks();
    if (m_suspended || pa_context_get_state(m_pContext) != PA_CONTEXT_READY ||
        pa_stream_get_state(m_pStream) != PA_STREAM_READY) {
        // Nothing is playing through a suspended output, and a server that has gone will
        // send nothing more: either way the level is silence, not the last peak heard.
        m_level = 0;
        m_peak = 0;
        m_gotPeak = false;
        return 0;
    }
    if (m_gotPeak) {
        // 0.0..1.0 onto 0..32767, rounded to the nearest step.
        m_level = static_cast<int32_t>(std::lround(std::min(m_peak, 1.0f) * kFullScale));
        m_peak = 0;
        m_gotPeak = false;
    }
    return m_level;
}

void SoundServerMixer::close() {
    if (m_pStream != nullptr) {
        pa_stream_set_suspended_callback(m_pStream, nullptr, nullptr);
        pa_stream_disconnect(m_pStream);
        pa_stream_unref(m_pStream);
        m_pStream = nullptr;
    }
    if (m_pContext != nullptr) {
        endContext(m_pContext);
        m_pContext = nullptr;
    }
    if (m_pMainloop != nullptr) {
        pa_mainloop_free(m_pMainloop);
        m_pMainloop = nullptr;
    }
    m_monitorSource.clear();
    m_suspended = false;
    m_peak = 0;
    m_gotPeak = false;
    m_level = 0;
}

} // namespace mixer
