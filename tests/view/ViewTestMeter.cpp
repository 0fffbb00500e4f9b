#include "ViewTestMeter.h"

#include "LevelMeter.h"
#include "TempDir.h"
#include "mixer/Mixer.h"

#include <cstdlib>

namespace {

int s_nOpen = 0;

class QuietMixer final : public mixer::Mixer {
public:
    ~QuietMixer() override { close(); }
    int countOutputDevices() override {
        if (!m_bOpen) {
            m_bOpen = true;
            ++s_nOpen;
        }
        return 1;
    }
    bool open() override { return true; }
    bool openOutputLine() override { return true; }
    bool openPeakMeter() override { return true; }
    bool requestFirstValue() override { return true; }
    int32_t read() override { return 0; }
    void close() override {
        if (m_bOpen) {
            m_bOpen = false;
            --s_nOpen;
        }
    }

private:
    bool m_bOpen = false;
};

} // namespace

std::unique_ptr<CLevelMeter> MakeQuietMeter() {
    return std::make_unique<CLevelMeter>(std::make_unique<QuietMixer>());
}

int OpenTestMeters() {
    return s_nOpen;
}

std::unique_ptr<CLevelMeter> MakeFailingMeter() {
    // A private folder with no server socket in it; the sound server client must neither
    // find the user's server nor start one.
    static const TempDir s_dir;
    const std::string socket = "unix:" + s_dir.path() + "/no-server";
    setenv("PULSE_SERVER", socket.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", s_dir.path().c_str(), 1);
    return std::make_unique<CLevelMeter>();
}
