#pragma once
// Fault injection for the set-up: wraps a back end and makes one chosen step fail without
// running it, after the earlier steps ran for real. Everything else is passed through, so
// close() still has to release what the real steps opened. Tests use it for the failures a
// real sound server cannot be made to produce on demand.

#include "mixer/Mixer.h"

#include <memory>

namespace mixer {

class FailingStepMixer final : public Mixer {
public:
    FailingStepMixer(std::unique_ptr<Mixer> pInner, SetupStep failingStep);

    int countOutputDevices() override;
    bool open() override;
    bool openOutputLine() override;
    bool openPeakMeter() override;
    bool requestFirstValue() override;
    int32_t read() override { return m_pInner->read(); }
    void close() override { m_pInner->close(); }

private:
    std::unique_ptr<Mixer> m_pInner; // never null
    SetupStep m_failingStep;
};

} // namespace mixer
