#include "mixer/FailingStepMixer.h"

#include <cassert>
#include <utility>

namespace mixer {

FailingStepMixer::FailingStepMixer(std::unique_ptr<Mixer> pInner, SetupStep failingStep)
    : m_pInner(std::move(pInner)), m_failingStep(failingStep) {
    assert(m_pInner);
}

int FailingStepMixer::countOutputDevices() {
    return m_failingStep == SetupStep::countOutputDevices ? 0 : m_pInner->countOutputDevices();
}

bool FailingStepMixer::open() {
    return m_failingStep != SetupStep::open && m_pInner->open();
}

bool FailingStepMixer::openOutputLine() {
    return m_failingStep != SetupStep::openOutputLine && m_pInner->openOutputLine();
}

bool FailingStepMixer::openPeakMeter() {
    return m_failingStep != SetupStep::openPeakMeter && m_pInner->openPeakMeter();
}

bool FailingStepMixer::requestFirstValue() {
    return m_failingStep != SetupStep::requestFirstValue && m_pInner->requestFirstValue();
}

} // namespace mixer
