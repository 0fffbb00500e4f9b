#include "LevelMeter.h"

#include "mixer/Mixer.h"
#include "mixer/SoundServerMixer.h"
#include "sys/MessageBox.h"

#include <cassert>
#include <utility>

CLevelMeter::CLevelMeter() : m_pMixer(std::make_unique<mixer::SoundServerMixer>()) {}

CLevelMeter::CLevelMeter(std::unique_ptr<mixer::Mixer> pMixer) : m_pMixer(std::move(pMixer)) {
    assert(m_pMixer);
}

CLevelMeter::~CLevelMeter() {
    Close();
}

// The set-up steps in their fixed order; the first that fails shows its message and ends the
// set-up, leaving what the earlier steps opened for Close().
bool CLevelMeter::Open() {
    assert(!m_bReady);
    if (m_pMixer->countOutputDevices() == 0) {
        sys::showMessage("There are no waveout devices installed.");
        return false;
    }
    if (!m_pMixer->open()) {
        sys::showMessage("mixerOpen Failed");
        return false;
    }
    if (!m_pMixer->openOutputLine()) {
        sys::showMessage("mixerGetLineInfo Failed");
        return false;
    }
    if (!m_pMixer->openPeakMeter()) {
        sys::showMessage("mixerGetLineControls Failed");
        return false;
    }
    if (!m_pMixer->requestFirstValue()) {
        sys::showMessage("mixerGetControlDetails Failed");
        return false;
    }
    m_bReady = true;
    return true;
}

int32_t CLevelMeter::Read() {
    // After a failed or no set-up there is nothing to ask: silence keeps the mouth at rest.
    return m_bReady ? m_pMixer->read() : 0;
}

void CLevelMeter::Close() {
    m_bReady = false;
    m_pMixer->close();
}
