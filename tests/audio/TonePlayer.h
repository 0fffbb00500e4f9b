#pragma once
// Plays a sine into the default sink of the sound server that PULSE_SERVER names, from a
// thread of its own, with a short playback buffer so that what is written is heard soon.

#include <atomic>
#include <thread>

struct pa_simple;

class TonePlayer {
public:
    // Starts playing a 440 Hz sine of peak `amplitude` (0.0..1.0) for `durationMs`, or until
    // stop() when it is 0. Throws when the server cannot be reached.
    explicit TonePlayer(float amplitude, int durationMs = 0);
    ~TonePlayer();
    TonePlayer(const TonePlayer&) = delete;
    TonePlayer& operator=(const TonePlayer&) = delete;

    // Ends the tone now and returns once its last sample has been played (or the server has
    // gone).
    void stop();
    // Returns once a tone of limited duration has been played to its end.
    void wait();

private:
    void play();

    float m_amplitude;    // 0.0..1.0
    long m_nFrames;       // frames of tone to play; 0: until stop()
    pa_simple* m_pStream; // owned
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
