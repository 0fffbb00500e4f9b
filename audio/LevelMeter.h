#pragma once
// The level of the sound the computer is playing, polled once per animation frame.
// Open() sets the meter up (showing the set-up step's message on failure), Read() gives the
// loudest peak since the previous reading on the scale 0..32767, Close() ends it.

#include <cstdint>
#include <memory>

namespace mixer {
class Mixer;
}

class CLevelMeter {
public:
    // Reads the sound server's default output.
    CLevelMeter();
    // Reads the given mixer back end (a list of levels, for tests and the offline renderer).
    explicit CLevelMeter(std::unique_ptr<mixer::Mixer> pMixer);
    ~CLevelMeter();
    CLevelMeter(const CLevelMeter&) = delete;
    CLevelMeter& operator=(const CLevelMeter&) = delete;

    bool Open();
    int32_t Read(); // never blocks; 0 after a failed Open
    void Close();   // safe after any outcome of Open, and twice

private:
    std::unique_ptr<mixer::Mixer> m_pMixer; // never null
    bool m_bReady = false;                  // Open() succeeded and Close() has not run
};
