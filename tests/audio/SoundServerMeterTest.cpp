// The level meter against a real sound server that each test starts privately: what it reads
// for silence and for a tone, how fast it falls, and how it fails.

#include "LevelMeter.h"
#include "PulseServer.h"
#include "TempDir.h"
#include "TonePlayer.h"
#include "mixer/FailingStepMixer.h"
#include "mixer/SoundServerMixer.h"
#include "sys/MessageBox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using mixer::SetupStep;
using std::chrono::milliseconds;

constexpr int32_t kFullScale = 32767;

// Records the meter's messages and points its clients at a server chosen by the test.
class MeterFixture : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* previous = std::getenv("PULSE_SERVER")) {
            m_previousServer = previous;
        }
        sys::setMessageSink([this](const std::string& text) { m_messages.push_back(text); });
    }
    void TearDown() override {
        sys::setMessageSink(nullptr);
        if (m_previousServer.empty()) {
            unsetenv("PULSE_SERVER");
        } else {
            setenv("PULSE_SERVER", m_previousServer.c_str(), 1);
        }
    }

    std::vector<std::string> m_messages;
    std::string m_previousServer;
};

class SoundServerMeterTest : public MeterFixture {
protected:
    void SetUp() override {
        MeterFixture::SetUp();
        m_pServer = std::make_unique<PulseServer>();
        m_pServer->useAsDefault();
    }
    void TearDown() override {
        m_pServer.reset();
        MeterFixture::TearDown();
    }

    // Reads every `periodMs` for `totalMs` and returns the readings.
    static std::vector<int32_t> readFor(CLevelMeter& meter, int totalMs, int periodMs = 20) {
        std::vector<int32_t> readings;
        for (int elapsed = 0; elapsed < totalMs; elapsed += periodMs) {
            std::this_thread::sleep_for(milliseconds(periodMs));
            readings.push_back(meter.Read());
        }
        return readings;
    }

    // Reads until a reading satisfies `done`, at most for `limitMs`; true when one did. (A
    // fresh null sink renders its first block of 2 s before it follows the meter's short
    // latency, so the first tone of a test may take that long to arrive.)
    template <typename Done>
    static bool readUntil(CLevelMeter& meter, Done done, int limitMs = 3000) {
        const Clock::time_point end = Clock::now() + milliseconds(limitMs);
        while (Clock::now() < end) {
            if (done(meter.Read())) {
                return true;
            }
            std::this_thread::sleep_for(milliseconds(5));
        }
        return false;
    }

    static int32_t median(std::vector<int32_t> values) {
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    }

    std::unique_ptr<PulseServer> m_pServer;
};

TEST_F(SoundServerMeterTest, SilenceReadsZero) {
    CLevelMeter meter;
    ASSERT_TRUE(meter.Open());
    EXPECT_TRUE(m_messages.empty());
    for (int32_t reading : readFor(meter, 300)) {
        EXPECT_LE(reading, kFullScale / 1000);
        EXPECT_GE(reading, 0);
    }
}

class SoundServerToneTest : public SoundServerMeterTest,
                            public ::testing::WithParamInterface<float> {};

TEST_P(SoundServerToneTest, SineReadsItsAmplitudeOnTheFullScale) {
    const float amplitude = GetParam();
    CLevelMeter meter;
    ASSERT_TRUE(meter.Open());
    TonePlayer tone(amplitude);
    const int32_t expected = static_cast<int32_t>(amplitude * kFullScale);
    // Let the tone reach the meter, then look at a steady stretch of readings.

    ASSERT_TRUE(readUntil(meter, [&](int32_t r) { return r > expected / 2; }));
    const std::vector<int32_t> readings = readFor(meter, 400, 41);
    EXPECT_NEAR(median(readings), expected, expected * 0.05);
    EXPECT_LE(*std::max_element(readings.begin(), readings.end()), expected * 1.05);
}

INSTANTIATE_TEST_SUITE_P(Amplitudes, SoundServerToneTest, ::testing::Values(0.1f, 0.5f, 0.9f));

TEST_F(SoundServerMeterTest, ShortBurstBetweenTwoReadingsIsNotMissed) {
    CLevelMeter meter;
    ASSERT_TRUE(meter.Open());
    meter.Read();
    {
        TonePlayer burst(0.6f, 30);
        burst.wait();
    }
    std::this_thread::sleep_for(milliseconds(200)); // long after the burst ended
    EXPECT_NEAR(meter.Read(), 0.6 * kFullScale, 0.6 * kFullScale * 0.05);
    // The burst counts once: the next reading covers only the silence after it.
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_LE(meter.Read(), kFullScale / 1000);
}

// The time from the end of a tone to the first quiet reading, measured by reading every 5 ms.
// The best of three tries, so that a test machine busy elsewhere does not decide it.
TEST_F(SoundServerMeterTest, LevelFallsWithin100msAfterTheSoundStops) {
    CLevelMeter meter;
    ASSERT_TRUE(meter.Open());
    const int32_t loud = static_cast<int32_t>(0.5f * kFullScale);
    auto best = milliseconds::max();
    for (int attempt = 0; attempt < 3; ++attempt) {
        TonePlayer tone(0.5f);
        ASSERT_TRUE(readUntil(meter, [&](int32_t r) { return r > loud / 2; }));
        tone.stop();
        const Clock::time_point stopped = Clock::now();
        ASSERT_TRUE(readUntil(meter, [&](int32_t r) { return r < loud / 20; }));
        best = std::min(best, std::chrono::duration_cast<milliseconds>(Clock::now() - stopped));
    }
    EXPECT_LE(best.count(), 100);
}

