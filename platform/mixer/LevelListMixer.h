#pragma once
// A mixer back end that plays back a list of levels, one per read and 0 after the end, for
// tests and for the offline renderer. Every set-up step succeeds; the levels are returned as
// they are (a negative level included), without scaling.

#include "mixer/Mixer.h"

#include <cstddef>
#include <vector>

namespace mixer {

class LevelListMixer final : public Mixer {
public:
    explicit LevelListMixer(std::vector<int32_t> levels);

    int countOutputDevices() override { return 1; }
    bool open() override { return true; }
    bool openOutputLine() override { return true; }
    bool openPeakMeter() override { return true; }
    bool requestFirstValue() override { return true; }
    int32_t read() override;
    void close() override {}

private:
    std::vector<int32_t> m_levels;
    size_t m_next = 0; // index of the level the next read returns; may pass the end
};

} // namespace mixer
