#pragma once
// The mixer stand-in: where the level of the sound being played comes from. A back end is set
// up in five steps, always in this order, each of which may fail; once set up, read() gives
// the level without ever waiting. close() ends whatever the steps opened, whichever step
// stopped, and may be called twice.

#include <cstdint>

namespace mixer {

// The set-up steps in the order a caller runs them.
enum class SetupStep {
    countOutputDevices = 1, // is there a sound output at all (and a server that answers)
    open = 2,               // connect to the sound system
    openOutputLine = 3,     // find the output whose level is read
    openPeakMeter = 4,      // start measuring that output's peaks
    requestFirstValue = 5,  // the first value request
};

// The top of the meter's scale: a full-scale peak reads 32767.
constexpr int32_t kFullScale = 32767;

class Mixer {
public:
    virtual ~Mixer() = default;

    // Step 1: the number of sound outputs; 0 when there is none or nothing answers.
    virtual int countOutputDevices() = 0;
    // Step 2.
    virtual bool open() = 0;
    // Step 3.
    virtual bool openOutputLine() = 0;
    // Step 4.
    virtual bool openPeakMeter() = 0;
    // Step 5.
    virtual bool requestFirstValue() = 0;

    // The loudest peak since the previous read on the scale 0..kFullScale (the previous
    // reading when nothing new arrived, 0 before any and once the source has gone).
    // Never blocks, never allocates. Only meaningful after all five steps succeeded.
    virtual int32_t read() = 0;

    // Releases everything the steps opened; safe after any step and twice.
    virtual void close() = 0;
};

} // namespace mixer
