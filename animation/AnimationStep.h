#pragma once
// The pure arithmetic of the face animation: frame pacing, the sway segments, the blink's
// weight ramp and the choice of the mouth target. The face view keeps the state and makes
// the 3D calls; these functions only compute, so they run without any engine.
//
// Precision follows the player exactly: every value is stored as a single-precision float
// after each step; 0.01 and 0.5 of the sway target and the 1 of the blink test are double
// constants, 0.05, the blink's starting step 0.5 and -0.2 single-precision ones.

#include <cstdint>

namespace anim {

// A frame is due when more than 40 ms have passed since the last one began; clock values
// wrap, so the difference is taken modulo 2^32.
constexpr uint32_t kFrameIntervalMs = 40;
inline bool FrameDue(uint32_t dwNow, uint32_t dwLastFrame) {
    return static_cast<uint32_t>(dwNow - dwLastFrame) > kFrameIntervalMs;
}

// Blending limits a weight above 1 to 1; there is no lower limit.
inline float LimitWeight(float fWeight) {
    return fWeight > 1 ? 1.0f : fWeight;
}

// Sway: straight segments of 20 frames between random poses.
constexpr int32_t kSwaySegmentFrames = 20;
constexpr float kSwayStepFraction = 0.05f; // 1/20 of the way per frame

// Angle a random draw (0..32767) sets as a sway target: -0.50 to +0.49 radians in 0.01 steps.
inline float SwayTarget(int nDraw) {
    return static_cast<float>((nDraw % 100) * 0.01 - 0.5);
}

// Per-frame step that takes the angle fAngle to fTarget in one segment.
inline float SwayStep(float fTarget, float fAngle) {
    return (fTarget - fAngle) * kSwayStepFraction;
}

// Blink: the weight climbs by 0.5 a frame until it passes 1, then falls by 0.2 a frame; the
// blink ends in the frame where it drops below 0. Target 3 is applied at the weight from
// before each update, so the eleven frames apply 0, 0.5, 1, 1.5, 1.3, ... 0.1 (limited to 1).
constexpr float kBlinkStepUp = 0.5f;
constexpr float kBlinkStepDown = -0.2f;
constexpr uint32_t kBlinkIntervalMs = 10000; // a blink starts when more than this has passed

struct BlinkState {
    float fWeight = 0.0f;       // weight for the next blink frame
    float fStep = kBlinkStepUp; // change of the weight per frame
};

// Advances the blink by one frame; returns true when this frame ended the blink, the state
// then being back at its start.
inline bool AdvanceBlink(BlinkState& state) {
    state.fWeight = state.fWeight + state.fStep;
    if (state.fWeight > 1.0) {
        state.fStep = kBlinkStepDown;
    }
    if (state.fWeight < 0.0) {
        state = BlinkState{};
        return true;
    }
    return false;
}

inline bool BlinkDue(uint32_t dwNow, uint32_t dwBlinkEnd) {
    return static_cast<uint32_t>(dwNow - dwBlinkEnd) > kBlinkIntervalMs;
}

// Mouth targets by number in the face model.
constexpr int kLoudTarget = 1;   // mouth wide open; also the resting mouth at weight 0
constexpr int kMediumTarget = 2; // mouth half open
constexpr int kBlinkTarget = 3;

struct MouthBlend {
    int nTarget = kLoudTarget;
    float fWeight = 0.0f; // before the limit of 1 that blending applies
};

// Picks the mouth target and weight for a level reading. The level is compared and divided
// as an exact double; the medium weight divides the level itself (not its excess over the
// quiet threshold) by the width of the medium band.
inline MouthBlend ChooseMouth(int32_t nLevel, float fLoudThreshold, float fQuietThreshold) {
    const double level = nLevel;
    if (level > fLoudThreshold) {
        return {kLoudTarget, static_cast<float>(level / fLoudThreshold)};
    }
    if (level > fQuietThreshold) {
        const float fBand = fLoudThreshold - fQuietThreshold; // > 0: level lies inside it
        return {kMediumTarget, static_cast<float>(level / fBand)};
    }
    return {kLoudTarget, 0.0f};
}

// The thresholds the "Audio Level" slider position gives: loud = position, quiet =
// position x 1/11, 1/11 taken as the single-precision constant 0.0909090936.
struct LoudnessThresholds {
    float fLoud = 22000.0f;
    float fQuiet = 2000.0f;
};
inline LoudnessThresholds ThresholdsForPosition(int32_t nPos) {
    const float fPos = static_cast<float>(nPos);
    return {fPos, fPos * 0.0909090936f};
}

} // namespace anim
