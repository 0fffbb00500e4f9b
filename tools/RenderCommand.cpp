// mimlet-face render: runs the player's face view without a window on a simulated clock and
// writes the frames as PNG images and, optionally, a CSV trace of every frame's animation.
//
// The face is read from any location with the player's own checks. The clock starts at 0 and
// advances 1 ms per idle pass, so frames fall where the tick's pacing puts them (41, 82, 123, ...
// ms). Line i of --levels is the meter's reading in frame i (0 after the last line). Without --out
// no image is written, so the animation and the rendering can be timed alone.

#include "Command.h"

#include "FaceCheck.h"
#include "FaceLoader.h"
#include "FaceViewCore.h"
#include "LevelMeter.h"
#include "PngFrameWriter.h"
#include "mixer/LevelListMixer.h"
#include "sys/Clock.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

struct RenderOptions {
    std::string location;
    std::string outDir; // empty: no images
    int nFrames = 48;
    int nWidth = 294; // the player's view size
    int nHeight = 230;
    std::string levelsPath; // empty: every reading 0
    std::string tracePath;  // empty: no trace
};

bool ParseInt(const std::string& text, int nMin, int nMax, int* pValue) {
    if (text.empty()) {
        return false;
    }
    char* pEnd = nullptr;
    errno = 0;
    const long nValue = std::strtol(text.c_str(), &pEnd, 10);
    if (errno != 0 || *pEnd != '\0' || nValue < nMin || nValue > nMax) {
        return false;
    }
    *pValue = static_cast<int>(nValue);
    return true;
}

bool ParseSize(const std::string& text, int* pWidth, int* pHeight) {
    const size_t x = text.find('x');
    return x != std::string::npos && ParseInt(text.substr(0, x), 1, 8192, pWidth) &&
           ParseInt(text.substr(x + 1), 1, 8192, pHeight);
}

std::optional<RenderOptions> ParseOptions(const std::vector<std::string>& args) {
    RenderOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool bHasValue = i + 1 < args.size();
        if (arg == "--out" && bHasValue) {
            options.outDir = args[++i];
        } else if (arg == "--frames" && bHasValue) {
            if (!ParseInt(args[++i], 0, 1000000, &options.nFrames)) {
                return std::nullopt;
            }
        } else if (arg == "--size" && bHasValue) {
            if (!ParseSize(args[++i], &options.nWidth, &options.nHeight)) {
                return std::nullopt;
            }
        } else if (arg == "--levels" && bHasValue) {
            options.levelsPath = args[++i];
        } else if (arg == "--trace" && bHasValue) {
            options.tracePath = args[++i];
        } else if (!arg.starts_with("--") && options.location.empty()) {
            options.location = arg;
        } else {
            return std::nullopt;
        }
    }
    if (options.location.empty()) {
        return std::nullopt;
    }
    return options;
}

// One integer per line; a line that is not one is an error.
bool ReadLevels(const std::string& path, std::vector<int32_t>* pLevels) {
    std::ifstream in(path);
    if (!in) {
        return false;
    }
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        int nLevel = 0;
        if (!ParseInt(line, INT32_MIN, INT32_MAX, &nLevel)) {
            return false;
        }
        pLevels->push_back(nLevel);
    }
    return true;
}

// Receives each rendered frame and writes it as DIR/frame-NNNN.png when asked to.
class FrameWriter : public rm::WindowTarget {
public:
    FrameWriter(int nWidth, int nHeight, std::string outDir)
        : m_nWidth(nWidth), m_nHeight(nHeight), m_outDir(std::move(outDir)) {}

    int targetWidth() const override { return m_nWidth; }
    int targetHeight() const override { return m_nHeight; }
    void presentFrame(const uint32_t* pixels, int width, int height, int stride) override {
        const int nFrame = m_nPresented++;
        if (m_outDir.empty()) {
            return;
        }
        char szName[32];
        std::snprintf(szName, sizeof(szName), "/frame-%04d.png", nFrame);
        if (!m_png.Write(m_outDir + szName, pixels, width, height, stride)) {
            m_bWriteFailed = true;
        }
    }

    int Presented() const { return m_nPresented; }
    bool WriteFailed() const { return m_bWriteFailed; }

private:
    int m_nWidth = 0;
    int m_nHeight = 0;
    std::string m_outDir;
    PngFrameWriter m_png; // reused for every frame
    int m_nPresented = 0; // frames received so far
    bool m_bWriteFailed = false;
};

