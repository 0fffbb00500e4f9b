// The level meter over the list back end: what the player and the offline renderer see, and
// the set-up's messages, without a sound server.

#include "LevelMeter.h"
#include "mixer/FailingStepMixer.h"
#include "mixer/LevelListMixer.h"
#include "sys/MessageBox.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using mixer::SetupStep;

class LevelListMeterTest : public ::testing::Test {
protected:
    void SetUp() override {
        sys::setMessageSink([this](const std::string& text) { m_messages.push_back(text); });
    }
    void TearDown() override { sys::setMessageSink(nullptr); }

    static std::unique_ptr<mixer::Mixer> list(std::vector<int32_t> levels) {
        return std::make_unique<mixer::LevelListMixer>(std::move(levels));
    }

    std::vector<std::string> m_messages;
};

TEST_F(LevelListMeterTest, ReadsTheListInOrderThenZero) {
    CLevelMeter meter(list({5, 32767, -40, 0, 22000}));
    ASSERT_TRUE(meter.Open());
    // Open's own first value request does not use up the first level.
    std::vector<int32_t> readings;
    for (int i = 0; i < 8; ++i) {
        readings.push_back(meter.Read());
    }
    EXPECT_EQ(readings, (std::vector<int32_t>{5, 32767, -40, 0, 22000, 0, 0, 0}));
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(LevelListMeterTest, ReadsZeroWhenNotOpenOrClosed) {
    CLevelMeter meter(list({100, 200, 300}));
    EXPECT_EQ(meter.Read(), 0);
    ASSERT_TRUE(meter.Open());
    EXPECT_EQ(meter.Read(), 100);
    meter.Close();
    EXPECT_EQ(meter.Read(), 0);
    meter.Close();
    EXPECT_EQ(meter.Read(), 0);
}

struct FailingStepCase {
    SetupStep step;
    const char* message;
};

class LevelListMeterSetupTest : public LevelListMeterTest,
                                public ::testing::WithParamInterface<FailingStepCase> {};

TEST_P(LevelListMeterSetupTest, FailedStepShowsItsMessageOnceAndReadsZero) {
    CLevelMeter meter(
        std::make_unique<mixer::FailingStepMixer>(list({1000, 2000}), GetParam().step));
    EXPECT_FALSE(meter.Open());
    EXPECT_EQ(m_messages, std::vector<std::string>{GetParam().message});
    EXPECT_EQ(meter.Read(), 0);
    EXPECT_EQ(meter.Read(), 0);
    meter.Close();
    meter.Close();
    EXPECT_EQ(meter.Read(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, LevelListMeterSetupTest,
    ::testing::Values(
        FailingStepCase{SetupStep::countOutputDevices, "There are no waveout devices installed."},
        FailingStepCase{SetupStep::open, "mixerOpen Failed"},
        FailingStepCase{SetupStep::openOutputLine, "mixerGetLineInfo Failed"},
        FailingStepCase{SetupStep::openPeakMeter, "mixerGetLineControls Failed"},
        FailingStepCase{SetupStep::requestFirstValue, "mixerGetControlDetails Failed"}));

} // namespace