TEST_F(SoundServerMeterTest, SuspendedSinkReadsZeroAndResumes) {
    CLevelMeter meter;
    ASSERT_TRUE(meter.Open());
    TonePlayer tone(0.5f);
    const int32_t loud = static_cast<int32_t>(0.5f * kFullScale);
    ASSERT_TRUE(readUntil(meter, [&](int32_t r) { return r > loud / 2; }));

    ASSERT_TRUE(m_pServer->pactl("suspend-sink mimlet_null 1"));
    ASSERT_TRUE(readUntil(meter, [](int32_t r) { return r == 0; }));
    for (int32_t reading : readFor(meter, 200)) {
        EXPECT_EQ(reading, 0);
    }

    ASSERT_TRUE(m_pServer->pactl("suspend-sink mimlet_null 0"));
    EXPECT_TRUE(readUntil(meter, [&](int32_t r) { return r > loud / 2; }));
}

TEST_F(SoundServerMeterTest, ServerKilledWhileOpenReadsZero) {
    CLevelMeter meter;
    ASSERT_TRUE(meter.Open());
    TonePlayer tone(0.5f);
    const int32_t loud = static_cast<int32_t>(0.5f * kFullScale);
    ASSERT_TRUE(readUntil(meter, [&](int32_t r) { return r > loud / 2; }));

    m_pServer->kill();
    ASSERT_TRUE(readUntil(meter, [](int32_t r) { return r == 0; }));
    for (int32_t reading : readFor(meter, 100)) {
        EXPECT_EQ(reading, 0);
    }
    meter.Close();
    meter.Close();
    EXPECT_EQ(meter.Read(), 0);
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(SoundServerMeterTest, CloseTwiceAfterSuccessfulOpen) {
    CLevelMeter meter;
    ASSERT_TRUE(meter.Open());
    meter.Close();
    meter.Close();
    EXPECT_EQ(meter.Read(), 0);
}

struct FailingStepCase {
    SetupStep step;
    const char* message;
};

class SoundServerSetupTest : public SoundServerMeterTest,
                             public ::testing::WithParamInterface<FailingStepCase> {};

// The steps before the failing one run against the server, so Close() has real connections
// and streams to release.
TEST_P(SoundServerSetupTest, FailedStepShowsItsMessageAndLeavesAClosableMeter) {
    CLevelMeter meter(std::make_unique<mixer::FailingStepMixer>(
        std::make_unique<mixer::SoundServerMixer>(), GetParam().step));
    EXPECT_FALSE(meter.Open());
    EXPECT_EQ(m_messages, std::vector<std::string>{GetParam().message});
    EXPECT_EQ(meter.Read(), 0);
    meter.Close();
    meter.Close();
}

INSTANTIATE_TEST_SUITE_P(
    Steps, SoundServerSetupTest,
    ::testing::Values(
        FailingStepCase{SetupStep::countOutputDevices, "There are no waveout devices installed."},
        FailingStepCase{SetupStep::open, "mixerOpen Failed"},
        FailingStepCase{SetupStep::openOutputLine, "mixerGetLineInfo Failed"},
        FailingStepCase{SetupStep::openPeakMeter, "mixerGetLineControls Failed"},
        FailingStepCase{SetupStep::requestFirstValue, "mixerGetControlDetails Failed"}));

// A socket that takes connections into its backlog and never answers: a stuck server.
class StuckServer {
public:
    explicit StuckServer(const std::string& path) {
        m_fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        if (m_fd < 0 || bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(m_fd, 8) != 0) {
            ADD_FAILURE() << "cannot listen on " << path;
        }
    }
    ~StuckServer() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    StuckServer(const StuckServer&) = delete;
    StuckServer& operator=(const StuckServer&) = delete;

private:
    int m_fd = -1;
};

// No server that answers, in its different forms: each ends at the first step, in time.
TEST_F(MeterFixture, NoServerFailsAtTheFirstStepWithoutHanging) {
    TempDir dir;
    struct Case {
        const char* name;
        std::unique_ptr<PulseServer> pServer; // keeps a server without outputs running
        std::unique_ptr<StuckServer> pStuck;
        std::string address;
    };
    std::vector<Case> cases;
    cases.push_back({"missing", nullptr, nullptr, "unix:" + dir.path() + "/none/native"});
    cases.push_back({"stuck", nullptr, std::make_unique<StuckServer>(dir.path() + "/stuck"),
                     "unix:" + dir.path() + "/stuck"});
    auto pNoSink = std::make_unique<PulseServer>(PulseServer::Options{.withNullSink = false});
    const std::string noSinkAddress = pNoSink->address();
    cases.push_back({"without outputs", std::move(pNoSink), nullptr, noSinkAddress});

    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_messages.clear();
        setenv("PULSE_SERVER", c.address.c_str(), 1);
        CLevelMeter meter;
        const Clock::time_point start = Clock::now();
        EXPECT_FALSE(meter.Open());
        EXPECT_LT(Clock::now() - start, milliseconds(2000));
        EXPECT_EQ(m_messages, std::vector<std::string>{"There are no waveout devices installed."});
        EXPECT_EQ(meter.Read(), 0);
        meter.Close();
        meter.Close();
    }
}

} // namespace