class RenderView : public CFaceViewCore {
public:
    RenderView(const RenderOptions& options, const uint8_t* pFaceBuffer,
               std::unique_ptr<CLevelMeter> pMeter)
        : CFaceViewCore(options.nWidth, options.nHeight, rm::ColorModel::Mono, options.location,
                        pFaceBuffer, std::move(pMeter)),
          m_writer(options.nWidth, options.nHeight, options.outDir) {}

    const FrameWriter& Writer() const { return m_writer; }

protected:
    rm::WindowTarget* WindowTarget() override { return &m_writer; }

private:
    FrameWriter m_writer;
};

void WriteTraceRow(FILE* pTrace, int nFrame, const CFaceViewCore::FrameTrace& frame) {
    std::fprintf(pTrace, "%d,%u,%d,%.9g,%.9g,%.9g,%.9g,", nFrame, frame.dwTime, frame.nLevel,
                 frame.fSwayTargetY, frame.fSwayTargetX, frame.fSwayY, frame.fSwayX);
    if (frame.bBlinked) {
        std::fprintf(pTrace, "%.9g", frame.fBlinkWeight);
    }
    std::fprintf(pTrace, ",%d,%.9g\n", frame.nMouthTarget, frame.fMouthWeight);
}

int RunRender(const std::vector<std::string>& args) {
    const std::optional<RenderOptions> options = ParseOptions(args);
    if (!options) {
        std::fprintf(stderr, "usage: mimlet-face render LOCATION [--out DIR] [--frames N] "
                             "[--size WxH] [--levels FILE] [--trace FILE.csv]\n");
        return kExitUsage;
    }
    std::vector<int32_t> levels;
    if (!options->levelsPath.empty() && !ReadLevels(options->levelsPath, &levels)) {
        std::fprintf(stderr, "mimlet-face render: cannot read levels from '%s'\n",
                     options->levelsPath.c_str());
        return kExitRefused;
    }
    // The face the way the player reads it: any location, the player's checks.
    std::vector<uint8_t> faceBuffer(kFaceBufferBytes, 0);
    const FaceLoadResult load = LoadFaceLocation(options->location, faceBuffer.data());
    if (!load.accepted) {
        std::fprintf(stderr, "mimlet-face render: could not load '%s': %s\n",
                     options->location.c_str(), load.reason.c_str());
        return kExitRefused;
    }
    FILE* pTrace = nullptr;
    if (!options->tracePath.empty()) {
        pTrace = std::fopen(options->tracePath.c_str(), "w");
        if (!pTrace) {
            std::fprintf(stderr, "mimlet-face render: cannot write '%s'\n",
                         options->tracePath.c_str());
            return kExitRefused;
        }
        std::fprintf(pTrace, "frame,time_ms,level,sway_target_y,sway_target_x,sway_y,sway_x,"
                             "blink_weight,mouth_target,mouth_weight\n");
    }

    // The simulated clock: one millisecond per idle pass, from 0.
    uint32_t dwNow = 0;
    sys::setClockSource([&dwNow] { return dwNow; });

    int nStatus = kExitOk;
    {
        RenderView view(
            *options, faceBuffer.data(),
            std::make_unique<CLevelMeter>(std::make_unique<mixer::LevelListMixer>(levels)));
        if (!view.InitialiseDevice()) {
            nStatus = kExitRefused; // the set-up has shown its message
        } else {
            for (int nFrame = 0; nFrame < options->nFrames; ++dwNow) {
                view.Tick();
                if (view.FrameCount() > static_cast<uint32_t>(nFrame)) {
                    if (pTrace) {
                        WriteTraceRow(pTrace, nFrame, view.LastFrame());
                    }
                    ++nFrame;
                }
            }
            if (view.Writer().WriteFailed()) {
                std::fprintf(stderr, "mimlet-face render: could not write the images to '%s'\n",
                             options->outDir.c_str());
                nStatus = kExitRefused;
            }
        }
    }
    sys::setClockSource(nullptr);
    if (pTrace && std::fclose(pTrace) != 0) {
        std::fprintf(stderr, "mimlet-face render: cannot write '%s'\n", options->tracePath.c_str());
        nStatus = kExitRefused;
    }
    return nStatus;
}

const CommandRegistration s_registration({
    "render",
    "render LOCATION [--out DIR] [--frames N] [--size WxH] [--levels FILE] [--trace FILE.csv]",
    RunRender,
});

} // namespace
