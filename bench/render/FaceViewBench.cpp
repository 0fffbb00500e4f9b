// Cost of the face view's tick at the player's view size: a full frame (sway, two blends,
// meter read, render) and an idle pass on which no frame is due.

#include "FaceBytes.h"
#include "FaceCheck.h"
#include "FaceViewCore.h"
#include "LevelMeter.h"
#include "mixer/LevelListMixer.h"
#include "sys/Clock.h"
#include "sys/MessageBox.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

class NullTarget : public rm::WindowTarget {
public:
    int targetWidth() const override { return 294; }
    int targetHeight() const override { return 230; }
    void presentFrame(const uint32_t*, int, int, int) override {}
};

class BenchView : public CFaceViewCore {
public:
    explicit BenchView(const uint8_t* pFaceBuffer)
        : CFaceViewCore(294, 230, rm::ColorModel::Mono, "bench.mf", pFaceBuffer,
                        std::make_unique<CLevelMeter>(std::make_unique<mixer::LevelListMixer>(
                            std::vector<int32_t>(100000, 12000)))) {}

protected:
    rm::WindowTarget* WindowTarget() override { return &m_target; }

private:
    NullTarget m_target;
};

struct Fixture {
    Fixture() {
        const std::vector<uint8_t> bytes = MakeFaceBytes(SmallFaceSpec());
        std::copy(bytes.begin(), bytes.end(), buffer.begin());
        sys::setClockSource([this] { return dwNow; });
        view = std::make_unique<BenchView>(buffer.data());
        view->InitialiseDevice();
    }
    ~Fixture() {
        view.reset();
        sys::setClockSource(nullptr);
    }
    std::vector<uint8_t> buffer = std::vector<uint8_t>(kFaceBufferBytes, 0);
    uint32_t dwNow = 0;
    std::unique_ptr<BenchView> view;
};

void BM_TickFrame(benchmark::State& state) {
    Fixture fixture;
    for (auto _ : state) {
        fixture.dwNow += 41;
        fixture.view->Tick();
    }
}
BENCHMARK(BM_TickFrame);

void BM_TickIdlePass(benchmark::State& state) {
    Fixture fixture;
    fixture.dwNow = 41;
    fixture.view->Tick(); // a frame at 41; later passes at the same time find none due
    for (auto _ : state) {
        fixture.view->Tick();
    }
}
BENCHMARK(BM_TickIdlePass);

} // namespace

BENCHMARK_MAIN();
