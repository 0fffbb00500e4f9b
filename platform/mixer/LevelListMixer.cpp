#include "mixer/LevelListMixer.h"

#include <utility>

namespace mixer {

LevelListMixer::LevelListMixer(std::vector<int32_t> levels) : m_levels(std::move(levels)) {}

int32_t LevelListMixer::read() {
    if (m_next >= m_levels.size()) {
        return 0;
    }
    return m_levels[m_next++];
}

} // namespace mixer
